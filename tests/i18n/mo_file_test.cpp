#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "i18n/errors.h"
#include "i18n/mo_file.h"
#include "tests/i18n/catalogs.h"

namespace zephora {
namespace {

using test::CatalogBytes;

std::string Translation(const TMoFile& catalog, const std::string& key) {
  const auto found = catalog.Translate(key);
  return found ? std::string(*found) : std::string("<none>");
}

TEST(MoFile, BothByteOrdersTranslateAlike) {
  const std::string little = CatalogBytes("basic-le.mo"), big = CatalogBytes("basic-be.mo");
  const TMoFile le(little, u"le"), be(big, u"be");
  EXPECT_FALSE(le.Swapped());
  EXPECT_TRUE(be.Swapped());
  for (const char* key :
       {"WAARSCHUWING", "Bent u zeker ?", "line\nbreak", "Caf\xC3\xA9", "absent"}) {
    EXPECT_EQ(Translation(le, key), Translation(be, key)) << key;
  }
  EXPECT_EQ(Translation(be, "WAARSCHUWING"), "OPGELET");
  EXPECT_EQ(Translation(be, "Caf\xC3\xA9"), "Koffiehuis \xE2\x98\x95");
}

TEST(MoFile, BisectionFindsEveryEntryAndNothingBetweenThem) {
  const std::string bytes = CatalogBytes("many.mo");
  const TMoFile catalog(bytes, u"many");
  ASSERT_EQ(catalog.Count(), 201u);  // 200 entries and the header
  for (int i = 0; i < 400; ++i) {
    char key[16], value[16];
    std::snprintf(key, sizeof key, "key%04d", i);
    std::snprintf(value, sizeof value, "value%04d", i);
    EXPECT_EQ(Translation(catalog, key), i % 2 == 0 ? value : "<none>") << key;
  }
  for (const char* key : {"a", "key", "key0398x", "key9", "zzz"}) {
    EXPECT_EQ(Translation(catalog, key), "<none>") << key;
  }
  EXPECT_NE(Translation(catalog, "").find("Content-Type"), std::string::npos);
}

TEST(MoFile, CatalogWithoutStringsTranslatesNothing) {
  const std::string bytes("\xDE\x12\x04\x95\0\0\0\0\0\0\0\0\x1C\0\0\0\x1C\0\0\0\0\0\0\0\x1C\0\0\0",
                          28);
  const TMoFile catalog(bytes, u"empty");
  EXPECT_EQ(catalog.Count(), 0u);
  EXPECT_EQ(Translation(catalog, ""), "<none>");
}

// A little-endian catalog of sorted (key, translation) pairs, as msgfmt lays
// it out but without the hash table.
std::string MoBytes(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string strings;
  const auto word = [](std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
      out += static_cast<char>(value >> shift);
  };
  const auto count = static_cast<std::uint32_t>(entries.size());
  const std::uint32_t stringsAt = 28 + count * 16;
  std::string originals, translations;
  for (const auto& [key, translation] : entries) {
    word(originals, static_cast<std::uint32_t>(key.size()));
    word(originals, stringsAt + static_cast<std::uint32_t>(strings.size()));
    strings += key + '\0';
  }
  for (const auto& [key, translation] : entries) {
    word(translations, static_cast<std::uint32_t>(translation.size()));
    word(translations, stringsAt + static_cast<std::uint32_t>(strings.size()));
    strings += translation + '\0';
  }
  std::string bytes;
  for (const std::uint32_t value : {0x950412DEu, 0u, count, 28u, 28 + count * 8, 0u, stringsAt})
    word(bytes, value);
  return bytes + originals + translations + strings;
}

TEST(MoFile, EmptyTranslationLeavesTheTextAsItIs) {
  const std::string bytes = MoBytes({{"", "Content-Type: text/plain; charset=UTF-8\n"},
                                     {"Connection refused.", ""},
                                     {"Host not found.", "Onbekende server."}});
  const TMoFile catalog(bytes, u"hand-made");
  EXPECT_EQ(Translation(catalog, "Connection refused."), "<none>");
  EXPECT_EQ(Translation(catalog, "Host not found."), "Onbekende server.");
  EXPECT_EQ(Translation(catalog, ""), "Content-Type: text/plain; charset=UTF-8\n");
}

std::string PluralKey(const std::string& singular, const std::string& plural) {
  return singular + '\0' + plural;
}

std::string Plural(const TMoFile& catalog, std::uint64_t n) {
  return std::string(catalog.TranslatePlural("%d file", "%d files", n).value_or("<none>"));
}

// Catalogs no msgfmt would write: the forms come from the source texts' rule
// or from what the entry holds, and a missing form is no translation.
TEST(MoFile, HostilePluralHeadersAndEntries) {
  const std::string forms = std::string("one") + '\0' + "two" + '\0' + "three";
  const std::string deep = std::string(100000, '(') + "n" + std::string(100000, ')');
  const struct {
    const char* name;
    std::string header;
    std::string forms;
    const char* chosen;  // for n = 0, 1, 2, 3
  } cases[] = {
      {"no Plural-Forms", "Content-Type: text/plain; charset=UTF-8\n", forms, "two one two two"},
      {"deeply nested", "Plural-Forms: nplurals=3; plural=" + deep + ";\n", forms,
       "two one two two"},
      {"divides by zero", "Plural-Forms: nplurals=3; plural=2 / (n - 1);\n", forms,
       "one one three two"},
      {"fewer forms than stated", "Plural-Forms: nplurals=3; plural=n;\n",
       std::string("one") + '\0' + "two", "one two <none> one"},
      {"an empty form", "Plural-Forms: nplurals=3; plural=n;\n",
       std::string("one") + '\0' + '\0' + "three", "one <none> three one"},
      {"no NUL at all", "Plural-Forms: nplurals=3; plural=n;\n", "one", "one <none> <none> one"},
  };
  for (const auto& c : cases) {
    const std::string bytes =
        MoBytes({{"", c.header}, {PluralKey("%d file", "%d files"), c.forms}});
    const TMoFile catalog(bytes, u"hostile");
    EXPECT_EQ(Plural(catalog, 0) + " " + Plural(catalog, 1) + " " + Plural(catalog, 2) + " " +
                  Plural(catalog, 3),
              c.chosen)
        << c.name;
  }
}

TEST(MoFile, WrongFirstWordIsRefused) {
  try {
    const TMoFile catalog(std::string("\x95\x04\x12\xDF-not-a-catalog", 19), u"C:\\x\\default.mo");
    FAIL() << "accepted";
  } catch (const ECatalogIOError& error) {
    EXPECT_EQ(error.Message(), u"This file is not a valid GNU gettext mo file: C:\\x\\default.mo");
  }
}

TEST(MoFile, DamagedTablesNeverReadOutsideTheCatalog) {
  std::string bytes = CatalogBytes("basic-le.mo");
  // Point every string of both tables far past the end.
  const auto originals = static_cast<unsigned char>(bytes[12]);
  for (size_t entry = 0; entry < 8; ++entry) {
    bytes[originals + entry * 8 + 4] = '\xFF';
    bytes[originals + entry * 8 + 7] = '\x7F';
  }
  const TMoFile catalog(bytes, u"damaged");
  EXPECT_EQ(Translation(catalog, "WAARSCHUWING"), "<none>");
  // A table offset beyond the file, and a count far beyond the table.
  bytes[8] = '\xFF', bytes[9] = '\xFF', bytes[10] = '\xFF', bytes[11] = '\xFF';
  bytes[16] = '\xF0', bytes[19] = '\x7F';
  const TMoFile huge(bytes, u"huge");
  EXPECT_EQ(Translation(huge, "WAARSCHUWING"), "<none>");
}

}  // namespace
}  // namespace zephora
