// Shared helpers for the test programs.
#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "platform/text.h"

namespace zephora::test {

// A path of the build machine (a Unix path) as the program under test sees
// it: unchanged natively, on Wine's drive Z: under Windows.
std::filesystem::path HostPath(const std::string& unixPath);

// The source tree, from ZEPHORA_SOURCE_DIR.
std::filesystem::path SourcePath(const std::string& relative);

Text ToText(const std::filesystem::path& path);

// What the system's own library says differs between Windows and the native
// build (a TLS failure's code): the one for this build.
constexpr const char16_t* OnWindowsElse(const char16_t* windows, const char16_t* elsewhere) {
#ifdef _WIN32
  (void)elsewhere;
  return windows;
#else
  (void)windows;
  return elsewhere;
#endif
}

// A fresh, empty folder that is removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// The names of everything in the folder, in UTF-8.
std::set<std::string> Listing(const TempDir& dir);

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

}  // namespace zephora::test
