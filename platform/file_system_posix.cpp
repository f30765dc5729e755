#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/file_system.h"

namespace zephora {

int QueryFileSize(const Text& path, std::int64_t& size) {
  struct stat st;
  if (::stat(ToUtf8(path).c_str(), &st) != 0)
    return errno;
  size = st.st_size;
  return 0;
}

int CreateTempFile(const Text& folder, File& file, Text& path) {
  static std::atomic<unsigned> counter{0};
  static const unsigned long long seed = (static_cast<unsigned long long>(::getpid()) << 32) ^
                                         static_cast<unsigned long long>(std::time(nullptr));
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, "~zph%08llx.tmp",
                  (seed + counter.fetch_add(1) * 2654435761ull) & 0xFFFFFFFFull);
    path = folder + FromUtf8(name);
    const int error = file.Open(path, FileMode::CreateNewWriteShareRead);
    if (error != EEXIST)
      return error;
  }
  return EEXIST;
}

int ReplaceFileWith(const Text& source, const Text& target) {
  // A rename would replace a protected file: refuse as Windows does.
  struct stat st;
  const std::string to = ToUtf8(target);
  if (::lstat(to.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || (st.st_mode & 0222) == 0)) {
    return EACCES;
  }
  return ::rename(ToUtf8(source).c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Files here are not locked against replacement while they are open: a
// rename gives the name to the new file, and whoever holds the old one keeps
// reading it. No refusal ends by itself.
bool IsBriefHold(int) {
  return false;
}

bool IsSameFile(const File& file, const Text& path) {
  struct stat held, named;
  return ::fstat(static_cast<int>(file.NativeHandle()), &held) == 0 &&
         ::stat(ToUtf8(path).c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

int RemoveFile(const Text& path) {
  return ::unlink(ToUtf8(path).c_str()) == 0 ? 0 : errno;
}

int DiscardNewFile(File& file, const Text& path) {
  file.Close();
  return RemoveFile(path);
}

namespace {

// The mode that WriteFileAttributes gives a file of mode `mode`.
mode_t ModeFor(mode_t mode, std::uint32_t attributes) {
  mode &= 07777;
  return (attributes & kAttributeReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
}

}  // namespace

int SetWrittenFileTimeAndAttributes(File& file, const LocalDateTime& time,
                                    std::uint32_t attributes) {
  const int fd = static_cast<int>(file.NativeHandle());
  std::tm tm = {};
  tm.tm_year = time.year - 1900;
  tm.tm_mon = time.month - 1;
  tm.tm_mday = time.day;
  tm.tm_hour = time.hour;
  tm.tm_min = time.minute;
  tm.tm_sec = time.second;
  tm.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&tm);
  int timeError = EINVAL;
  if (seconds != static_cast<std::time_t>(-1)) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = seconds;
    times[1].tv_nsec = 0;
    timeError = ::futimens(fd, times) == 0 ? 0 : errno;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0)
    return errno;
  const mode_t mode = ModeFor(st.st_mode, attributes);
  if (mode != (st.st_mode & 07777) && ::fchmod(fd, mode) != 0)
    return errno;
  return timeError;
}

int ReadFileAttributes(const Text& path, std::uint32_t& attributes) {
  struct stat st;
  if (::stat(ToUtf8(path).c_str(), &st) != 0)
    return errno;
  attributes = 0;
  if ((st.st_mode & 0222) == 0)
    attributes |= kAttributeReadOnly;
  if (S_ISDIR(st.st_mode))
    attributes |= kAttributeDirectory;
  return 0;
}

int WriteFileAttributes(const Text& path, std::uint32_t attributes) {
  const std::string name = ToUtf8(path);
  struct stat st;
  if (::stat(name.c_str(), &st) != 0)
    return errno;
  const mode_t mode = ModeFor(st.st_mode, attributes);
  if (mode == (st.st_mode & 07777))
    return 0;
  return ::chmod(name.c_str(), mode) == 0 ? 0 : errno;
}

}  // namespace zephora
