// File-system operations beyond reading and writing one open file. Every
// operation reports failure as the system's error number (0 for success).
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "platform/text.h"

namespace zephora {

// DOS attribute bits, as Windows keeps them.
inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeSystem = 0x04;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeArchive = 0x20;

// A calendar date and time of the local time zone.
struct LocalDateTime {
  int year = 1980;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Size of an existing file without opening it for reading.
[[nodiscard]] int QueryFileSize(const Text& path, std::int64_t& size);

// Creates a new, empty file of a unique name in `folder` (which ends in a
// separator or is empty) and opens it for writing; others may only read it.
[[nodiscard]] int CreateTempFile(const Text& folder, File& file, Text& path);

// Puts `source` in the place of `target`, replacing an existing file in one
// step. A target that refuses (read-only, in use) is left as it was.
[[nodiscard]] int ReplaceFileWith(const Text& source, const Text& target);

// Whether an error of ReplaceFileWith means that the target refused to be
// replaced (protected or in use), rather than a failure of the operation.
bool IsReplaceRefusal(int error);

[[nodiscard]] int RemoveFile(const Text& path);

// Sets the last-write time only; creation and access times stay.
[[nodiscard]] int SetLastWriteTime(const Text& path, const LocalDateTime& time);

// DOS attribute bits; natively only read-only has a counterpart (the write
// permissions), the other bits are kept only on Windows.
[[nodiscard]] int ReadFileAttributes(const Text& path, std::uint32_t& attributes);
[[nodiscard]] int WriteFileAttributes(const Text& path, std::uint32_t attributes);

}  // namespace zephora
