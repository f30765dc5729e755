#include "i18n/file_locator.h"

#include <mutex>
#include <string>
#include <vector>

#include "i18n/errors.h"
#include "platform/byte_reader.h"
#include "platform/file.h"
#include "platform/path.h"

namespace zephora {
namespace {

constexpr size_t kBlockSize = 100000;
constexpr size_t kMarkerLength = 39;

// The markers are joined at run time so that neither stands whole in our
// own image, where the scan would find it.
std::string BeginMarker() {
  return std::string("DXG") + "BD7F1BE4-9FCF-4E3A-ABA7-3443D11AB362";
}
std::string EndMarker() {
  return std::string("DXG") + "1C58841C-D8A0-4457-BF54-D8315D4CF49D";
}

char16_t FoldForPath(char16_t c) {
  return c == u'/' ? u'\\' : AsciiUpper(c);
}

// Offset of the first occurrence of `marker`, read in blocks of 100000 bytes,
// each searched together with the block before it; -1 when absent.
std::int64_t FindSignaturePos(File& file, const std::string& marker) {
  std::string previous, block(kBlockSize, '\0');
  std::int64_t blockStart = 0;
  if (file.Seek(0) != 0)
    return -1;
  for (;;) {
    size_t got = 0;
    if (file.Read(block.data(), kBlockSize, got) != 0 || got == 0)
      return -1;
    const std::string window = previous + block.substr(0, got);
    const size_t found = window.find(marker);
    if (found != std::string::npos) {
      return blockStart - static_cast<std::int64_t>(previous.size()) +
             static_cast<std::int64_t>(found);
    }
    previous = block.substr(0, got);
    blockStart += static_cast<std::int64_t>(got);
  }
}

bool ReadI64(File& file, std::int64_t offset, std::int64_t& value) {
  std::uint8_t bytes[8];
  size_t got = 0;
  if (file.ReadAt(offset, bytes, 8, got) != 0 || got != 8)
    return false;
  value = static_cast<std::int64_t>(ByteReader(bytes, 8).U64());
  return true;
}

}  // namespace

bool PathLess::operator()(const Text& a, const Text& b) const {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = FoldForPath(a[i]), y = FoldForPath(b[i]);
    if (x != y)
      return x < y;
  }
  return a.size() < b.size();
}

TFileLocator::TFileLocator(const Text& executablePath)
    : executable_(executablePath), basedirectory_(ExtractFilePath(executablePath)) {
  Analyze();
}

void TFileLocator::Analyze() {
  // Any failure ends the scan quietly; entries read so far stay.
  File file;
  if (file.Open(executable_, FileMode::ReadShareAll) != 0)
    return;
  const std::int64_t begin = FindSignaturePos(file, BeginMarker());
  const std::int64_t end = FindSignaturePos(file, EndMarker());
  if (begin <= 0 || end <= 0)
    return;
  const std::int64_t base = begin + static_cast<std::int64_t>(kMarkerLength);
  std::int64_t first = 0;
  if (!ReadI64(file, end - 8, first))
    return;
  std::int64_t position = base + first;
  while (position >= base && position < end) {
    std::int64_t next = 0, offset = 0, size = 0;
    if (!ReadI64(file, position, next) || !ReadI64(file, position + 8, offset) ||
        !ReadI64(file, position + 16, size)) {
      return;
    }
    const std::int64_t nameStart = position + 24;
    const std::int64_t nameEnd = next != 0 ? base + next : end - 8;
    if (nameEnd < nameStart || nameEnd - nameStart > 65536)
      return;
    std::string name(static_cast<size_t>(nameEnd - nameStart), '\0');
    size_t got = 0;
    if (file.ReadAt(nameStart, name.data(), name.size(), got) != 0 || got != name.size())
      return;
    filelist_[Trim(FromUtf8(name))] = TEmbeddedFileInfo{base + offset, size};
    if (next == 0 || base + next <= position)
      return;
    position = base + next;
  }
}

const TEmbeddedFileInfo* TFileLocator::Embedded(const Text& path) const {
  if (path.compare(0, basedirectory_.size(), basedirectory_) != 0)
    return nullptr;
  const auto it = filelist_.find(path.substr(basedirectory_.size()));
  return it == filelist_.end() ? nullptr : &it->second;
}

bool TFileLocator::FileExists(const Text& path) const {
  return Embedded(path) != nullptr || zephora::FileExists(path);
}

TMoFile* TFileLocator::GetMoFile(const Text& path) {
  const TEmbeddedFileInfo* embedded = Embedded(path);
  const Text& file = embedded ? executable_ : path;
  const std::int64_t offset = embedded ? embedded->offset : 0;
  const Text key = file + u" //\\ " + ToText(offset);

  std::unique_lock lock(MoFilesCS);
  auto it = MoFiles.find(key);
  if (it == MoFiles.end()) {
    auto catalog = std::make_unique<TMoFile>(file, offset, embedded ? embedded->size : -1, file);
    it = MoFiles.emplace(key, std::move(catalog)).first;
  }
  ++it->second->Users;
  return it->second.get();
}

void TFileLocator::ReleaseMoFile(TMoFile* file) {
  if (file == nullptr)
    return;
  std::unique_lock lock(MoFilesCS);
  if (--file->Users > 0)
    return;
  for (auto it = MoFiles.begin(); it != MoFiles.end(); ++it) {
    if (it->second.get() == file) {
      MoFiles.erase(it);
      return;
    }
  }
}

std::size_t TFileLocator::OpenCatalogCount() const {
  std::shared_lock lock(MoFilesCS);
  return MoFiles.size();
}

}  // namespace zephora
