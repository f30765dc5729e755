// The system's error texts join the messages in the catalog's language: a
// Belgian user with Dutch formats and an English Windows reads "Kan het
// bestand ... niet aanmaken. Toegang geweigerd", not "... Access denied".
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "i18n/translation.h"
#include "platform/system_error.h"
#ifdef _WIN32
#include "platform/wide.h"
#endif
#include "tests/i18n/catalogs.h"

namespace zephora {
namespace {

using test::ProgramFolder;
using test::StartLayer;

TEST(CatalogLanguage, IsTheRegionInForceForACatalogOfItsLanguage) {
  ProgramFolder folder;
  folder.Install("nl", "basic-le.mo");  // Language: nl
  {
    const auto layer = StartLayer(folder, u"nl_BE");
    EXPECT_EQ(DefaultInstance()->CatalogLanguage(), u"nl_BE");
  }
  {
    const auto layer = StartLayer(folder, u"nl");
    EXPECT_EQ(DefaultInstance()->CatalogLanguage(), u"nl");
  }
}

TEST(CatalogLanguage, IsTheLanguageInForceWhenTheCatalogNamesNone) {
  ProgramFolder folder;
  folder.Install("af_ZA", "nl_BE.mo");  // no Language field
  const auto layer = StartLayer(folder, u"af_ZA");
  EXPECT_EQ(DefaultInstance()->CatalogLanguage(), u"af_ZA");
}

TEST(CatalogLanguage, IsEmptyWithoutACatalog) {
  ProgramFolder folder;
  const auto layer = StartLayer(folder, u"nl_BE");
  EXPECT_EQ(DefaultInstance()->CatalogLanguage(), u"");
  ASSERT_NE(GetMessageLanguageSource(), nullptr);
  EXPECT_EQ(GetMessageLanguageSource()(), u"");
}

TEST(CatalogLanguage, IsToldToTheSystemTextsWhileTheLayerLasts) {
  ProgramFolder folder;
  folder.Install("nl", "basic-le.mo");
  {
    const auto layer = StartLayer(folder, u"nl_BE");
    ASSERT_NE(GetMessageLanguageSource(), nullptr);
    EXPECT_EQ(GetMessageLanguageSource()(), u"nl_BE");
  }
  EXPECT_EQ(GetMessageLanguageSource(), nullptr);
}

#ifdef _WIN32
// The text Windows gives when asked for no language in particular.
Text SystemsOwnText(DWORD code) {
  wchar_t buffer[2000];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, buffer, 2000, nullptr);
  return FromWide(std::wstring_view(buffer, length));
}

// Wine carries the system texts in many languages, as a Windows with those
// display languages installed does; the prefix's own is English.
TEST(SystemErrorLanguage, FollowsTheCatalogNotWindowsDisplayLanguage) {
  ASSERT_EQ(SystemsOwnText(ERROR_ACCESS_DENIED), u"Access denied.\r\n");
  ProgramFolder folder;
  folder.Install("nl", "basic-le.mo");
  const auto layer = StartLayer(folder, u"nl_BE");
  EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), u"Toegang geweigerd.\r\n");
  // A number without a text in any language stays without one.
  EXPECT_EQ(SystemErrorText(0x7FFF0000), u"");
}

TEST(SystemErrorLanguage, IsWindowsOwnChoiceWithoutACatalog) {
  EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), SystemsOwnText(ERROR_ACCESS_DENIED));
  ProgramFolder folder;
  const auto layer = StartLayer(folder, u"nl_BE");
  EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), SystemsOwnText(ERROR_ACCESS_DENIED));
}

// Wine lacks Afrikaans texts and answers as Windows does for a display
// language that is not installed.
TEST(SystemErrorLanguage, FallsBackToWindowsOwnChoiceForALanguageWindowsLacks) {
  wchar_t buffer[2000];
  ASSERT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           ERROR_ACCESS_DENIED, MAKELANGID(LANG_AFRIKAANS, SUBLANG_DEFAULT), buffer,
                           2000, nullptr),
            0u);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
  ProgramFolder folder;
  folder.Install("af_ZA", "nl_BE.mo");
  const auto layer = StartLayer(folder, u"af_ZA");
  EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED), SystemsOwnText(ERROR_ACCESS_DENIED));
}
#endif

}  // namespace
}  // namespace zephora
