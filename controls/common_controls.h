// The common controls (comctl32), loaded when first needed rather than
// imported. comctl32 is no KnownDLL, and the DLLs it imports in turn are
// searched for as if loaded by name, the program's own folder first; for an
// imported comctl32 that search runs before the program's entry point has
// restricted it. Loaded here, after that restriction, the DLL and its
// imports come from System32, or from the side-by-side store that the
// manifest's activation context names (version 6), which Windows consults
// before any folder.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace zephora::comctl {

// The loaded library's version, as its DllGetVersion reports it; 0.0 when
// it could not be loaded.
struct Version {
  DWORD major = 0;
  DWORD minor = 0;
};
Version LoadedVersion();
// The loaded library (null when it could not be loaded): its file tells
// which of the versions it is.
HMODULE Module();

// The functions of comctl32 that the controls use, with the same meaning.
// Without the library each fails as the function itself would.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* classes);
BOOL SetWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id, DWORD_PTR data);
BOOL RemoveWindowSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id);
LRESULT DefSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL ImageList_GetIconSize(HIMAGELIST images, int* width, int* height);
BOOL ImageList_Draw(HIMAGELIST images, int index, HDC dc, int x, int y, UINT style);
HRESULT LoadIconWithScaleDown(HINSTANCE instance, const wchar_t* name, int width, int height,
                              HICON* icon);

}  // namespace zephora::comctl
