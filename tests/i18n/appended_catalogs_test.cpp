#include <gtest/gtest.h>

#include "catalog_bundle.h"
#include "i18n/file_locator.h"
#include "tests/i18n/catalogs.h"

namespace zephora {
namespace {

const char* const kRelative = "locale\\nl\\LC_MESSAGES\\default.mo";

// An "executable" of `lead` filler bytes followed by the appended catalogs.
std::filesystem::path MakeExecutable(const test::TempDir& dir, size_t lead) {
  std::string image(lead, 'M');
  image +=
      BuildCatalogBundle({{"  locale\\de\\LC_MESSAGES\\default.mo ", test::CatalogBytes("many.mo")},
                          {kRelative, test::CatalogBytes("basic-be.mo")}});
  const auto path = dir / "SETUP.EXE";
  test::WriteFile(path, image);
  return path;
}

// SETUP.EXE of `folder`, carrying `catalogs` appended.
void CarryCatalogs(const test::ProgramFolder& folder, const std::vector<BundledCatalog>& catalogs) {
  test::WriteFile(folder.Path() / "SETUP.EXE", "MZ" + BuildCatalogBundle(catalogs));
}

TEST(AppendedCatalogs, MarkerAcrossABlockBoundaryIsFound) {
  for (size_t lead : {size_t{1000}, size_t{99990}, size_t{199999 - 38}}) {
    test::TempDir dir;
    const TFileLocator locator(test::ToText(MakeExecutable(dir, lead)));
    ASSERT_EQ(locator.FileList().size(), 2u) << lead;
    const auto& entry = locator.FileList().at(u"LOCALE/NL/lc_messages/DEFAULT.MO");
    EXPECT_EQ(entry.offset,
              static_cast<std::int64_t>(lead + 39 + test::CatalogBytes("many.mo").size()));
    EXPECT_EQ(entry.size, static_cast<std::int64_t>(test::CatalogBytes("basic-be.mo").size()));
    EXPECT_TRUE(locator.FileList().count(u"locale\\de\\LC_MESSAGES\\default.mo"));  // trimmed
  }
}

TEST(AppendedCatalogs, TranslateLikeCatalogsOnDisk) {
  test::TempDir dir;
  const Text executable = test::ToText(MakeExecutable(dir, 5000));
  TranslationLayer layer(executable);
  UseLanguage(u"nl_BE");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");
  UseLanguage(u"de");
  EXPECT_EQ(_(u"key0010"), u"value0010");
  EXPECT_TRUE(layer.Locator().FileExists(layer.Locator().BaseDirectory() +
                                         u"locale/nl/LC_MESSAGES/default.mo"));
  EXPECT_FALSE(layer.Locator().FileExists(u"elsewhere\\locale\\nl\\LC_MESSAGES\\default.mo"));
}

TEST(AppendedCatalogs, FolderBesideTheExecutableServesTheOtherLanguages) {
  test::ProgramFolder folder;
  CarryCatalogs(folder, {{kRelative, test::CatalogBytes("basic-le.mo")}});
  folder.Install("de", "many.mo");
  folder.Install("nl", "nl_BE.mo");  // the appended catalog of the same path wins
  const auto layer = test::StartLayer(folder, u"de_DE");
  EXPECT_EQ(_(u"key0010"), u"value0010");
  UseLanguage(u"nl_BE");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");
}

// A catalog for nl_BE dropped beside the download, one text changed, was
// found before the Dutch catalog that the executable carries, and so it
// rewrote the texts of every Belgian Dutch user.
TEST(AppendedCatalogs, RegressionPlantedRegionalCatalogKeepsTheCarriedTexts) {
  test::ProgramFolder folder;
  CarryCatalogs(folder, {{kRelative, test::CatalogBytes("basic-le.mo")}});
  folder.Install("nl_BE", "nl_BE.mo");
  const auto layer = test::StartLayer(folder, u"nl_BE");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");
  UseLanguage(u"nl");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");
  EXPECT_TRUE(test::MessageBoxes::shown.empty());
}

TEST(AppendedCatalogs, CarriedRegionalCatalogComesBeforeTheCarriedLanguage) {
  test::ProgramFolder folder;
  CarryCatalogs(folder,
                {{kRelative, test::CatalogBytes("basic-le.mo")},
                 {"locale\\nl_BE\\LC_MESSAGES\\default.mo", test::CatalogBytes("nl_BE.mo")}});
  const auto layer = test::StartLayer(folder, u"nl_BE");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET (BE)");
  UseLanguage(u"nl_NL");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");
}

TEST(AppendedCatalogs, FolderServesARegionOfALanguageNotCarried) {
  test::ProgramFolder folder;
  CarryCatalogs(folder, {{"locale\\de\\LC_MESSAGES\\default.mo", test::CatalogBytes("many.mo")}});
  folder.Install("nl_BE", "nl_BE.mo");
  folder.Install("nl", "basic-le.mo");
  const auto layer = test::StartLayer(folder, u"nl_BE");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET (BE)");
  UseLanguage(u"nl_NL");
  EXPECT_EQ(_(u"WAARSCHUWING"), u"OPGELET");
}

TEST(AppendedCatalogs, MarkerAtTheStartOrMissingMeansNone) {
  test::TempDir dir;
  const auto atStart = dir / "atstart.exe";
  test::WriteFile(atStart, BuildCatalogBundle({{kRelative, test::CatalogBytes("basic-le.mo")}}));
  EXPECT_TRUE(TFileLocator(test::ToText(atStart)).FileList().empty());
  const auto plain = dir / "plain.exe";
  test::WriteFile(plain, std::string(300000, 'x'));
  EXPECT_TRUE(TFileLocator(test::ToText(plain)).FileList().empty());
  EXPECT_TRUE(TFileLocator(test::ToText(dir / "missing.exe")).FileList().empty());
}

TEST(AppendedCatalogs, DamagedTableKeepsWhatWasRead) {
  test::TempDir dir;
  std::string bundle =
      BuildCatalogBundle({{kRelative, test::CatalogBytes("basic-le.mo")}, {"second", "x"}});
  // Make the first entry's link to the second point backwards.
  const size_t table = 39 + test::CatalogBytes("basic-le.mo").size() + 1;
  bundle[table] = 1, bundle[table + 1] = 0;
  const auto path = dir / "damaged.exe";
  test::WriteFile(path, "MZ" + bundle);
  const TFileLocator locator(test::ToText(path));
  EXPECT_LE(locator.FileList().size(), 1u);
}

// Numbers near the limits of 64 bits once overflowed when added to the
// block's start; they end the scan instead.
TEST(AppendedCatalogs, HostileNumbersEndTheScan) {
  const std::string bundle = BuildCatalogBundle({{kRelative, test::CatalogBytes("basic-le.mo")}});
  const size_t table = 39 + test::CatalogBytes("basic-le.mo").size();
  const size_t firstEntryField = bundle.size() - 39 - 8;
  const std::string huge("\xff\xff\xff\xff\xff\xff\xff\x7f", 8);
  const std::string negative("\x00\x00\x00\x00\x00\x00\x00\x80", 8);
  struct Case {
    size_t field;
    std::string value;
  };
  const Case cases[] = {
      {firstEntryField, huge}, {firstEntryField, negative}, {table, huge},
      {table, negative},       {table + 8, huge},           {table + 8, negative},
      {table + 16, huge},      {table + 16, negative},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    std::string damaged = bundle;
    damaged.replace(c.field, 8, c.value);
    const auto path = dir / "hostile.exe";
    test::WriteFile(path, "MZ" + damaged);
    const TFileLocator locator(test::ToText(path));
    EXPECT_TRUE(locator.FileList().empty()) << c.field;
  }
}

}  // namespace
}  // namespace zephora
