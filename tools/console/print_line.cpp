#include "tools/console/print_line.h"

#include <string>

namespace zephora {

void PrintLine(std::FILE* stream, const Text& text) {
  std::string bytes;
  for (const char c : ToUtf8(text) + "\n") {
    if (c == '\n' && !bytes.empty() && bytes.back() == '\r')
      bytes.pop_back();
    bytes += c;
  }
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

}  // namespace zephora
