// DLLs of Windows that the program loads when it first needs them, from
// System32 alone. Windows looks for a DLL that is not on its KnownDLLs list
// in the program's own folder first; customers start SETUP.EXE from their
// Downloads folder, where anybody may have left a DLL of such a name. So the
// executables import only KnownDLLs (scripts/check-imports) and reach every
// other DLL through here.
#pragma once

#include <windows.h>

namespace zephora {

class SystemLibrary {
 public:
  // `name` is a file name without a folder, such as L"secur32.dll".
  explicit SystemLibrary(const wchar_t* name) noexcept
      : module_(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)),
        error_(module_ != nullptr ? 0 : GetLastError()) {}
  ~SystemLibrary() {
    if (module_ != nullptr)
      FreeLibrary(module_);
  }
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  bool Loaded() const noexcept { return module_ != nullptr; }
  HMODULE Module() const noexcept { return module_; }
  // Why it could not be loaded (a Windows error number), or 0.
  DWORD Error() const noexcept { return error_; }

  // The exported function of that name as a `Function` pointer, or null.
  template <typename Function>
  Function Find(const char* name) const noexcept {
    if (module_ == nullptr)
      return nullptr;
    // Through void*, as GetProcAddress's FARPROC has no parameters.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
  DWORD error_;
};

}  // namespace zephora
