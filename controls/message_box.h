// A message box whose button captions are library texts.
#pragma once

#include <windows.h>

#include "i18n/resource_strings.h"
#include "platform/text.h"

namespace zephora {

extern const ResStringRec SMsgDlgOK;
extern const ResStringRec SMsgDlgYes;
extern const ResStringRec SMsgDlgNo;

// MessageBoxW, with the captions of its buttons taken from the library
// texts (so that a catalog translates them).
int ShowMessageBox(HWND owner, const Text& text, const Text& caption, UINT flags);

}  // namespace zephora
