// The general-purpose bit flags of a ZIP entry's headers that the extractor
// and its decoders read. Bits 1 and 2 mean something else for each method.
#pragma once

#include <cstdint>

namespace zephora::zip {

// The data is encrypted.
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
// Implode: an 8 KiB window and 7 low distance bits instead of 4 KiB and 6.
inline constexpr std::uint16_t kFlagImplodeLargeWindow = 0x0002;
// Implode: the literals are coded with a tree of their own.
inline constexpr std::uint16_t kFlagImplodeLiteralTree = 0x0004;
// LZMA: the data ends with an end-of-stream marker.
inline constexpr std::uint16_t kFlagLzmaEndMarker = 0x0002;
// The entry's name is UTF-8.
inline constexpr std::uint16_t kFlagUtf8Name = 0x0800;

}  // namespace zephora::zip
