#include <windows.h>

#include "platform/mapped_file.h"
#include "platform/wide.h"

namespace zephora {

MappedFile::Failure MappedFile::Open(const Text& path, int& error) {
  Close();
  error = 0;
  const HANDLE file = CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = static_cast<int>(GetLastError());
    return Failure::Open;
  }
  file_ = reinterpret_cast<std::intptr_t>(file);
  LARGE_INTEGER size = {};
  GetFileSizeEx(file, &size);
  const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    error = static_cast<int>(GetLastError());
    Close();
    return Failure::CreateMapping;
  }
  mapping_ = reinterpret_cast<std::intptr_t>(mapping);
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    error = static_cast<int>(GetLastError());
    Close();
    return Failure::MapView;
  }
  data_ = static_cast<const std::uint8_t*>(view);
  size_ = static_cast<std::size_t>(size.QuadPart);
  return Failure::None;
}

void MappedFile::Close() {
  if (data_ != nullptr)
    UnmapViewOfFile(data_);
  if (mapping_ != -1)
    CloseHandle(reinterpret_cast<HANDLE>(mapping_));
  if (file_ != -1)
    CloseHandle(reinterpret_cast<HANDLE>(file_));
  data_ = nullptr;
  size_ = 0;
  mapping_ = file_ = -1;
}

}  // namespace zephora
