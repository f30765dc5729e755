#pragma once

#include "platform/exception.h"

namespace zephora {

class ETranslationError : public Exception {
 public:
  using Exception::Exception;
};

// A catalog file that cannot be opened, mapped or read as a catalog.
class ECatalogIOError : public ETranslationError {
 public:
  using ETranslationError::ETranslationError;
};

}  // namespace zephora
