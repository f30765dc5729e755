#include <windows.h>

#include "i18n/language.h"
#include "platform/wide.h"

namespace zephora {
namespace {

Text LocaleInfo(LCTYPE type) {
  wchar_t buffer[100];
  const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 100);
  return length > 1 ? FromWide(std::wstring_view(buffer, static_cast<size_t>(length - 1))) : Text();
}

}  // namespace

Text PlatformLanguage() {
  return LanguageFromLocaleNames(LocaleInfo(LOCALE_SISO639LANGNAME),
                                 LocaleInfo(LOCALE_SISO3166CTRYNAME), GetThreadLocale());
}

}  // namespace zephora
