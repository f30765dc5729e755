// The wizard's Yes/No confirmation.
#pragma once

#include <windows.h>

#include "platform/text.h"

namespace zephora {

// Our own modal confirmation: question icon, the text, Yes (default) and
// No; Escape, the close box and anything but Yes answer no. Owned by the
// application's active window.
bool ConfirmDialog(const Text& text);

// The class name of the confirmation dialog's window.
constexpr const wchar_t* kConfirmDialogClass = L"ZephoraConfirmDialog";

}  // namespace zephora
