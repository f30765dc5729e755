// A message box whose button captions are library texts.
#pragma once

#include <windows.h>

#include "platform/text.h"

namespace zephora {

// MessageBoxW, with the captions of its buttons taken from the library
// texts (so that a catalog translates them).
int ShowMessageBox(HWND owner, const Text& text, const Text& caption, UINT flags);

}  // namespace zephora
