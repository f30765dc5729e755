#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"

namespace zephora {
namespace {

// POSIX has no share modes; advisory locks stand in for "no sharing".
int LockFor(FileMode mode) {
  switch (mode) {
    case FileMode::CreateExclusive:
      return F_WRLCK;
    default:
      return -1;
  }
}

}  // namespace

int File::Open(const Text& path, FileMode mode) {
  Close();
  int flags = O_RDONLY;
  if (mode == FileMode::CreateExclusive)
    flags = O_RDWR | O_CREAT | O_TRUNC;
  if (mode == FileMode::CreateWriteShareRead)
    flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (mode == FileMode::CreateNewWriteShareRead)
    flags = O_WRONLY | O_CREAT | O_EXCL;
  const int fd = ::open(ToUtf8(path).c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0)
    return errno;
  struct stat st;
  // Only an existing path can be a folder.
  if (mode != FileMode::CreateNewWriteShareRead && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return EISDIR;
  }
  if (const int lock = LockFor(mode); lock >= 0) {
    struct flock fl = {};
    fl.l_type = static_cast<short>(lock);
    fl.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &fl) != 0) {
      const int error = errno;
      ::close(fd);
      return error;
    }
  }
  handle_ = fd;
  return 0;
}

void File::Close() {
  if (handle_ != kInvalid) {
    ::close(static_cast<int>(handle_));
    handle_ = kInvalid;
  }
}

int File::Read(void* buffer, std::size_t size, std::size_t& done) {
  done = 0;
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(handle_), buffer, size);
    if (got >= 0) {
      done = static_cast<std::size_t>(got);
      return 0;
    }
    if (errno != EINTR)
      return errno;
  }
}

int File::ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& done) {
  done = 0;
  for (;;) {
    const ssize_t got = ::pread(static_cast<int>(handle_), buffer, size, offset);
    if (got >= 0) {
      done = static_cast<std::size_t>(got);
      return 0;
    }
    if (errno != EINTR)
      return errno;
  }
}

int File::Write(const void* buffer, std::size_t size) {
  const auto* p = static_cast<const char*>(buffer);
  while (size > 0) {
    const ssize_t written = ::write(static_cast<int>(handle_), p, size);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return errno;
    }
    p += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

int File::Seek(std::int64_t offset) {
  return ::lseek(static_cast<int>(handle_), offset, SEEK_SET) < 0 ? errno : 0;
}

int File::SetSize(std::int64_t size) {
  if (::ftruncate(static_cast<int>(handle_), size) != 0)
    return errno;
  return Seek(size);
}

int File::Size(std::int64_t& size) const {
  struct stat st;
  if (::fstat(static_cast<int>(handle_), &st) != 0)
    return errno;
  size = st.st_size;
  return 0;
}

}  // namespace zephora
