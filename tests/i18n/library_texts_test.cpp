#include <gtest/gtest.h>

#include <thread>

#include "i18n/resource_strings.h"
#include "tests/i18n/catalogs.h"

namespace zephora {
namespace {

enum : std::uint32_t { kPlain = 0xF001, kFormat = 0xF002, kUntranslated = 0xF003 };
constexpr ResourceText kTexts[] = {
    {kPlain, u"Test library text"},
    {kFormat, u"Value %d of %s"},
    {kUntranslated, u"Nobody translates this"},
};
const ResourceModule kModule(kTexts);
const ResStringRec SPlain{&kModule, kPlain};
const ResStringRec STooLarge{&kModule, 65536};

class LibraryTexts : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.Install("nl", "basic-le.mo");
    layer_ = test::StartLayer(folder_, u"nl");
  }
  test::ProgramFolder folder_;
  std::unique_ptr<TranslationLayer> layer_;
};

TEST_F(LibraryTexts, ByRecordTranslatesOnlyOnTheCreatorThread) {
  EXPECT_EQ(LoadResString(SPlain), u"Vertaalde bibliotheektekst");
  Text onOtherThread;
  std::thread([&] { onOtherThread = LoadResString(SPlain); }).join();
  EXPECT_EQ(onOtherThread, u"Test library text");
}

TEST_F(LibraryTexts, ByIdentifierTranslatesOnAnyThread) {
  EXPECT_EQ(LoadStr(kPlain), u"Vertaalde bibliotheektekst");
  Text onOtherThread;
  std::thread([&] { onOtherThread = LoadStr(kPlain); }).join();
  EXPECT_EQ(onOtherThread, u"Vertaalde bibliotheektekst");
  EXPECT_EQ(LoadStr(kUntranslated), u"Nobody translates this");
  EXPECT_EQ(LoadStr(0xF0FF), u"");
}

TEST_F(LibraryTexts, FormatTextIsTranslatedBeforeItIsFormatted) {
  EXPECT_EQ(FmtLoadStr(kFormat, {7, u"x"}), u"Waarde 7 uit x");
}

TEST_F(LibraryTexts, MissingOrOutOfRangeRecords) {
  EXPECT_EQ(LoadResString(nullptr), u"");
  EXPECT_EQ(LoadResString(STooLarge), u"ERROR");
}

TEST(LibraryTextsWithoutLayer, ComeBackAsBuiltIn) {
  EXPECT_EQ(LoadResString(SPlain), u"Test library text");
  EXPECT_EQ(LoadStr(kPlain), u"Test library text");
}

TEST(Format, DirectivesOfTheMessageTexts) {
  EXPECT_EQ(Format(u"Socket Error # %d\r\n%s", {10061, u"Connection refused."}),
            u"Socket Error # 10061\r\nConnection refused.");
  EXPECT_EQ(Format(u"OLE error %.8x", {0x80004005u}), u"OLE error 80004005");
  EXPECT_EQ(Format(u"%d%%, %d", {-5}), u"-5%, %d");  // a missing argument stays as written
  EXPECT_EQ(Format(u"%s", {42}), u"%s");             // so does a kind mismatch
}

}  // namespace
}  // namespace zephora
