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

// The text a user reads for a failure: the message of our own exceptions,
// the text of any other standard exception read as UTF-8.
inline Text MessageOf(const std::exception& failure) {
  if (const auto* own = dynamic_cast<const Exception*>(&failure))
    return own->Message();
  return FromUtf8(failure.what());
}

// The same for a caught failure of any kind; empty for one that carries no
// text.
inline Text MessageOf(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    return MessageOf(error);
  } catch (...) {
    return Text();
  }
}

}  // namespace zephora
