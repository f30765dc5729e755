#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace zephora {

int LastSystemError() {
  return errno;
}

Text SystemErrorText(int code) {
  char buffer[512];
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return FromUtf8(text);
}

}  // namespace zephora
