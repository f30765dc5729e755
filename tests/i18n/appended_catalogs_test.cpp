#include <gtest/gtest.h>

#include "catalog_bundle.h"
#include "i18n/executable_image.h"
#include "i18n/file_locator.h"
#include "platform/process.h"
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

// A program of ours with catalogs appended after the build, as the release
// does it: this test's own executable (a PE image under Windows, whose
// sections and symbols are then not searched).
TEST(AppendedCatalogs, OurOwnProgramFindsWhatWasAppendedToIt) {
  test::TempDir dir;
  const std::string program = test::ReadFile(std::filesystem::path(ExecutablePath()));
  const auto path = dir / "SETUP.EXE";
  test::WriteFile(path, program + BuildCatalogBundle({{kRelative, test::CatalogBytes("many.mo")}}));
  const TFileLocator locator(test::ToText(path));
  ASSERT_EQ(locator.FileList().size(), 1u);
  const TEmbeddedFileInfo& entry = locator.FileList().begin()->second;
  EXPECT_EQ(entry.offset, static_cast<std::int64_t>(program.size() + 39));
  EXPECT_EQ(entry.size, static_cast<std::int64_t>(test::CatalogBytes("many.mo").size()));
#ifdef _WIN32
  File file;
  ASSERT_EQ(file.Open(test::ToText(path), FileMode::ReadShareAll), 0);
  EXPECT_EQ(ImageEnd(file), static_cast<std::int64_t>(program.size()));
#endif
}

// The headers of a PE image: MZ, the PE header at 0x80 with an optional
// header of 240 bytes (PE32+) whose headers end at 0x400, then `sections`
// (raw offset, raw size), and a symbol table of `symbols` 18-byte records at
// `symbolTable` (0: none). Filled with 'x' to `size` bytes.
struct ImageLayout {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> sections;
  std::uint32_t symbolTable = 0, symbols = 0, names = 4;
  std::size_t size = 0x2000;
};

std::string MakeImage(const ImageLayout& layout) {
  std::string image(layout.size, 'x');
  const auto put = [&](std::size_t at, std::uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width && at + i < image.size(); ++i)
      image[at + i] = static_cast<char>(value >> (8 * i));
  };
  image.replace(0, 2, "MZ");
  put(0x3C, 0x80, 4);
  image.replace(0x80, 4, std::string("PE\0\0", 4));
  put(0x84 + 2, static_cast<std::uint32_t>(layout.sections.size()), 2);
  put(0x84 + 8, layout.symbolTable, 4);
  put(0x84 + 12, layout.symbols, 4);
  put(0x84 + 16, 240, 2);
  put(0x98 + 60, 0x400, 4);
  for (std::size_t i = 0; i < layout.sections.size(); ++i) {
    put(0x188 + 40 * i + 16, layout.sections[i].second, 4);
    put(0x188 + 40 * i + 20, layout.sections[i].first, 4);
  }
  if (layout.symbolTable != 0)
    put(layout.symbolTable + 18 * layout.symbols, layout.names, 4);
  return image;
}

std::int64_t ImageEndOf(const std::string& bytes) {
  test::TempDir dir;
  test::WriteFile(dir / "image.exe", bytes);
  File file;
  EXPECT_EQ(file.Open(test::ToText(dir / "image.exe"), FileMode::ReadShareAll), 0);
  return ImageEnd(file);
}

TEST(ExecutableImage, EndsAfterTheLastSectionOrTheSymbolNames) {
  // Sections out of order, one without raw data (uninitialised data).
  EXPECT_EQ(ImageEndOf(MakeImage({{{0x1000, 0x600}, {0x400, 0x200}, {0x1800, 0}}})), 0x1600);
  EXPECT_EQ(ImageEndOf(MakeImage({})), 0x400);  // the headers alone
  ImageLayout symbols{{{0x400, 0x200}}, 0x800, 10, 0x20};
  EXPECT_EQ(ImageEndOf(MakeImage(symbols)), 0x800 + 180 + 0x20);
}

TEST(ExecutableImage, AnythingElseIsSearchedWhole) {
  EXPECT_EQ(ImageEndOf("MZ"), 0);
  EXPECT_EQ(ImageEndOf(std::string(0x2000, 'x')), 0);
  std::string notPe = MakeImage({{{0x400, 0x200}}});
  notPe[0x81] = 'X';
  EXPECT_EQ(ImageEndOf(notPe), 0);
  std::string farHeader = MakeImage({{{0x400, 0x200}}});
  farHeader.replace(0x3C, 4, std::string("\xff\xff\xff\x7f", 4));
  EXPECT_EQ(ImageEndOf(farHeader), 0);
  // Sections or symbol names said to run past the end of the file.
  EXPECT_EQ(ImageEndOf(MakeImage({{{0x1000, 0x1001}}})), 0);
  EXPECT_EQ(ImageEndOf(MakeImage({{{0xFFFFFFFF, 0xFFFFFFFF}}})), 0);
  EXPECT_EQ(ImageEndOf(MakeImage({{{0x400, 0x200}}, 0x800, 10, 0x7FFFFFFF})), 0);
  EXPECT_EQ(ImageEndOf(MakeImage({{{0x400, 0x200}}, 0xFFFFFFF0, 0xFFFFFFFF})), 0);
  // More sections than the loader takes, or a table beyond the first 4 KiB.
  ImageLayout many;
  many.sections.assign(97, {0x400, 0x10});
  EXPECT_EQ(ImageEndOf(MakeImage(many)), 0);
  many.sections.resize(96);
  EXPECT_EQ(ImageEndOf(MakeImage(many)), 0);
}

// Catalogs behind an image are found past it, wherever the block lands
// against the reads' block boundaries.
TEST(ExecutableImage, CatalogsBehindAnImageAreFound) {
  const std::string bundle = BuildCatalogBundle({{kRelative, test::CatalogBytes("basic-le.mo")}});
  for (std::uint32_t raw : {0x200u, 0x400u + 100000u - 20u}) {
    ImageLayout layout{{{0x400, raw}}};
    layout.size = 0x400 + raw;
    test::TempDir dir;
    test::WriteFile(dir / "SETUP.EXE", MakeImage(layout) + bundle);
    const TFileLocator locator(test::ToText(dir / "SETUP.EXE"));
    ASSERT_EQ(locator.FileList().size(), 1u) << raw;
    EXPECT_EQ(locator.FileList().begin()->second.offset,
              static_cast<std::int64_t>(layout.size + 39));
  }
}

}  // namespace
}  // namespace zephora
