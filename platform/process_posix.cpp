#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/process.h"

namespace zephora {

Text ExecutablePath() {
  std::vector<char> buffer(300);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0)
      return Text();
    if (static_cast<size_t>(length) < buffer.size()) {
      return FromUtf8(std::string_view(buffer.data(), static_cast<size_t>(length)));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<Text> EnvironmentVariable(const Text& name) {
  const char* value = std::getenv(ToUtf8(name).c_str());
  if (value == nullptr)
    return std::nullopt;
  return FromUtf8(value);
}

std::uint64_t CurrentThreadId() {
  return static_cast<std::uint64_t>(::pthread_self());
}

void ShowPlainMessageBox(const Text& caption, const Text& text) {
  std::fprintf(stderr, "%s: %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
}

}  // namespace zephora
