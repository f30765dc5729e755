// The error box in which the installation run shows a failure's message.
#pragma once

#include "platform/text.h"

namespace zephora {

// A system-modal error box owned by the active window: the application
// title as caption, the text unchanged, OK and an error icon.
void ErrorDialog(const Text& text);

}  // namespace zephora
