// The input rules of the numeric field, apart from any window so that they
// can be checked on their own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/text.h"

namespace zephora::validate {

// Whether the character c may be typed into `text` with the caret at
// `caret` (0 is the start). Control characters always pass; digits anywhere;
// a sign only at the start, and only when the text holds no such sign yet
// or some text is selected (the selection will be replaced).
bool AcceptsChar(TextView text, std::size_t caret, bool hasSelection, char16_t c);

// The text after a paste: each character judged with the text kept before it
// and its own position; rejected characters are dropped.
Text FilterText(TextView text);

// The signed 64-bit decimal value with an optional leading sign; 0 for empty
// text, a sign alone, anything that does not parse and anything out of range.
std::int64_t IntegerValue(TextView text);

// What the field shows for a value text: its value in decimal.
Text DisplayText(TextView text);

}  // namespace zephora::validate
