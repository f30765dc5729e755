// A file handle that closes itself. Every operation reports failure as the
// system's error number (0 for success), never by throwing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/text.h"

namespace zephora {

enum class FileMode {
  CreateExclusive,          // create or empty, read and write, no sharing at all
  CreateWriteShareRead,     // create or empty, write; others may only read
  CreateNewWriteShareRead,  // create only when absent, write and delete; others may only read
                            // (on Windows, when they share deletion too)
  ReadShareReadWrite,       // existing file, read-only; others may read and write, not delete
  ReadShareRead,            // existing file, read-only; others may only read
  ReadShareAll,             // existing file, read-only; shared with everyone
};

class File {
 public:
  File() = default;
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = kInvalid;
    }
    return *this;
  }

  [[nodiscard]] int Open(const Text& path, FileMode mode);
  [[nodiscard]] bool IsOpen() const { return handle_ != kInvalid; }
  void Close();

  // Reads up to `size` bytes; `done` is 0 at the end of the file.
  [[nodiscard]] int Read(void* buffer, std::size_t size, std::size_t& done);
  [[nodiscard]] int ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& done);
  [[nodiscard]] int Write(const void* buffer, std::size_t size);
  [[nodiscard]] int Seek(std::int64_t offset);
  [[nodiscard]] int SetSize(std::int64_t size);  // also moves the position to `size`
  [[nodiscard]] int Size(std::int64_t& size) const;

  std::intptr_t NativeHandle() const { return handle_; }

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t handle_ = kInvalid;
};

}  // namespace zephora
