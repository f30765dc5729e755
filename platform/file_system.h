// File-system operations beyond reading and writing one open file. Every
// operation reports failure as the system's error number (0 for success).
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "platform/text.h"
#include "platform/turns.h"

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
// separator or is empty) and opens it as CreateNewWriteShareRead.
[[nodiscard]] int CreateTempFile(const Text& folder, File& file, Text& path);

// Puts `source` in the place of `target`, replacing an existing file in one
// step. A target that refuses (read-only, in use, a running program) is left
// as it was, and the error says why.
[[nodiscard]] int ReplaceFileWith(const Text& source, const Text& target);

// Whether an error of ReplaceFileWith means that another program has the
// target or the new file open (a sharing or lock violation; ReplaceFileWith
// also reports a target held by a program that shares everything, such as a
// virus scanner, as a sharing violation), which may end by itself, unlike a
// read-only file, a denied access or a running program.
bool IsBriefHold(int error);

// Waits out brief holds on the files that one task replaces, such as a virus
// scanner reading a file that was just written: a few short waits per file,
// about a second in all, and no more than `totalMs` for the whole task, so
// that files that stay held cannot keep the task waiting for long.
class HoldWaits {
 public:
  static constexpr int kPerFileMs = 1000;
  static constexpr int kTotalMs = 10000;

  // With turns, each wait is cut into slices with a turn after each, and a
  // turn that asks to stop ends the waiting.
  explicit HoldWaits(int totalMs = kTotalMs, TurnGate* turns = nullptr)
      : leftMs_(totalMs), turns_(turns) {}

  // ReplaceFileWith, tried again after each short wait while the target is
  // held, within what is left of both limits.
  [[nodiscard]] int Replace(const Text& source, const Text& target);
  // How long the waits have lasted in all (as asked for; the clock is not read).
  int SpentMs() const { return spentMs_; }

 private:
  // False when a turn asked to stop.
  [[nodiscard]] bool Sleep(int milliseconds);

  int leftMs_;
  int spentMs_ = 0;
  TurnGate* turns_;
};

// Whether `path` names the file that `file` has open (the same file, under
// whatever name or case); false when `path` cannot be examined.
bool IsSameFile(const File& file, const Text& path);

[[nodiscard]] int RemoveFile(const Text& path);

// Closes and deletes a file that `file` created (CreateNewWriteShareRead)
// and still holds open. Where open files cannot be deleted, the deletion is
// set through the handle before it closes, so that whoever opened the file
// meanwhile (a virus scanner) does not keep it in the folder.
[[nodiscard]] int DiscardNewFile(File& file, const Text& path);

// Gives the file that `file` has just written its last-write time (creation
// and access times stay) and its DOS attributes through that same handle,
// after the last write and size change: no further open of the file, which
// every file-system filter on the volume would see. The attributes come out
// as WriteFileAttributes gives them; a read-only file stays writable through
// this handle until it closes. A time that cannot be converted leaves the
// time alone and still sets the attributes.
[[nodiscard]] int SetWrittenFileTimeAndAttributes(File& file, const LocalDateTime& time,
                                                  std::uint32_t attributes);

// DOS attribute bits; natively only read-only has a counterpart (the write
// permissions), the other bits are kept only on Windows.
[[nodiscard]] int ReadFileAttributes(const Text& path, std::uint32_t& attributes);
[[nodiscard]] int WriteFileAttributes(const Text& path, std::uint32_t attributes);

}  // namespace zephora
