// The application's report of a failure that none of its own handlers
// caught: a message box with the application title, OK and an error icon.
#pragma once

#include <windows.h>

#include <exception>

#include "platform/text.h"

namespace zephora {

// The message of the innermost exception (through std::nested_exception)
// that has a non-empty one, with "." appended when it ends in a character
// above ".".
Text FailureReportText(std::exception_ptr failure);

// Shows the report, owned by the top-level window of `window`, the one whose
// handler failed (none when null). Never throws.
void ShowFailureReport(HWND window, std::exception_ptr failure) noexcept;

}  // namespace zephora
