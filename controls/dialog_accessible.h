// What a screen reader is told about a dialog window of our own class. The
// system's own description of a window calls it a plain client area unless
// its class is the system's dialog class, and a screen reader then reads
// only the focused button when the window opens. Told that it is a dialog,
// with its message as its description, the reader reads the message too,
// as it does for the system's message boxes.
#pragma once

#include <windows.h>

#include <string>

namespace zephora {

// The answer to WM_GETOBJECT for `dialog`: the system's description of its
// client area with the role of a dialog and `message` as its description.
// 0 for any other object asked for, or when the accessibility library
// cannot be had: the window procedure's default then answers.
LRESULT AnswerAsDialog(HWND dialog, WPARAM wParam, LPARAM lParam, const std::wstring& message);

}  // namespace zephora
