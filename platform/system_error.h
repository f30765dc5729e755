// Operating-system error numbers and their descriptions.
#pragma once

#include "platform/text.h"

namespace zephora {

// The calling thread's last error: GetLastError() on Windows, errno elsewhere.
int LastSystemError();

// The system's own description of an error number, as the system words it
// (FormatMessageW on Windows, strerror elsewhere). Empty when it has none.
Text SystemErrorText(int code);

// Drops trailing characters at or below the blank and full stops, the way
// error texts are cut before they are joined into a sentence.
Text TrimErrorText(TextView text);

}  // namespace zephora
