#include <windows.h>

#include <vector>

#include "platform/process.h"
#include "platform/system_library_win.h"
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
  // Loaded when first needed: the console tools share this code, and a
  // program that imports user32 pays for it at every start.
  static const SystemLibrary user32(L"user32.dll");
  using MessageBoxFunction = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
  if (const auto show = user32.Find<MessageBoxFunction>("MessageBoxW"))
    show(nullptr, ToWide(text).c_str(), ToWide(caption).c_str(), MB_OK);
}

}  // namespace zephora
