#include "transfer/zip/archive_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/file.h"
#include "tests/support/test_support.h"

namespace zephora::zip {
namespace {

std::string Le16(unsigned v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string Le32(std::uint32_t v) {
  return Le16(v & 0xFFFF) + Le16(v >> 16);
}

std::string EndBytes(unsigned disk, unsigned count, std::uint32_t size, std::uint32_t offset,
                     const std::string& comment, unsigned commentLength) {
  return "PK\x05\x06" + Le16(disk) + Le16(disk) + Le16(count) + Le16(count) + Le32(size) +
         Le32(offset) + Le16(commentLength) + comment;
}

ParseStatus Find(const std::string& bytes, EndRecord* out = nullptr) {
  MemorySource source(bytes.data(), bytes.size());
  EndRecord end;
  const ParseError error = FindEndRecord(source, end);
  if (out != nullptr)
    *out = end;
  return error.status;
}

TEST(FindEndRecord, RecognisesByTheRulesForCommentsAndMarkers) {
  const std::string empty = EndBytes(0, 0, 0, 0, "", 0);
  struct Case {
    const char* what;
    std::string bytes;
    ParseStatus status;
  };
  const Case cases[] = {
      {"bare 22-byte archive", empty, ParseStatus::Ok},
      {"comment that fits", "junk" + EndBytes(0, 0, 0, 4, "hello", 5), ParseStatus::Ok},
      {"comment shorter than declared", EndBytes(0, 0, 0, 0, "hi", 9), ParseStatus::NotZip},
      {"comment longer than declared is ignored", EndBytes(0, 0, 0, 0, "hello", 2),
       ParseStatus::Ok},
      {"too short", std::string("PK\x05\x06", 4) + "abc", ParseStatus::NotZip},
      {"html page", "<html><body>Not Found</body></html>" + std::string(40, ' '),
       ParseStatus::NotZip},
      {"split marker", std::string("PK\x07\x08", 4) + empty, ParseStatus::MultiPart},
      {"disk 1", EndBytes(1, 0, 0, 0, "", 0), ParseStatus::MultiPart},
      {"empty file", "", ParseStatus::NotZip},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Find(c.bytes), c.status) << c.what;
}

TEST(FindEndRecord, TriesTheRecordWithoutCommentFirst) {
  // A comment that itself holds a record signature.
  const std::string inner = EndBytes(0, 7, 0, 0, "", 0);
  const std::string bytes = EndBytes(0, 3, 0, 0, inner, 22);
  EndRecord end;
  ASSERT_EQ(Find(bytes, &end), ParseStatus::Ok);
  EXPECT_EQ(end.entryCount, 7u);
  EXPECT_EQ(end.position, 22u);
  // Without the trailing record, the one further back counts.
  ASSERT_EQ(Find(bytes.substr(0, 22) + "x", &end), ParseStatus::NotZip);
}

TEST(FileSource, ReadsAsTheBytesAreAcrossItsWindow) {
  test::TempDir dir;
  std::string bytes(300000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(i * 7 + i / 251);
  test::WriteFile(dir / "data.bin", bytes);
  File file;
  ASSERT_EQ(file.Open(test::ToText(dir / "data.bin"), FileMode::ReadShareReadWrite), 0);
  FileSource source(file, bytes.size());
  // Small reads inside, across and after the window, large direct reads,
  // and reads past the end.
  const std::pair<std::uint64_t, std::size_t> reads[] = {
      {0, 30},         {30, 100},      {65530, 10},  {65536, 4},   {10, 65536},
      {100000, 1},     {99999, 3},     {0, 300000},  {299990, 10}, {299999, 1},
      {131072, 65535}, {131073, 2000}, {299990, 11}, {300000, 1},  {300001, 0}};
  for (const auto& [offset, size] : reads) {
    std::string out(size, '\x55');
    const bool inside = offset <= bytes.size() && size <= bytes.size() - offset;
    EXPECT_EQ(source.ReadAt(offset, out.data(), size), inside) << offset << "+" << size;
    if (inside) {
      EXPECT_TRUE(out == bytes.substr(offset, size)) << offset << "+" << size;
    }
  }
}

std::string CentralHeader(const std::string& name, std::uint32_t offset,
                          const std::string& extra = "", std::uint32_t sizes = 3) {
  return "PK\x01\x02" + Le16(0x0314) + Le16(20) + Le16(0) + Le16(0) + Le16(0) + Le16(0x21) +
         Le32(0) + Le32(sizes) + Le32(sizes) + Le16(static_cast<unsigned>(name.size())) +
         Le16(static_cast<unsigned>(extra.size())) + Le16(0) + Le16(0) + Le16(0) +
         Le32(0x81A40000) + Le32(offset) + name + extra;
}

TEST(ReadCentralDirectory, ReadsEntriesInOrderAndAppliesZip64Sizes) {
  const std::string zip64 = Le16(1) + Le16(24) + std::string("\x05\0\0\0\1\0\0\0", 8) +
                            std::string("\x04\0\0\0\0\0\0\0", 8) + std::string(8, '\0');
  const std::string directory =
      CentralHeader("b/", 0, "", 0) + CentralHeader("a.txt", 0xFFFFFFFF, zip64, 0xFFFFFFFF);
  const std::string bytes =
      directory + EndBytes(0, 2, static_cast<std::uint32_t>(directory.size()), 0, "", 0);
  MemorySource source(bytes.data(), bytes.size());
  EndRecord end;
  ASSERT_TRUE(FindEndRecord(source, end).Ok());
  std::vector<CentralEntry> entries;
  ASSERT_TRUE(ReadCentralDirectory(source, end, entries).Ok());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_EQ(entries[1].name, u"a.txt");
  EXPECT_FALSE(entries[1].isDirectory);
  EXPECT_EQ(entries[1].uncompressedSize, 0x100000005u);
  EXPECT_EQ(entries[1].compressedSize, 4u);
  EXPECT_EQ(entries[1].localHeaderOffset, 0u);
  EXPECT_EQ(entries[1].externalAttributes, 0x81A40000u);
}

TEST(ReadCentralDirectory, DirectoryNotWhereTheEndRecordPlacesItFails) {
  const std::string directory = CentralHeader("a.txt", 0);
  const auto size = static_cast<std::uint32_t>(directory.size());
  for (std::uint32_t offset : {1u, 100u, 0xFFFFFF00u}) {
    const std::string bytes = directory + EndBytes(0, 1, size, offset, "", 0);
    MemorySource source(bytes.data(), bytes.size());
    EndRecord end;
    ASSERT_TRUE(FindEndRecord(source, end).Ok());
    std::vector<CentralEntry> entries;
    EXPECT_EQ(ReadCentralDirectory(source, end, entries).status, ParseStatus::BadDirectory)
        << offset;
  }
  // More entries declared than there are headers.
  const std::string bytes = directory + EndBytes(0, 2, size, 0, "", 0);
  MemorySource source(bytes.data(), bytes.size());
  EndRecord end;
  ASSERT_TRUE(FindEndRecord(source, end).Ok());
  std::vector<CentralEntry> entries;
  const ParseError error = ReadCentralDirectory(source, end, entries);
  EXPECT_EQ(error.status, ParseStatus::BadDirectory);
  EXPECT_EQ(error.offset, directory.size());
}

std::string Field(unsigned id, const std::string& data) {
  return Le16(id) + Le16(static_cast<unsigned>(data.size())) + data;
}

// The Unicode path field: version, CRC-32 of the stored name, UTF-8 name.
std::string UnicodePathField(char version, std::uint32_t crc, const std::string& name) {
  return Field(0x7075, std::string(1, version) + Le32(crc) + name);
}

TEST(DecodeEntryName, AppliesTheFirstRuleThatFits) {
  const std::string raw = "caf\x82.txt";
  const std::uint32_t crc =
      static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(raw.data()), 8));
  const std::string nucx = "NUCX" + Le16(2) + Le16(0) + Le16(0x3A9) + Le16(0x3A8);
  struct Case {
    const char* what;
    std::string raw;
    std::uint16_t flags;
    std::string extra;
    Text name;
  };
  const Case cases[] = {
      {"flag 11", "\xc3\xa9t\xc3\xa9", 0x800, "", u"été"},
      {"valid UTF-8 with high bytes", "\xc3\xa9t\xc3\xa9", 0, "", u"été"},
      {"plain ASCII", "readme.txt", 0, "", u"readme.txt"},
      {"code page 437", raw, 0, "", u"café.txt"},
      {"unicode path field", raw, 0, UnicodePathField(1, crc, "ok-\xcf\x80"), u"ok-π"},
      {"unicode path field with stale CRC", raw, 0, UnicodePathField(1, crc ^ 1, "ok-\xcf\x80"),
       u"café.txt"},
      {"unicode path field of version 2", raw, 0, UnicodePathField(2, crc, "ok-x"), u"café.txt"},
      {"unicode path field too short", raw, 0, UnicodePathField(1, crc, "x"), u"café.txt"},
      {"NUCX field", raw, 0, Field(0x554E, nucx), u"ΩΨ"},
      {"NUCX field of wrong size", raw, 0, Field(0x554E, nucx + "zz"), u"café.txt"},
      {"field after another", raw, 0, Field(0x5455, "\x01\0\0\0\0") + Field(0x554E, nucx), u"ΩΨ"},
      {"truncated extra", raw, 0, Le16(0x554E) + Le16(40) + "NUCX", u"café.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeEntryName(c.raw, c.flags, c.extra), c.name) << c.what;
  }
}

}  // namespace
}  // namespace zephora::zip
