// The application's own message boxes: the failure report shown when an
// exception reaches a window procedure, and a message box whose button
// captions are library texts.
#pragma once

#include <windows.h>

#include <exception>

#include "i18n/resource_strings.h"
#include "platform/text.h"

namespace zephora {

extern const ResStringRec SMsgDlgOK;
extern const ResStringRec SMsgDlgYes;
extern const ResStringRec SMsgDlgNo;

// The executable's file name without its folder, cut before its first ".",
// every character after the first lower-cased: SETUP.EXE gives "Setup".
Text ApplicationTitle(TextView executablePath);
// The title of the running executable.
Text ApplicationTitle();

// The message of the innermost exception (through std::nested_exception)
// that has a non-empty one, with "." appended when it ends in a character
// above ".".
Text FailureReportText(std::exception_ptr failure);

// The failure report: application title, OK, error icon, owned by the
// active window. Never throws.
void ShowFailureReport(std::exception_ptr failure) noexcept;

// MessageBoxW, with the captions of its buttons taken from the library
// texts (so that a catalog translates them).
int ShowMessageBox(HWND owner, const Text& text, const Text& caption, UINT flags);

}  // namespace zephora
