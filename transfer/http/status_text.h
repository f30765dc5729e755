// A server's status line as the user reads it in a message.
#pragma once

#include <string_view>

#include "platform/text.h"

namespace zephora::http {

// The status line as sent: UTF-8 when it is, else one byte a character.
Text StatusLineText(std::string_view line);

// The status line for a message: as sent when it is ordinary printable
// text, with control characters and direction marks made visible, and a
// text of its own when it would show nothing at all.
Text ShownStatusLine(TextView statusLine);

}  // namespace zephora::http
