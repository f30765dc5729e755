// Texts with a count through the translation layer, with catalogs that
// msgfmt made for one, two and three forms and for a rule that divides by
// zero.
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "i18n/mo_file.h"
#include "i18n/resource_strings.h"
#include "tests/i18n/catalogs.h"

namespace zephora {
namespace {

constexpr char16_t kFile[] = u"%d file";
constexpr char16_t kFiles[] = u"%d files";

// The forms chosen for each count, one line per count.
Text Chosen(std::initializer_list<std::uint64_t> counts) {
  Text lines;
  for (const std::uint64_t n : counts)
    lines += ngettext(kFile, kFiles, n) + u"|";
  return lines;
}

class PluralLookup : public ::testing::Test {
 protected:
  void Start(const std::string& catalog) {
    folder_.Install("xx", catalog);
    layer_ = test::StartLayer(folder_, u"xx");
  }
  test::ProgramFolder folder_;
  std::unique_ptr<TranslationLayer> layer_;
};

TEST_F(PluralLookup, WithoutCatalogTheSourceFormsChooseByTheEnglishRule) {
  Start("basic-le.mo");  // a catalog without this entry
  EXPECT_EQ(Chosen({0, 1, 2, 21}), u"%d files|%d file|%d files|%d files|");
  EXPECT_EQ(ngettext(u"one\nline", u"two\nlines", 2), u"two\r\nlines");
  layer_.reset();
  EXPECT_EQ(Chosen({1, 5}), u"%d file|%d files|");  // no layer at all
}

TEST_F(PluralLookup, OneFormForEveryCount) {
  Start("plural_one.mo");
  EXPECT_EQ(Chosen({0, 1, 2, UINT64_MAX}), u"%d ファイル|%d ファイル|%d ファイル|%d ファイル|");
}

TEST_F(PluralLookup, TwoFormsWithTheCatalogsRule) {
  Start("plural_two.mo");
  // French: 0 takes the singular, unlike English.
  EXPECT_EQ(Chosen({0, 1, 2, 1000}), u"%d fichier|%d fichier|%d fichiers|%d fichiers|");
  // The layer's line breaks, as for a text without a count.
  EXPECT_EQ(ngettext(u"Value %d of %s", u"Values %d of %s", 3), u"%d valeurs\r\nde %s");
  EXPECT_EQ(ngettext(u"Value %d of\r\n%s", u"Values %d of %s", 1), u"Value %d of\r\n%s");
  // An empty form leaves the source texts to choose, never an empty message.
  EXPECT_EQ(ngettext(u"No second form", u"No second forms", 1), u"Une forme");
  EXPECT_EQ(ngettext(u"No second form", u"No second forms", 2), u"No second forms");
  // A plural entry answers only to both of its source forms.
  EXPECT_EQ(ngettext(kFile, u"%d other files", 2), u"%d other files");
  EXPECT_EQ(_(kFile), kFile);
  EXPECT_EQ(ngettext(u"WAARSCHUWING", u"WAARSCHUWINGEN", 1), u"WAARSCHUWING");
}

TEST_F(PluralLookup, ThreeFormsAsInSlavicLanguages) {
  Start("plural_three.mo");
  EXPECT_EQ(Chosen({1, 21, 101}), u"%d файл|%d файл|%d файл|");
  EXPECT_EQ(Chosen({2, 4, 22, 1004}), u"%d файли|%d файли|%d файли|%d файли|");
  EXPECT_EQ(Chosen({0, 5, 11, 12, 14, 111, 1000}),
            u"%d файлів|%d файлів|%d файлів|%d файлів|%d файлів|%d файлів|%d файлів|");
}

TEST_F(PluralLookup, RuleThatDividesByZeroTakesTheFirstForm) {
  Start("plural_by_zero.mo");
  EXPECT_EQ(Chosen({0, 1, 2, UINT64_MAX}), u"first %d|first %d|first %d|first %d|");
  EXPECT_TRUE(test::MessageBoxes::shown.empty());
}

TEST_F(PluralLookup, DisabledInstanceChoosesBetweenTheTextsAsGiven) {
  Start("plural_two.mo");
  DefaultInstance()->Enabled = false;
  EXPECT_EQ(ngettext(u"a\nb", u"c\nd", 0), u"c\nd");
  EXPECT_EQ(ngettext(u"a\nb", u"c\nd", 1), u"a\nb");
}

enum : std::uint32_t { kCount = 0xF101, kSingle = 0xF102 };
constexpr ResourceText kTexts[] = {
    {kCount, NP_(u"Value %d of %s", u"Values %d of %s")},
    {kSingle, N_(u"WAARSCHUWING")},
};
const ResourceModule kModule(kTexts);
const ResStringRec SCount{&kModule, kCount};
const ResStringRec SSingle{&kModule, kSingle};

TEST_F(PluralLookup, LibraryTextWithACountOnTheCreatorThreadOnly) {
  Start("plural_two.mo");
  EXPECT_EQ(FormatPluralResString(SCount, 0, {0, u"x"}), u"0 valeur\r\nde x");
  EXPECT_EQ(FormatPluralResString(SCount, 7, {7, u"x"}), u"7 valeurs\r\nde x");
  Text one, many;
  std::thread([&] {
    one = LoadPluralResString(&SCount, 1);
    many = LoadPluralResString(&SCount, 7);
  }).join();
  EXPECT_EQ(one, u"Value %d of %s");
  EXPECT_EQ(many, u"Values %d of %s");
  // A text without a plural form loads as it always does.
  EXPECT_EQ(LoadPluralResString(&SSingle, 2), u"ATTENTION");
  EXPECT_EQ(LoadPluralResString(nullptr, 2), u"");
}

TEST(PluralLibraryTextWithoutLayer, ChoosesByTheEnglishRule) {
  EXPECT_EQ(FormatPluralResString(SCount, 1, {1, u"x"}), u"Value 1 of x");
  EXPECT_EQ(FormatPluralResString(SCount, 0, {0, u"x"}), u"Values 0 of x");
}

TEST(PluralCatalog, FormsOfAnEntryAsMsgfmtWritesThem) {
  const std::string bytes = test::CatalogBytes("plural_three.mo");
  const TMoFile catalog(bytes, u"three");
  EXPECT_EQ(catalog.Plural().Count(), 3u);
  const auto forms = catalog.Translate(std::string("%d file") + '\0' + "%d files");
  ASSERT_TRUE(forms);
  EXPECT_EQ(*forms, std::string("%d файл") + '\0' + "%d файли" + '\0' + "%d файлів");
  EXPECT_EQ(catalog.TranslatePlural("%d file", "%d files", 12).value_or("<none>"), "%d файлів");
  EXPECT_EQ(catalog.TranslatePlural("%d file", "%d other", 12).value_or("<none>"), "<none>");
}

}  // namespace
}  // namespace zephora
