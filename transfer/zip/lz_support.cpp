#include "transfer/zip/lz_support.h"

#include <array>

namespace zephora::zip {

bool PrefixCode::Build(std::span<const std::uint8_t> lengths, int maxLength) {
  std::array<int, 17> count{};
  int width = 0;
  for (const std::uint8_t length : lengths) {
    if (length > maxLength || length > 16)
      return false;
    ++count[length];
    if (length > width)
      width = length;
  }
  count[0] = 0;
  // Oversubscription check and the first code of each length.
  std::array<std::uint32_t, 17> next{};
  std::int64_t left = 1;
  std::uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    left = left * 2 - count[length];
    if (left < 0)
      return false;
    code = (code + static_cast<std::uint32_t>(count[length - 1])) << 1;
    next[length] = code;
  }
  width_ = width;
  table_.assign(width == 0 ? 0 : std::size_t{1} << width, 0);
  for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    const int length = lengths[symbol];
    if (length == 0)
      continue;
    const std::uint32_t assigned = next[length]++;
    // The table is indexed by bits in reading order, the reverse of the code.
    std::uint32_t reversed = 0;
    for (int bit = 0; bit < length; ++bit)
      reversed |= ((assigned >> bit) & 1u) << (length - 1 - bit);
    const auto entry = static_cast<std::uint16_t>(symbol << 5 | static_cast<std::size_t>(length));
    for (std::size_t index = reversed; index < table_.size(); index += std::size_t{1} << length) {
      table_[index] = entry;
    }
  }
  return true;
}

PrefixCode::Symbol PrefixCode::Lookup(const BitReader& reader, bool invert) const {
  if (width_ == 0)
    return {};
  const int have = reader.Available() < width_ ? reader.Available() : width_;
  std::uint32_t bits = reader.Peek(have);
  if (invert)
    bits = ~bits & ((1u << have) - 1);
  // With fewer bits than the width, the missing high bits are zero; a code
  // that fits in the bits we have is found all the same.
  const std::uint16_t entry = table_[bits];
  if (entry == 0) {
    // Either no code matches, or the code is longer than what is buffered.
    return {have < width_ ? kNeedMore : kInvalid, width_};
  }
  const int length = entry & 31;
  if (length > have)
    return {kNeedMore, length};
  return {entry >> 5, length};
}

std::string AtOffset(const char* what, std::uint64_t offset) {
  return std::string(what) + " at offset " + std::to_string(offset);
}

}  // namespace zephora::zip
