// Operating-system error numbers and their descriptions.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace zephora {

// The calling thread's last error: GetLastError() on Windows, errno elsewhere.
int LastSystemError();

// The system's own description of an error number, as the system words it
// (FormatMessageW on Windows, strerror elsewhere). Empty when it has none.
// On Windows it is asked first in the language of the messages it joins
// (SetMessageLanguageSource), then in the system's own choice.
Text SystemErrorText(int code);

// Tells SystemErrorText the language of the messages its texts join: the
// source gives a language code such as "nl_BE" or "fr", or an empty text for
// the system's own choice. Null (the start) means the system's own choice.
using MessageLanguageSource = Text (*)();
void SetMessageLanguageSource(MessageLanguageSource source);
MessageLanguageSource GetMessageLanguageSource();

// The Windows language identifiers asked for a language code, in order: the
// code's own locale, then its language's main variant, since Windows installs
// its display languages by those (a Belgian locale finds nl-NL or fr-FR).
// Empty for a code Windows does not know. Windows only.
std::vector<std::uint16_t> SystemErrorLanguages(const Text& code);

// Drops trailing characters at or below the blank and full stops, the way
// error texts are cut before they are joined into a sentence.
Text TrimErrorText(TextView text);

}  // namespace zephora
