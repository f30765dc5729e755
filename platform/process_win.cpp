#include <windows.h>

#include <vector>

#include "platform/process.h"
#include "platform/wide.h"

namespace zephora {

Text ExecutablePath() {
  // Room for 300 characters, grown when the path is longer.
  std::vector<wchar_t> buffer(300);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size())
      return FromWide(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

std::optional<Text> EnvironmentVariable(const Text& name) {
  const std::wstring wname = ToWide(name);
  const DWORD needed = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
  if (needed == 0)
    return std::nullopt;
  std::wstring value(needed, L'\0');
  const DWORD length = GetEnvironmentVariableW(wname.c_str(), value.data(), needed);
  value.resize(length);
  return FromWide(value);
}

std::uint64_t CurrentThreadId() {
  return GetCurrentThreadId();
}

void ShowPlainMessageBox(const Text& caption, const Text& text) {
  // Found when first needed: the console tools share this code, and a
  // program that imports user32 pays for it at every start.
  using MessageBoxFunction = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
  static const MessageBoxFunction show = [] {
    const HMODULE user32 = LoadLibraryExW(L"user32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return user32 == nullptr ? nullptr
                             : reinterpret_cast<MessageBoxFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(user32, "MessageBoxW")));
  }();
  if (show != nullptr)
    show(nullptr, ToWide(text).c_str(), ToWide(caption).c_str(), MB_OK);
}

}  // namespace zephora
