#include "i18n/language.h"

namespace zephora {
namespace {

struct LocaleCode {
  std::uint32_t id;
  const char16_t* code;
};

constexpr LocaleCode kFallback[] = {
    {1030, u"da_DK"}, {1031, u"de_DE"}, {1032, u"el_GR"}, {1033, u"en_US"}, {1034, u"es_ES"},
    {3082, u"es_ES"}, {1035, u"fi_FI"}, {1036, u"fr_FR"}, {1039, u"is_IS"}, {1040, u"it_IT"},
    {1042, u"ko_KR"}, {1043, u"nl_NL"}, {1044, u"nb_NO"}, {1045, u"pl_PL"}, {1046, u"pt_BR"},
    {1049, u"ru_RU"}, {1053, u"sv_SE"}, {2057, u"en_GB"}, {2060, u"fr_BE"}, {2067, u"nl_BE"},
    {2068, u"nn_NO"}, {2070, u"pt_PT"}, {2077, u"sv_FI"}, {3084, u"fr_CA"}, {4103, u"de_LU"},
};

}  // namespace

Text LanguageForLocaleId(std::uint32_t localeId) {
  for (const auto& entry : kFallback) {
    if (entry.id == localeId)
      return entry.code;
  }
  return u"C";
}

Text LanguageFromLocaleNames(const Text& language, const Text& country, std::uint32_t localeId) {
  if (language.size() == 2 && country.size() == 2) {
    return (EqualsIgnoreAsciiCase(language, u"no") ? Text(u"nb") : language) + u"_" + country;
  }
  return LanguageForLocaleId(localeId);
}

}  // namespace zephora
