// A whole file mapped read-only into memory, shared for reading only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/text.h"

namespace zephora {

class MappedFile {
 public:
  // Which step of opening failed; the error number is the system's.
  enum class Failure { None, Open, CreateMapping, MapView };

  MappedFile() = default;
  ~MappedFile() { Close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // An empty file cannot be mapped and fails at CreateMapping, as on Windows.
  [[nodiscard]] Failure Open(const Text& path, int& error);
  void Close();

  const std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::intptr_t file_ = -1;
  [[maybe_unused]] std::intptr_t mapping_ = -1;  // Windows only
};

}  // namespace zephora
