// The one exception type that carries a user-facing message. Everything a
// user may read in an error box derives from it.
#pragma once

#include <exception>
#include <string>

#include "platform/text.h"

namespace zephora {

class Exception : public std::exception {
 public:
  explicit Exception(Text message) : message_(std::move(message)), utf8_(ToUtf8(message_)) {}

  const Text& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  Text message_;
  std::string utf8_;
};

}  // namespace zephora
