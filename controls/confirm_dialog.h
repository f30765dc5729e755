// The wizard's Yes/No confirmation.
#pragma once

#include <windows.h>

#include "platform/text.h"

namespace zephora {

// Our own modal confirmation: question icon, the text, Yes (default) and
// No; Escape, the close box and anything but Yes answer no. Owned by
// `owner`, the window that asks, which takes no input meanwhile; whichever
// window happens to be active has no say.
bool ConfirmDialog(HWND owner, const Text& text);

// The class name of the confirmation dialog's window.
constexpr const wchar_t* kConfirmDialogClass = L"ZephoraConfirmDialog";

}  // namespace zephora
