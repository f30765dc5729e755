// How the command-line tools print a message for the console.
#pragma once

#include <cstdio>

#include "platform/text.h"

namespace zephora {

// One message and a line end, as UTF-8. The stream is in text mode, which
// writes the line end the console expects (CR LF on Windows), so a line
// break inside the message goes in as LF alone; its CR would otherwise come
// out twice.
void PrintLine(std::FILE* stream, const Text& text);

}  // namespace zephora
