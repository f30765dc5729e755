// The extractor's rules for names, masks and attributes.
#include "transfer/zip/unzipper.h"

#include <gtest/gtest.h>

namespace zephora::zip {
namespace {

TEST(ExtractRules, TargetNameMaskAndUnsafeNames) {
  EXPECT_EQ(TargetName(u"a/b\\c.txt"), u"c.txt");
  EXPECT_EQ(TargetName(u"C:x.dll"), u"x.dll");
  EXPECT_EQ(TargetName(u"../../x.dll"), u"x.dll");
  EXPECT_EQ(TargetName(u"dir/"), u"");
  for (const char16_t* name : {u"a.txt", u"noext", u"dir/sub/file", u".hidden", u"dir/"}) {
    EXPECT_TRUE(MatchesMask(name, u"*.*")) << ToUtf8(name);
    EXPECT_TRUE(MatchesMask(name, u"*")) << ToUtf8(name);
  }
  EXPECT_FALSE(MatchesMask(u"C:", u"*.*"));
  EXPECT_FALSE(MatchesMask(u"a.txt", u"*.bin"));
  EXPECT_TRUE(MatchesMask(u"docs/A.TXT", u"docs\\*.txt"));
  EXPECT_FALSE(MatchesMask(u"other/a.txt", u"docs\\*.txt"));
  for (const char16_t* name :
       {u"CON", u"con.txt", u"Nul", u"AUX .log", u"PRN.a.b", u"COM1", u"lpt9.dat", u"trail.",
        u"blank ", u"a?b", u"a*b", u"a|b", u"a\"b", u"a<b", u"a\x01"}) {
    EXPECT_TRUE(IsUnsafeFileName(name)) << ToUtf8(name);
  }
  for (const char16_t* name : {u"COM10", u"console.txt", u"nullify", u".profile", u"a.b c"}) {
    EXPECT_FALSE(IsUnsafeFileName(name)) << ToUtf8(name);
  }
}

TEST(ExtractRules, AttributesFromUnixModeOrDosByte) {
  struct Case {
    std::uint16_t madeBy;
    std::uint32_t external;
    std::uint32_t attributes;
  };
  const Case cases[] = {
      {0x0314, 0100644u << 16, 0x00},
      {0x0314, 0100444u << 16, 0x01},
      {0x0314, 0120777u << 16, 0x04},
      {0x0314, 0040755u << 16, 0x10},
      {0x0314, 0020600u << 16, 0x04},
      {0x0314, 0010600u << 16, 0x04},
      {0x0314, 0060600u << 16, 0x04},
      {0x0314, 0140600u << 16, 0x04},
      {0x0314, 0, 0x01},
      {0x0014, 0x27, 0x27},
      {0x0014, 0xFF, 0x27},
      {0x0B14, (0100755u << 16) | 0x20, 0x00},
      {0x0014, 0x00020000, 0x01},
      {0x0014, 0x0001FFFF, 0x27},
  };
  for (const Case& c : cases) {
    CentralEntry entry;
    entry.versionMadeBy = c.madeBy;
    entry.externalAttributes = c.external;
    EXPECT_EQ(TargetAttributes(entry), c.attributes) << std::hex << c.madeBy << " " << c.external;
  }
}

}  // namespace
}  // namespace zephora::zip
