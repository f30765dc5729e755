#include <gtest/gtest.h>

#include "platform/byte_reader.h"
#include "platform/system_error.h"
#include "platform/text.h"

namespace zephora {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
  const Text text = u"a\u00e9\u20ac\U0001F600z";
  EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(FromUtf8("\xC0\x80"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // surrogate
  EXPECT_EQ(ToUtf8(Text(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));
  EXPECT_TRUE(IsValidUtf8("plain"));
}

TEST(Text, TrimAndCaseHelpers) {
  EXPECT_EQ(Trim(u" \t x y \r\n"), u"x y");
  EXPECT_EQ(AsciiUpper(u"charset=utf-8 \u00e9"), u"CHARSET=UTF-8 \u00e9");
  EXPECT_TRUE(EqualsIgnoreAsciiCase(u"Content-Type", u"CONTENT-TYPE"));
  EXPECT_EQ(ToHexText(0x80004005u, 8), u"80004005");
  EXPECT_EQ(ToHexText(0x5, 8), u"00000005");
  EXPECT_EQ(TrimErrorText(u"Access is denied. \r\n"), u"Access is denied");
}

TEST(Text, ControlsAndDirectionMarksAreMadeVisible) {
  EXPECT_EQ(MakeControlsVisible(u"readme.txt"), u"readme.txt");
  EXPECT_EQ(MakeControlsVisible(Text(u"a\0b", 3)), u"a<U+0000>b");
  EXPECT_EQ(MakeControlsVisible(u"\x1B[31m\a\t\x7F\x85"),
            u"<U+001B>[31m<U+0007><U+0009><U+007F><U+0085>");
  EXPECT_EQ(MakeControlsVisible(u"invoice\u202Efdp.exe"), u"invoice<U+202E>fdp.exe");
  EXPECT_EQ(MakeControlsVisible(u"\u202A\u202D\u2066\u2069\u200F"),
            u"<U+202A><U+202D><U+2066><U+2069><U+200F>");
  EXPECT_EQ(MakeControlsVisible(u"caf\u00e9 \u20ac"), u"caf\u00e9 \u20ac");  // ordinary text stays
}

TEST(ByteReader, ReadsLittleEndianAndKeepsItsErrorPastTheEnd) {
  const unsigned char bytes[] = {0x50, 0x4B, 0x05, 0x06, 0x01, 0x02};
  ByteReader reader(bytes, sizeof bytes);
  EXPECT_EQ(reader.U32(), 0x06054B50u);
  EXPECT_EQ(reader.U16(), 0x0201u);
  EXPECT_TRUE(reader.Ok());
  EXPECT_EQ(reader.U8(), 0u);
  EXPECT_FALSE(reader.Ok());
  EXPECT_EQ(reader.U16(), 0u);  // stays failed
  EXPECT_EQ(ByteReader(bytes, 6).U32At(4), 0u);
  EXPECT_EQ(Load32(bytes + 1), 0x0106054Bu);
  EXPECT_EQ(ByteSwap32(0x950412DEu), 0xDE120495u);
}

}  // namespace
}  // namespace zephora
