#include "controls/common_controls.h"

#include <shlwapi.h>

#include "platform/system_library_win.h"

namespace zephora::comctl {
namespace {

// Loaded once, on the user-interface thread, while the process's default
// activation context (the manifest's) is the active one; kept to the end.
const SystemLibrary& Library() {
  static const SystemLibrary library(L"comctl32.dll");
  return library;
}

template <typename Function>
Function Find(const char* name) {
  return Library().Find<Function>(name);
}

}  // namespace

HMODULE Module() {
  return Library().Module();
}

Version LoadedVersion() {
  const auto get = Find<DLLGETVERSIONPROC>("DllGetVersion");
  DLLVERSIONINFO info{};
  info.cbSize = sizeof info;
  if (get == nullptr || FAILED(get(&info)))
    return Version{};
  return Version{info.dwMajorVersion, info.dwMinorVersion};
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* classes) {
  static const auto function = Find<decltype(&::InitCommonControlsEx)>("InitCommonControlsEx");
  return function != nullptr ? function(classes) : FALSE;
}

BOOL SetWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data) {
  static const auto function = Find<decltype(&::SetWindowSubclass)>("SetWindowSubclass");
  return function != nullptr ? function(window, procedure, id, data) : FALSE;
}

BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id) {
  static const auto function = Find<decltype(&::RemoveWindowSubclass)>("RemoveWindowSubclass");
  return function != nullptr ? function(window, procedure, id) : FALSE;
}

LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static const auto function = Find<decltype(&::DefSubclassProc)>("DefSubclassProc");
  return function != nullptr ? function(window, message, wParam, lParam)
                             : DefWindowProcW(window, message, wParam, lParam);
}

BOOL ImageList_GetIconSize(HIMAGELIST images, int* width, int* height) {
  static const auto function = Find<decltype(&::ImageList_GetIconSize)>("ImageList_GetIconSize");
  return function != nullptr ? function(images, width, height) : FALSE;
}

BOOL ImageList_Draw(HIMAGELIST images, int index, HDC dc, int x, int y, UINT style) {
  static const auto function = Find<decltype(&::ImageList_Draw)>("ImageList_Draw");
  return function != nullptr ? function(images, index, dc, x, y, style) : FALSE;
}

HRESULT LoadIconWithScaleDown(HINSTANCE instance, const wchar_t* name, int width, int height,
                              HICON* icon) {
  // MinGW's import library lacks it, though its header declares it.
  static const auto function = Find<decltype(&::LoadIconWithScaleDown)>("LoadIconWithScaleDown");
  return function != nullptr ? function(instance, name, width, height, icon) : E_NOTIMPL;
}

}  // namespace zephora::comctl
