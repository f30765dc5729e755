// The formatting routine for message texts: %d, %u, %x, %s and %%, each
// directive with an optional "-" (align left), a width (the least number of
// characters, padded with blanks) and, for numbers, a precision (the least
// number of digits, padded with zeros), as in %.8x or %-6d. Arguments are
// taken in order; a directive without an argument or of an unknown kind is
// copied as it stands.
//
// A format text may come from a catalog that anybody wrote, so a width or a
// precision counts up to kLargestFormatWidth and no further: %.99999999999d
// pads as %.64d does.
#pragma once

#include <initializer_list>
#include <variant>

#include "platform/text.h"

namespace zephora {

constexpr int kLargestFormatWidth = 64;

class FormatArg {
 public:
  FormatArg(int value) : value_(static_cast<long long>(value)) {}
  FormatArg(long value) : value_(static_cast<long long>(value)) {}
  FormatArg(long long value) : value_(value) {}
  FormatArg(unsigned value) : value_(static_cast<long long>(value)) {}
  FormatArg(unsigned long value) : value_(static_cast<long long>(value)) {}
  FormatArg(unsigned long long value) : value_(static_cast<long long>(value)) {}
  FormatArg(Text value) : value_(std::move(value)) {}
  FormatArg(TextView value) : value_(Text(value)) {}
  FormatArg(const char16_t* value) : value_(Text(value)) {}

  const std::variant<long long, Text>& Value() const { return value_; }

 private:
  std::variant<long long, Text> value_;
};

Text Format(TextView format, std::initializer_list<FormatArg> args);

}  // namespace zephora
