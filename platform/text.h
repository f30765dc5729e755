// Text handling shared by every module: user texts and paths are UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace zephora {

using Text = std::u16string;
using TextView = std::u16string_view;

// Invalid input never throws: unpaired surrogates and malformed UTF-8 become U+FFFD.
std::string ToUtf8(TextView text);
Text FromUtf8(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);

// ASCII-only case folding; enough for file names, header names and codes.
char16_t AsciiUpper(char16_t c);
Text AsciiUpper(TextView text);
bool EqualsIgnoreAsciiCase(TextView a, TextView b);
int CompareIgnoreAsciiCase(TextView a, TextView b);

Text Trim(TextView text);  // drops characters at or below the blank from both ends

// Text from a hostile source (an entry name, a server's status line) made
// safe to show: control characters (C0, DEL, C1) and the bidirectional
// embedding, override and isolate marks become "<U+XXXX>", so that the user
// reads what is there, a NUL cuts nothing short and no name can reorder the
// text around it.
Text MakeControlsVisible(TextView text);

// Decimal and hexadecimal forms, as the formatting routine writes them.
Text ToText(long long value);
Text ToHexText(unsigned long long value, int minDigits);

}  // namespace zephora
