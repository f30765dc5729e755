#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/mapped_file.h"

namespace zephora {

MappedFile::Failure MappedFile::Open(const Text& path, int& error) {
  Close();
  error = 0;
  const int fd = ::open(ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return Failure::Open;
  }
  file_ = fd;
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_size == 0 || !S_ISREG(st.st_mode)) {
    error = st.st_size == 0 ? EINVAL : errno;
    Close();
    return Failure::CreateMapping;
  }
  void* view = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    error = errno;
    Close();
    return Failure::MapView;
  }
  data_ = static_cast<const std::uint8_t*>(view);
  size_ = static_cast<std::size_t>(st.st_size);
  return Failure::None;
}

void MappedFile::Close() {
  if (data_ != nullptr)
    ::munmap(const_cast<std::uint8_t*>(data_), size_);
  if (file_ != -1)
    ::close(static_cast<int>(file_));
  data_ = nullptr;
  size_ = 0;
  file_ = -1;
}

}  // namespace zephora
