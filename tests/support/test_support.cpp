#include "tests/support/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zephora::test {

std::filesystem::path HostPath(const std::string& unixPath) {
#ifdef _WIN32
  std::string windows = "Z:" + unixPath;
  for (char& c : windows) {
    if (c == '/')
      c = '\\';
  }
  return std::filesystem::path(windows);
#else
  return std::filesystem::path(unixPath);
#endif
}

std::filesystem::path SourcePath(const std::string& relative) {
  const char* root = std::getenv("ZEPHORA_SOURCE_DIR");
  if (root == nullptr)
    throw std::runtime_error("ZEPHORA_SOURCE_DIR is not set");
  return HostPath(std::string(root) + "/" + relative);
}

Text ToText(const std::filesystem::path& path) {
  const std::u16string text = path.u16string();
  return Text(text.begin(), text.end());
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = std::filesystem::temp_directory_path() /
          ("zephora-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Read-only files would stop the removal on Windows.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::set<std::string> Listing(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& item : std::filesystem::directory_iterator(dir.Path()))
    names.insert(ToUtf8(ToText(item.path().filename())));
  return names;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out)
    throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace zephora::test
