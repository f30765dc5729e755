#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "i18n/translation.h"
#include "tests/i18n/catalogs.h"

namespace zephora {
namespace {

using test::MessageBoxes;
using test::ProgramFolder;
using test::StartLayer;

TEST(Translation, WithoutCatalogTextsComeBackWithNormalisedLineBreaks) {
  ProgramFolder folder;
  const auto layer = StartLayer(folder, u"nl_BE");
  EXPECT_EQ(_(u"De installatie is niet voltooid."), u"De installatie is niet voltooid.");
  EXPECT_EQ(_(u"a\nb"), u"a\r\nb");
  EXPECT_EQ(_(u"a\r\nb"), u"a\r\nb");
  EXPECT_EQ(_(u"a\rb"), u"ab");
  EXPECT_EQ(_(u""), u"");
  EXPECT_EQ(GetTranslationProperty(u"Content-Type"), u"");
  EXPECT_TRUE(MessageBoxes::shown.empty());
}

TEST(Translation, TranslatesAndKeepsTheLineBreakRules) {
  ProgramFolder folder;
  folder.Install("nl", "basic-le.mo");
  const auto layer = StartLayer(folder, u"nl");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");
  EXPECT_EQ(_(u"line\nbreak"), u"regel\r\neinde");
  EXPECT_EQ(_(u"line\r\nbreak"), u"regel\r\neinde");  // the key drops every CR
  EXPECT_EQ(_(u"Caf\u00e9"), u"Koffiehuis \u2615");
  EXPECT_EQ(_(u"not in the catalog\n"), u"not in the catalog\r\n");
  const Text header = _(u"");
  EXPECT_NE(header.find(u"Content-Type: text/plain; charset=UTF-8\r\n"), Text::npos);
  EXPECT_EQ(header.find(u"8bit\n"), Text::npos);  // every LF has its CR
  EXPECT_EQ(GetTranslationProperty(u"content-type"), u"text/plain; charset=UTF-8");
  EXPECT_EQ(GetTranslationProperty(u"Language"), u"nl");
  EXPECT_EQ(GetTranslationProperty(u"Missing-Field"), u"");
}

TEST(Translation, RegionalCatalogWinsOverTheLanguageCatalog) {
  ProgramFolder folder;
  folder.Install("nl", "basic-le.mo");
  {
    const auto layer = StartLayer(folder, u"nl_BE");
    EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");  // falls back to locale\nl
  }
  folder.Install("nl_BE", "nl_BE.mo");
  const auto layer = StartLayer(folder, u"nl_BE");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET (BE)");
  EXPECT_EQ(_(u"Bent u zeker ?"), u"Bent u zeker ?");  // no second catalog is consulted
}

TEST(Translation, UseLanguageKeepsAGivenCodeWholeAndChoosesAgainWhenEmpty) {
  ProgramFolder folder;
  folder.Install("nl", "basic-le.mo");
  const auto layer = StartLayer(folder, u"nl_BE.UTF-8");
  EXPECT_EQ(DefaultInstance()->GetCurrentLanguage(), u"nl_BE.UTF-8");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");  // through the two-letter fallback
#ifdef _WIN32
  SetEnvironmentVariableW(L"LANG", L"fr_BE.ISO-8859-1");
#else
  setenv("LANG", "fr_BE.ISO-8859-1", 1);
#endif
  UseLanguage(u"");
  EXPECT_EQ(DefaultInstance()->GetCurrentLanguage(), u"fr_BE");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");
#ifdef _WIN32
  SetEnvironmentVariableW(L"LANG", nullptr);
#else
  unsetenv("LANG");
#endif
}

TEST(Translation, MissingCatalogIsProbedOncePerLanguage) {
  ProgramFolder folder;
  const auto layer = StartLayer(folder, u"uk");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");
  folder.Install("uk", "basic-le.mo");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");  // not probed again
  UseLanguage(u"uk");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");
  EXPECT_TRUE(MessageBoxes::shown.empty());
}

TEST(Translation, CatalogWithoutUtf8TurnsTheDomainOffForGood) {
  ProgramFolder folder;
  folder.Install("fr", "latin1.mo");
  folder.Install("nl", "basic-le.mo");
  const auto layer = StartLayer(folder, u"fr_BE");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");
  ASSERT_EQ(MessageBoxes::shown.size(), 1u);
  EXPECT_EQ(MessageBoxes::shown[0].first, u"Localization problem");
  EXPECT_EQ(MessageBoxes::shown[0].second,
            u"The translation for the language code fr_BE (in " +
                test::ToText(folder.LocalePath("fr")) +
                u") does not have charset=utf-8 in its Content-Type. Translations are turned off.");
  UseLanguage(u"nl");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");
  EXPECT_EQ(_(u"a\nb"), u"a\r\nb");
  EXPECT_EQ(MessageBoxes::shown.size(), 1u);
}

TEST(Translation, UnusableCatalogIsReportedOnceAndThenIgnored) {
  ProgramFolder folder;
  test::WriteFile(folder.LocalePath("nl"), "");
  const auto layer = StartLayer(folder, u"nl");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");
  EXPECT_EQ(_(u"Bent u zeker ?"), u"Bent u zeker ?");
  ASSERT_EQ(MessageBoxes::shown.size(), 1u);
  EXPECT_EQ(MessageBoxes::shown[0].first, u"Localization problem");
  EXPECT_EQ(MessageBoxes::shown[0].second,
            u"Cannot create memory map on file " + test::ToText(folder.LocalePath("nl")));

  // A new language tries again; a catalog with a wrong first word says so.
  test::WriteFile(folder.LocalePath("nl"), "this is no catalog at all");
  UseLanguage(u"nl");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");
  ASSERT_EQ(MessageBoxes::shown.size(), 2u);
  EXPECT_EQ(MessageBoxes::shown[1].second, u"This file is not a valid GNU gettext mo file: " +
                                               test::ToText(folder.LocalePath("nl")));
  EXPECT_EQ(layer->Locator().OpenCatalogCount(), 0u);
}

TEST(Translation, OpenCatalogsAreSharedAndReleasedWithTheirLastUser) {
  ProgramFolder folder;
  folder.Install("nl", "basic-le.mo");
  const auto layer = StartLayer(folder, u"nl");
  TFileLocator& locator = layer->Locator();
  const Text path = test::ToText(folder.LocalePath("nl"));
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");
  ASSERT_EQ(locator.OpenCatalogCount(), 1u);
  std::shared_ptr<const TMoFile> shared = locator.GetMoFile(path);
  EXPECT_EQ(shared.use_count(), 2);  // the domain's and ours
  UseLanguage(u"de");                // the domain lets go of its catalog
  EXPECT_EQ(locator.OpenCatalogCount(), 1u);
  shared.reset();
  EXPECT_EQ(locator.OpenCatalogCount(), 0u);
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");
}

TEST(Translation, DisabledInstanceReturnsTextsAsGiven) {
  ProgramFolder folder;
  folder.Install("nl", "basic-le.mo");
  const auto layer = StartLayer(folder, u"nl");
  DefaultInstance()->Enabled = false;
  EXPECT_EQ(_(u"WAARSCHUWING"), u"WAARSCHUWING");
  EXPECT_EQ(_(u"a\nb"), u"a\nb");
}

}  // namespace
}  // namespace zephora
