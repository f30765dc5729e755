#include "i18n/format.h"

#include <gtest/gtest.h>

namespace zephora {
namespace {

struct FormatCase {
  const char16_t* format;
  FormatArg argument;
  const char16_t* expected;
};

TEST(Format, WidthAndPrecision) {
  const FormatCase cases[] = {
      {u"%.5d", 42, u"00042"},       {u"%.5d", -42, u"-00042"},      {u"%.1d", 12345, u"12345"},
      {u"%.5u", 7u, u"00007"},       {u"%.8x", 0x5u, u"00000005"},   {u"%x", 0xABCu, u"abc"},
      {u"[%6d]", 42, u"[    42]"},   {u"[%-6d]", 42, u"[42    ]"},   {u"[%6.4d]", -7, u"[ -0007]"},
      {u"[%5s]", u"ab", u"[   ab]"}, {u"[%-5s]", u"ab", u"[ab   ]"}, {u"[%1s]", u"abc", u"[abc]"},
      {u"[%.2s]", u"abc", u"[abc]"},  // a precision never cuts a text
      {u"%.5", 42, u"%.5"},           // the text ends inside the directive
      {u"%5q", 42, u"%5q"},           // not a kind the routine knows
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(Format(c.format, {c.argument}), c.expected) << ToUtf8(c.format);
  }
}

// A catalog's translation "Socket Error # %.99999999999d" overflowed the int
// that held the precision, and then padded one zero at a time, long enough
// to freeze the wizard.
TEST(Format, RegressionPrecisionBeyondInt) {
  const Text zeros(59, u'0');
  EXPECT_EQ(Format(u"Socket Error # %.99999999999d\r\n%s", {10061, u"Connection refused."}),
            u"Socket Error # " + zeros + u"10061\r\nConnection refused.");
  EXPECT_EQ(Format(u"%.99999999999999999999999999999999999999d", {-1}),
            u"-" + Text(63, u'0') + u"1");
}

// "%.200000000x" asked for 200 million digits, 1.2 GB of text.
TEST(Format, RegressionPrecisionOfHundredsOfMillions) {
  EXPECT_EQ(Format(u"OLE error %.200000000x", {0x80004005u}),
            u"OLE error " + Text(56, u'0') + u"80004005");
}

TEST(Format, WidthAndPrecisionStopAtTheCap) {
  EXPECT_EQ(Format(u"%64d", {1}).size(), 64u);
  EXPECT_EQ(Format(u"%65d", {1}).size(), 64u);
  EXPECT_EQ(Format(u"%999999999999999999999d", {1}).size(), 64u);
  EXPECT_EQ(Format(u"%-999999999999999999999s|", {u"x"}), u"x" + Text(63, u' ') + u"|");
  EXPECT_EQ(Format(u"%.65d", {1}).size(), 64u);
  EXPECT_EQ(Format(u"%99999999999.99999999999d", {1}).size(), 64u);
}

TEST(Format, EveryDirectiveOfALongTextIsBounded) {
  Text format;
  for (int i = 0; i < 1000; ++i)
    format += u"%.99999999999d";
  // The first directive takes the argument; the rest have none and stay as
  // they are written.
  const Text formatted = Format(format, {5});
  EXPECT_EQ(formatted.size(), 64u + 999u * 14u);
  EXPECT_EQ(formatted.substr(0, 64), Text(63, u'0') + u"5");
}

}  // namespace
}  // namespace zephora
