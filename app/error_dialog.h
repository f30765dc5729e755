// The error box in which the installation run shows a failure's message.
#pragma once

#include <windows.h>

#include "platform/text.h"

namespace zephora {

// A modal error box owned by `owner`, the window whose failure it
// reports (whichever window happens to be active has no say): the
// application title as caption, the text unchanged, OK and an error icon.
void ErrorDialog(HWND owner, const Text& text);

}  // namespace zephora
