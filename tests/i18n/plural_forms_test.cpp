#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "i18n/plural_forms.h"

#if defined(__GLIBC__)
#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/test_support.h"
#endif

namespace zephora {
namespace {

// The forms for n = 0, 1, 2, ... as one string of digits.
std::string Forms(const PluralForms& rule, std::uint64_t upTo) {
  std::string forms;
  for (std::uint64_t n = 0; n <= upTo; ++n)
    forms += static_cast<char>('0' + rule.FormFor(n));
  return forms;
}

PluralForms Parsed(const std::string& field) {
  const auto rule = PluralForms::Parse(field);
  EXPECT_TRUE(rule) << field;
  return rule.value_or(PluralForms());
}

TEST(PluralForms, WithoutARuleTheSourceTextsChoose) {
  const PluralForms english;
  EXPECT_EQ(english.Count(), 2u);
  EXPECT_EQ(Forms(english, 3), "1011");
  EXPECT_EQ(english.FormFor(UINT64_MAX), 1u);
}

TEST(PluralForms, RulesOfCatalogs) {
  const struct {
    const char* field;
    std::uint32_t count;
    std::uint64_t upTo;
    const char* forms;
  } cases[] = {
      {"nplurals=1; plural=0;", 1, 3, "0000"},
      {"nplurals=2; plural=(n != 1);", 2, 3, "1011"},
      {"nplurals=2; plural=(n > 1);", 2, 3, "0011"},
      {"  nplurals = 2 ;plural= n>1", 2, 3, "0011"},  // blanks, no final ";"
      // Ukrainian: 1, 21, 101 take the first form; 11 to 14 the third.
      {"nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && "
       "(n%100<10 || n%100>=20) ? 1 : 2);",
       3, 25, "20111222222222222222201112"},
      // Arabic, six forms.
      {"nplurals=6; plural=n==0 ? 0 : n==1 ? 1 : n==2 ? 2 : n%100>=3 && n%100<=10 ? 3 "
       ": n%100>=11 ? 4 : 5;",
       6, 12, "0123333333344"},
      // Precedence and associativity as in C.
      {"nplurals=9; plural=1 + 2 * 3 - 8 / 2 % 3;", 9, 0, "6"},
      {"nplurals=9; plural=10 - 4 - 3;", 9, 0, "3"},
      {"nplurals=9; plural=1 ? 0 ? 5 : 6 : 7;", 9, 0, "6"},
      {"nplurals=9; plural=!n + !!n * 2 + (n <= 1) + (n >= 1) * 4;", 9, 2, "276"},
      {"nplurals=2; plural=n == 0 || n == 2 && n != 0;", 2, 3, "1010"},
  };
  for (const auto& c : cases) {
    const PluralForms rule = Parsed(c.field);
    EXPECT_EQ(rule.Count(), c.count) << c.field;
    EXPECT_EQ(Forms(rule, c.upTo), c.forms) << c.field;
  }
}

// Whatever the expression does, the form stays one the catalog has, and a
// count that makes it divide by zero takes the first.
TEST(PluralForms, UnsoundResultsTakeTheFirstForm) {
  const struct {
    const char* field;
    std::uint64_t upTo;
    const char* forms;
  } cases[] = {
      {"nplurals=3; plural=n / 0;", 2, "000"},
      {"nplurals=3; plural=n % (n - n);", 2, "000"},
      {"nplurals=3; plural=2 / (n - 1);", 3, "0021"},  // 1 divides by zero; 0 - 1 wraps around
      {"nplurals=3; plural=n;", 4, "01200"},           // forms 3 and 4 do not exist
      {"nplurals=3; plural=n - 1;", 3, "0012"},        // 0 - 1 wraps around, out of range
      {"nplurals=3; plural=18446744073709551615 * n + 2;", 3, "2100"},
      // C evaluates only what it must, so no division by zero happens here.
      {"nplurals=3; plural=n == 0 ? 1 : 2 / n;", 3, "1210"},
      {"nplurals=3; plural=n != 0 && 2 / n;", 3, "0110"},
      {"nplurals=3; plural=n == 0 || 2 / n == 2;", 3, "1100"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Forms(Parsed(c.field), c.upTo), c.forms) << c.field;
}

// "nplurals=2; plural=" and `expression` nested `depth` times in parentheses.
std::string Nested(int depth, const std::string& expression) {
  return "nplurals=2; plural=" + std::string(depth, '(') + expression + std::string(depth, ')');
}

TEST(PluralForms, MalformedOrUnboundedRulesAreRefused) {
  std::string longChain = "nplurals=2; plural=n";
  while (longChain.size() < PluralForms::kMaxFieldLength - 2)
    longChain += "+n";
  const std::string refused[] = {
      "",
      "nplurals=2;",
      "plural=n != 1;",
      "nplurals=0; plural=0;",
      "nplurals=33; plural=0;",
      "nplurals=18446744073709551616; plural=0;",  // one more than 64 bits hold
      "nplurals=2; plural=;",
      "nplurals=2; plural=n !=;",
      "nplurals=2; plural=(n != 1;",
      "nplurals=2; plural=n != 1);",
      "nplurals=2; plural=-n;",  // no unary minus in plural rules
      "nplurals=2; plural=n = 1;",
      "nplurals=2; plural=n & 1;",
      "nplurals=2; plural=n ? 1;",
      "nplurals=2; plural=nn;",
      "nplurals=2; plural=n != 1; extra=1",
      "nplurals=2; plural=0x10;",
      "nplurals=2; plural=n\x01;",
      "nplurals=2; plural=99999999999999999999;",
      Nested(100000, "n"),  // far too long
      Nested(PluralForms::kMaxDepth, "n"),
      "nplurals=2; plural=" + std::string(PluralForms::kMaxDepth, '!') + "n",
      longChain,  // a tree too deep, without one parenthesis
      "nplurals=2; plural=" + std::string(PluralForms::kMaxFieldLength, ' ') + "n;",
  };
  for (const std::string& field : refused)
    EXPECT_FALSE(PluralForms::Parse(field)) << field.substr(0, 80);
}

// One level less than the refused ones above: the whole expression counts
// as the first level.
TEST(PluralForms, NestingUpToTheLimitIsKept) {
  EXPECT_EQ(Forms(Parsed(Nested(PluralForms::kMaxDepth - 1, "n > 1")), 3), "0011");
  const int nots = PluralForms::kMaxDepth - 1;
  const std::string field = "nplurals=2; plural=" + std::string(nots, '!') + "n;";
  EXPECT_EQ(Forms(Parsed(field), 2), nots % 2 == 0 ? "011" : "100");
}

#if defined(__GLIBC__)
// The rules of the gettext manual and a few odd ones, each evaluated by the C
// library's own ngettext on a catalog that msgfmt makes now, and by ours.
TEST(PluralForms, ChooseAsTheCLibraryDoes) {
  const std::vector<std::string> rules = {
      "nplurals=1; plural=0;",
      "nplurals=2; plural=n != 1;",
      "nplurals=2; plural=n>1;",
      "nplurals=3; plural=n%10==1 && n%100!=11 ? 0 : n != 0 ? 1 : 2;",
      "nplurals=3; plural=n==1 ? 0 : n==2 ? 1 : 2;",
      "nplurals=3; plural=n==1 ? 0 : (n==0 || (n%100 > 0 && n%100 < 20)) ? 1 : 2;",
      "nplurals=3; plural=n%10==1 && n%100!=11 ? 0 : n%10>=2 && (n%100<10 || n%100>=20) ? 1 : 2;",
      "nplurals=3; plural=n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || "
      "n%100>=20) ? 1 : 2;",
      "nplurals=3; plural=(n==1) ? 0 : (n>=2 && n<=4) ? 1 : 2;",
      "nplurals=3; plural=n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2;",
      "nplurals=4; plural=n%100==1 ? 0 : n%100==2 ? 1 : n%100==3 || n%100==4 ? 2 : 3;",
      "nplurals=6; plural=n==0 ? 0 : n==1 ? 1 : n==2 ? 2 : n%100>=3 && n%100<=10 ? 3 : n%100>=11 "
      "? 4 : 5;",
      "nplurals=4; plural=!(n-1) + !!(n/10) + (n*3+7)%2;",
      "nplurals=5; plural=(n - 3) % 7;",
      "nplurals=3; plural=n*n*n*n*n*n*n*n % 5;",
  };
  const char* const locale = std::setlocale(LC_ALL, "C.UTF-8");
  if (locale == nullptr)
    GTEST_SKIP() << "no C.UTF-8 locale, which the C library needs to translate";
  const char* const oldLanguage = std::getenv("LANGUAGE");
  const std::string kept = oldLanguage ? oldLanguage : "";
  setenv("LANGUAGE", "xx", 1);

  const test::TempDir dir;
  const auto folder = dir.Path() / "xx" / "LC_MESSAGES";
  std::filesystem::create_directories(folder);
  std::vector<std::uint64_t> counts;
  for (std::uint64_t n = 0; n <= 2000; ++n)
    counts.push_back(n);
  for (const std::uint64_t n : {UINT64_C(1) << 32, (UINT64_C(1) << 32) + 1, UINT64_MAX - 1,
                                UINT64_MAX, UINT64_C(12345678901234567)}) {
    counts.push_back(n);
  }
  for (size_t r = 0; r < rules.size(); ++r) {
    const PluralForms rule = Parsed(rules[r]);
    const std::string domain = "rule" + std::to_string(r);
    {
      std::ofstream po(dir.Path() / (domain + ".po"));
      po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
         << "\"Plural-Forms: " << rules[r] << "\\n\"\n\nmsgid \"one\"\nmsgid_plural \"many\"\n";
      for (std::uint32_t form = 0; form < rule.Count(); ++form)
        po << "msgstr[" << form << "] \"" << form << "\"\n";
    }
    const std::string command = std::string(ZEPHORA_MSGFMT) + " -o '" +
                                (folder / (domain + ".mo")).string() + "' '" +
                                (dir.Path() / (domain + ".po")).string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    bindtextdomain(domain.c_str(), dir.Path().c_str());
    for (const std::uint64_t n : counts) {
      const std::string theirs = dngettext(domain.c_str(), "one", "many", n);
      ASSERT_EQ(std::to_string(rule.FormFor(n)), theirs) << rules[r] << " for n = " << n;
    }
  }
  if (oldLanguage)
    setenv("LANGUAGE", kept.c_str(), 1);
  else
    unsetenv("LANGUAGE");
  std::setlocale(LC_ALL, "C");
}
#endif

}  // namespace
}  // namespace zephora
