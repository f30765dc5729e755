#include <gtest/gtest.h>

#include <cstdlib>

#include "i18n/language.h"
#include "i18n/translation.h"

namespace zephora {
namespace {

TEST(LanguageChoice, LocaleNamesGiveLanguageAndCountry) {
  EXPECT_EQ(LanguageFromLocaleNames(u"nl", u"BE", 2067), u"nl_BE");
  EXPECT_EQ(LanguageFromLocaleNames(u"no", u"NO", 1044), u"nb_NO");
  EXPECT_EQ(LanguageFromLocaleNames(u"NO", u"NO", 0), u"nb_NO");
  EXPECT_EQ(LanguageFromLocaleNames(u"nb", u"NO", 1044), u"nb_NO");
}

TEST(LanguageChoice, OtherNamesFallBackToTheLocaleIdentifierTable) {
  EXPECT_EQ(LanguageFromLocaleNames(u"nl", u"BEL", 2067), u"nl_BE");
  EXPECT_EQ(LanguageFromLocaleNames(u"fil", u"PH", 3082), u"es_ES");
  EXPECT_EQ(LanguageFromLocaleNames(u"", u"", 1034), u"es_ES");
  EXPECT_EQ(LanguageFromLocaleNames(u"x", u"Y", 4103), u"de_LU");
  EXPECT_EQ(LanguageFromLocaleNames(u"x", u"Y", 1041), u"C");
  EXPECT_EQ(LanguageForLocaleId(2068), u"nn_NO");
}

// Run by CTest with the locale variables set and LANG empty; skipped otherwise.
TEST(LanguageChoice, PlatformLanguageOfTheUserLocale) {
  const char* expected = std::getenv("ZEPHORA_EXPECT_LANGUAGE");
  if (expected == nullptr)
    GTEST_SKIP() << "needs ZEPHORA_EXPECT_LANGUAGE";
  const Text code = PlatformLanguage();
  EXPECT_EQ(ToUtf8(code.substr(0, code.find(u'.'))), expected);
  TranslationLayer layer(u"SETUP.EXE");
  EXPECT_EQ(ToUtf8(DefaultInstance()->GetCurrentLanguage()), expected);
}

}  // namespace
}  // namespace zephora
