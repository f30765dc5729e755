#include "i18n/language.h"
#include "platform/process.h"

namespace zephora {

Text PlatformLanguage() {
  for (const char16_t* name : {u"LC_ALL", u"LC_MESSAGES"}) {
    if (const auto value = EnvironmentVariable(name); value && !value->empty())
      return *value;
  }
  return u"C";
}

}  // namespace zephora
