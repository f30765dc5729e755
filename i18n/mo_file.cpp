#include "i18n/mo_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "i18n/errors.h"
#include "platform/byte_reader.h"
#include "platform/system_error.h"

namespace zephora {
namespace {

constexpr std::uint32_t kMagic = 0x950412DE;
constexpr std::uint32_t kMagicSwapped = 0xDE120495;

// Compares as unsigned bytes over the shorter length; the shorter string is
// the smaller when those bytes are equal.
int CompareKeys(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  if (n > 0) {
    if (const int c = std::memcmp(a.data(), b.data(), n); c != 0)
      return c;
  }
  if (a.size() == b.size())
    return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

TMoFile::TMoFile(const Text& path, std::int64_t offset, std::int64_t size,
                 const Text& displayPath) {
  int error = 0;
  switch (mapping_.Open(path, error)) {
    case MappedFile::Failure::None:
      break;
    case MappedFile::Failure::Open:
      throw ECatalogIOError(u"Cannot open file " + displayPath);
    case MappedFile::Failure::CreateMapping:
      throw ECatalogIOError(u"Cannot create memory map on file " + displayPath);
    case MappedFile::Failure::MapView:
      throw ECatalogIOError(u"Cannot map file " + displayPath + u" into memory. Reason: " +
                            SystemErrorText(error));
  }
  const auto total = static_cast<std::int64_t>(mapping_.Size());
  const std::int64_t begin = std::clamp<std::int64_t>(offset, 0, total);
  const std::int64_t length = size < 0 ? total - begin : std::min(size, total - begin);
  bytes_ = std::string_view(reinterpret_cast<const char*>(mapping_.Data()) + begin,
                            static_cast<size_t>(length));
  ReadHeader(displayPath);
}

TMoFile::TMoFile(std::string_view bytes, const Text& displayPath) : bytes_(bytes) {
  ReadHeader(displayPath);
}

void TMoFile::ReadHeader(const Text& displayPath) {
  const ByteReader reader(bytes_);
  std::uint32_t magic = reader.U32At(0);
  if (!reader.Has(0, 4) || (magic != kMagic && magic != kMagicSwapped)) {
    throw ECatalogIOError(u"This file is not a valid GNU gettext mo file: " + displayPath);
  }
  doswap_ = magic == kMagicSwapped;
  // Word 1 is the revision, which tells nothing we need.
  count_ = Word(8);
  originals_ = Word(12);
  translations_ = Word(16);
  startindex_ = 0;
  if (count_ > 0) {
    startindex_ = 1;
    while (startindex_ <= count_ / 2)
      startindex_ *= 2;
  }
  startstep_ = startindex_ / 2;
  if (const auto header = Translate("")) {
    if (const auto field = HeaderField(*header, "Plural-Forms")) {
      if (auto rule = PluralForms::Parse(*field))
        plural_ = std::move(*rule);
    }
  }
}

std::uint32_t TMoFile::Word(std::uint64_t offset) const {
  const ByteReader reader(bytes_);
  const std::uint32_t value = reader.U32At(static_cast<size_t>(offset));
  return doswap_ ? ByteSwap32(value) : value;
}

std::optional<std::string_view> TMoFile::Entry(std::uint32_t table, std::uint32_t i) const {
  const std::uint64_t at = std::uint64_t{table} + std::uint64_t{i - 1} * 8;
  const ByteReader reader(bytes_);
  if (!reader.Has(static_cast<size_t>(std::min<std::uint64_t>(at, SIZE_MAX)), 8)) {
    return std::nullopt;
  }
  const std::uint32_t length = Word(at);
  const std::uint32_t offset = Word(at + 4);
  if (!reader.Has(offset, length))
    return std::nullopt;
  return bytes_.substr(offset, length);
}

std::optional<std::string_view> TMoFile::Translate(std::string_view key) const {
  if (count_ == 0)
    return std::nullopt;
  std::uint32_t i = startindex_;
  std::uint32_t step = startstep_;
  for (;;) {
    // A damaged table entry reads as empty, which keeps the search finite.
    const std::string_view original = Entry(originals_, i).value_or(std::string_view());
    const int order = CompareKeys(key, original);
    if (order == 0) {
      // An empty translation would leave the user an empty message: the text
      // stays as it is. (The empty key's translation is the header.)
      const auto translation = Entry(translations_, i);
      if (translation && translation->empty() && !key.empty())
        return std::nullopt;
      return translation;
    }
    if (step == 0)
      return std::nullopt;
    if (order < 0) {
      i = i < 1 + step ? 1 : i - step;
    } else {
      i = std::uint64_t{i} + step > count_ ? count_ : i + step;
    }
    step /= 2;
  }
}

std::optional<std::string_view> TMoFile::TranslatePlural(std::string_view singular,
                                                         std::string_view plural,
                                                         std::uint64_t n) const {
  std::string key(singular);
  key += '\0';
  key += plural;
  const auto forms = Translate(key);
  if (!forms)
    return std::nullopt;
  std::string_view rest = *forms;
  for (std::uint32_t form = plural_.FormFor(n); form > 0; --form) {
    const size_t end = rest.find('\0');
    if (end == std::string_view::npos)
      return std::nullopt;
    rest.remove_prefix(end + 1);
  }
  const std::string_view chosen = rest.substr(0, rest.find('\0'));
  // As for a single text: an empty form would leave the user an empty message.
  if (chosen.empty())
    return std::nullopt;
  return chosen;
}

std::optional<std::string_view> HeaderField(std::string_view header, std::string_view name) {
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!header.empty()) {
    const size_t end = std::min(header.find_first_of("\r\n"), header.size());
    std::string_view line = header.substr(0, end);
    header.remove_prefix(std::min(end + 1, header.size()));
    if (line.size() < name.size() + 2 || line.substr(name.size(), 2) != ": " ||
        !std::equal(name.begin(), name.end(), line.begin(),
                    [&](char a, char b) { return upper(a) == upper(b); })) {
      continue;
    }
    line.remove_prefix(name.size() + 2);
    while (!line.empty() && isBlank(line.front()))
      line.remove_prefix(1);
    while (!line.empty() && isBlank(line.back()))
      line.remove_suffix(1);
    return line;
  }
  return std::nullopt;
}

}  // namespace zephora
