// The block of catalogs appended to an executable, as append-catalogs writes
// it and TFileLocator reads it:
//
//   begin marker | catalogs' bytes | entries | first entry's offset | end marker
//
// An entry is three numbers, the offset of the next entry (0 after the last),
// the offset of its catalog's bytes and their size, followed by the
// catalog's path relative to the executable's folder in UTF-8, which runs to
// the next entry (after the last one, to the first entry's offset). Offsets
// count from just past the begin marker, so the block reads the same wherever
// it lands in the file. Every number is a signed 64-bit little-endian integer.
#pragma once

#include <cstddef>
#include <string>

namespace zephora::appended_catalogs {

inline constexpr std::size_t kMarkerLength = 39;
inline constexpr std::size_t kNumberSize = 8;
inline constexpr std::size_t kEntryHeaderSize = 3 * kNumberSize;

// A marker is a prefix and an identifier, stored apart and joined at run
// time: a program that holds either marker whole in its image would find it
// there when it scans itself.
inline constexpr char kMarkerPrefix[] = "DXG";
inline constexpr char kBeginIdentifier[] = "BD7F1BE4-9FCF-4E3A-ABA7-3443D11AB362";
inline constexpr char kEndIdentifier[] = "1C58841C-D8A0-4457-BF54-D8315D4CF49D";

inline std::string BeginMarker() {
  return std::string(kMarkerPrefix) + kBeginIdentifier;
}
inline std::string EndMarker() {
  return std::string(kMarkerPrefix) + kEndIdentifier;
}

}  // namespace zephora::appended_catalogs
