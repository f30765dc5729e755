#include "transfer/zip/archive_reader.h"

#include <bzlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "platform/file.h"
#include "tests/support/test_support.h"
#include "transfer/zip/decoder.h"
#include "transfer/zip/unzipper.h"

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
      {"unicode path field", raw, 0, Field(0x7075, "\x01" + Le32(crc) + "ok-\xcf\x80"), u"ok-π"},
      {"unicode path field with stale CRC", raw, 0,
       Field(0x7075, "\x01" + Le32(crc ^ 1) + "ok-\xcf\x80"), u"café.txt"},
      {"unicode path field of version 2", raw, 0, Field(0x7075, "\x02" + Le32(crc) + "ok-x"),
       u"café.txt"},
      {"unicode path field too short", raw, 0, Field(0x7075, "\x01" + Le32(crc) + "x"),
       u"café.txt"},
      {"NUCX field", raw, 0, Field(0x554E, nucx), u"ΩΨ"},
      {"NUCX field of wrong size", raw, 0, Field(0x554E, nucx + "zz"), u"café.txt"},
      {"field after another", raw, 0, Field(0x5455, "\x01\0\0\0\0") + Field(0x554E, nucx), u"ΩΨ"},
      {"truncated extra", raw, 0, Le16(0x554E) + Le16(40) + "NUCX", u"café.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeEntryName(c.raw, c.flags, c.extra), c.name) << c.what;
  }
}

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

// ---- decoders fed whole and one byte at a time

struct Decoded {
  std::string data;
  bool ok = false;
  std::string error;
};

Decoded RunDecoder(Decoder& decoder, const std::string& input, std::size_t inStep,
                   std::size_t outStep) {
  Decoded out;
  std::size_t at = 0;
  std::vector<std::uint8_t> buffer(outStep);
  for (int stalls = 0; stalls < 4;) {
    const std::size_t take = std::min(inStep, input.size() - at);
    const DecodeResult r =
        decoder.Decode(std::span(reinterpret_cast<const std::uint8_t*>(input.data()) + at, take),
                       at + take == input.size(), std::span(buffer));
    if (r.status == DecodeStatus::Error) {
      out.error = decoder.ErrorMessage();
      return out;
    }
    at += r.consumed;
    out.data.append(reinterpret_cast<const char*>(buffer.data()), r.produced);
    if (r.status == DecodeStatus::Done) {
      out.ok = true;
      return out;
    }
    stalls = r.consumed == 0 && r.produced == 0 ? stalls + 1 : 0;
  }
  out.error = "stalled";
  return out;
}

std::string Sample() {
  std::string text;
  for (int i = 0; i < 3000; ++i)
    text += "line " + std::to_string(i * 7919 % 1000) + " of text\n";
  return text;
}

std::string RawDeflate(const std::string& plain) {
  z_stream s{};
  deflateInit2(&s, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(compressBound(static_cast<uLong>(plain.size())) + 64, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  s.avail_in = static_cast<uInt>(plain.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::string Bzip2(const std::string& plain) {
  std::string out(plain.size() + plain.size() / 100 + 700, '\0');
  unsigned size = static_cast<unsigned>(out.size());
  BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(plain.data()),
                           static_cast<unsigned>(plain.size()), 9, 0, 0);
  out.resize(size);
  return out;
}

TEST(LibraryDecoders, DecodeWholeAndOneByteAtATime) {
  const std::string plain = Sample();
  struct Case {
    std::uint16_t method;
    std::string compressed;
  };
  const Case cases[] = {{0, plain}, {8, RawDeflate(plain)}, {12, Bzip2(plain)}};
  for (const Case& c : cases) {
    for (const auto& [inStep, outStep] :
         {std::pair<std::size_t, std::size_t>{1 << 20, 1 << 20}, {1, 1}, {1, 4096}, {7, 3}}) {
      auto decoder = MakeDecoder({c.method, 0, c.compressed.size(), plain.size()});
      ASSERT_NE(decoder, nullptr) << c.method;
      const Decoded d = RunDecoder(*decoder, c.compressed, inStep, outStep);
      EXPECT_TRUE(d.ok) << c.method << " " << inStep << "/" << outStep << ": " << d.error;
      EXPECT_TRUE(d.data == plain) << c.method << " " << inStep << "/" << outStep;
    }
  }
}

TEST(LibraryDecoders, TruncatedOrDamagedDataFails) {
  const std::string plain = Sample();
  for (std::uint16_t method : {0, 8, 12}) {
    std::string compressed = method == 0 ? plain : method == 8 ? RawDeflate(plain) : Bzip2(plain);
    auto decoder = MakeDecoder({method, 0, compressed.size(), plain.size()});
    const Decoded cut =
        RunDecoder(*decoder, compressed.substr(0, compressed.size() / 2), 1000, 1000);
    EXPECT_FALSE(cut.ok) << method;
    if (method == 0)
      continue;
    for (std::size_t i = 10; i < compressed.size(); i += 97)
      compressed[i] ^= 0x55;
    decoder = MakeDecoder({method, 0, compressed.size(), plain.size()});
    const Decoded damaged = RunDecoder(*decoder, compressed, 1000, 1000);
    EXPECT_TRUE(!damaged.ok || damaged.data != plain) << method;
  }
  EXPECT_EQ(MakeDecoder({7, 0, 10, 10}), nullptr);
  EXPECT_EQ(MakeDecoder({96, 0, 10, 10}), nullptr);
}

// The raw data of an entry of a fixture archive, with what it decodes to.
struct EntryData {
  CentralEntry entry;
  std::string compressed;
};

std::vector<EntryData> ArchiveEntries(const std::string& fixture) {
  const std::string bytes =
      test::ReadFile(test::HostPath(std::string(ZEPHORA_ZIP_FIXTURES) + "/" + fixture));
  MemorySource source(bytes.data(), bytes.size());
  EndRecord end;
  std::vector<CentralEntry> entries;
  std::vector<EntryData> out;
  if (!FindEndRecord(source, end).Ok() || !ReadCentralDirectory(source, end, entries).Ok()) {
    ADD_FAILURE() << fixture;
    return out;
  }
  for (const CentralEntry& entry : entries) {
    std::uint64_t offset = 0;
    if (!LocateEntryData(source, entry, offset).Ok())
      continue;
    out.push_back({entry, bytes.substr(static_cast<std::size_t>(offset),
                                       static_cast<std::size_t>(entry.compressedSize))});
  }
  return out;
}

TEST(LibraryDecoders, ArchiveEntriesDecodeWholeAndOneByteAtATime) {
  for (const char* fixture : {"made/7z-lzma.zip", "made/infozip-bzip2.zip", "made/7z-deflate.zip",
                              "made/infozip-zip64.zip", "made/wavpack.zip"}) {
    for (const EntryData& e : ArchiveEntries(fixture)) {
      if (e.entry.uncompressedSize == 0 || e.entry.uncompressedSize > 150000)
        continue;
      for (std::size_t step : {std::size_t{1} << 20, std::size_t{1}}) {
        auto decoder = MakeDecoder(
            {e.entry.method, e.entry.flags, e.entry.compressedSize, e.entry.uncompressedSize});
        ASSERT_NE(decoder, nullptr);
        const Decoded d = RunDecoder(*decoder, e.compressed, step, step == 1 ? 1 : 1 << 20);
        EXPECT_TRUE(d.ok) << fixture << " " << ToUtf8(e.entry.name) << ": " << d.error;
        EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(d.data.data()),
                        static_cast<uInt>(d.data.size())),
                  e.entry.crc32)
            << fixture << " " << ToUtf8(e.entry.name) << " step " << step;
      }
    }
  }
}

// Found by fuzzing: liblzma allocates the declared dictionary, 4 GiB here.
TEST(LibraryDecoders, LzmaDictionaryIsBoundedByTheEntrySize) {
  for (const EntryData& e : ArchiveEntries("made/7z-lzma.zip")) {
    if (e.entry.uncompressedSize == 0)
      continue;
    std::string compressed = e.compressed;
    compressed.replace(5, 4, "\xff\xff\xff\xff");
    auto decoder = MakeDecoder(
        {e.entry.method, e.entry.flags, e.entry.compressedSize, e.entry.uncompressedSize});
    const Decoded d = RunDecoder(*decoder, compressed, 1 << 20, 1 << 20);
    EXPECT_TRUE(d.ok) << ToUtf8(e.entry.name) << ": " << d.error;
    EXPECT_EQ(d.data.size(), e.entry.uncompressedSize) << ToUtf8(e.entry.name);
  }
}

TEST(LibraryDecoders, CutOrDamagedArchiveEntriesFail) {
  for (const char* fixture : {"made/7z-lzma.zip", "made/wavpack.zip", "made/infozip-bzip2.zip"}) {
    for (const EntryData& e : ArchiveEntries(fixture)) {
      if (e.entry.uncompressedSize < 1000)
        continue;
      auto decoder = MakeDecoder(
          {e.entry.method, e.entry.flags, e.entry.compressedSize, e.entry.uncompressedSize});
      const Decoded cut =
          RunDecoder(*decoder, e.compressed.substr(0, e.compressed.size() / 2), 4096, 4096);
      EXPECT_FALSE(cut.ok && cut.data.size() == e.entry.uncompressedSize)
          << fixture << " " << ToUtf8(e.entry.name);
      EXPECT_FALSE(cut.error.empty()) << fixture << " " << ToUtf8(e.entry.name);
    }
  }
}

}  // namespace
}  // namespace zephora::zip
