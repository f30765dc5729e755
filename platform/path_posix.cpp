#include <sys/stat.h>

#include "platform/path.h"

namespace zephora {

bool FileExists(const Text& path) {
  struct stat st;
  return ::stat(ToUtf8(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const Text& path) {
  struct stat st;
  return ::stat(ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace zephora
