// The formatting routine for message texts: %d, %u, %x (with an optional
// precision such as %.8x, the minimum digit count), %s and %%. Arguments are
// taken in order; a directive without an argument or of an unknown kind is
// copied as it stands.
#pragma once

#include <initializer_list>
#include <variant>

#include "platform/text.h"

namespace zephora {

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
