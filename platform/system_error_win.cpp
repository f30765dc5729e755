#include <windows.h>

#include "platform/system_error.h"
#include "platform/wide.h"

namespace zephora {

int LastSystemError() {
  return static_cast<int>(GetLastError());
}

Text SystemErrorText(int code) {
  wchar_t buffer[2000];
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, static_cast<DWORD>(code), 0, buffer, 2000, nullptr);
  return FromWide(std::wstring_view(buffer, length));
}

}  // namespace zephora
