// The decoders built on the codec libraries, through the one dispatch on the
// method number: fed whole and one byte at a time, on data the libraries
// make here and on the entries of archives that other tools made.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/support/test_support.h"
#include "tests/transfer/zip/decoder_harness.h"
#include "transfer/zip/archive_reader.h"
#include "transfer/zip/decoder.h"

namespace zephora::zip {
namespace {

using test::Bytes;
using test::Decoded;
using test::RunDecoder;

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
      const Decoded d = RunDecoder({c.method, 0, c.compressed.size(), plain.size()},
                                   Bytes(c.compressed), inStep, outStep);
      EXPECT_EQ(d.status, DecodeStatus::Done)
          << c.method << " " << inStep << "/" << outStep << ": " << d.message;
      EXPECT_TRUE(d.bytes == plain) << c.method << " " << inStep << "/" << outStep;
    }
  }
}

TEST(LibraryDecoders, TruncatedOrDamagedDataFails) {
  const std::string plain = Sample();
  for (std::uint16_t method : {0, 8, 12}) {
    std::string compressed = method == 0 ? plain : method == 8 ? RawDeflate(plain) : Bzip2(plain);
    const DecoderParams params{method, 0, compressed.size(), plain.size()};
    const Decoded cut =
        RunDecoder(params, Bytes(compressed).first(compressed.size() / 2), 1000, 1000);
    EXPECT_NE(cut.status, DecodeStatus::Done) << method;
    if (method == 0)
      continue;
    for (std::size_t i = 10; i < compressed.size(); i += 97)
      compressed[i] ^= 0x55;
    const Decoded damaged = RunDecoder(params, Bytes(compressed), 1000, 1000);
    EXPECT_TRUE(damaged.status != DecodeStatus::Done || damaged.bytes != plain) << method;
  }
  EXPECT_EQ(MakeDecoder({7, 0, 10, 10}), nullptr);
  EXPECT_EQ(MakeDecoder({96, 0, 10, 10}), nullptr);
}

// The raw data of an entry of a fixture archive, with what it decodes to.
struct EntryData {
  CentralEntry entry;
  std::string compressed;

  DecoderParams Params() const {
    return {entry.method, entry.flags, entry.compressedSize, entry.uncompressedSize};
  }
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
        const Decoded d =
            RunDecoder(e.Params(), Bytes(e.compressed), step, step == 1 ? 1 : 1 << 20);
        EXPECT_EQ(d.status, DecodeStatus::Done)
            << fixture << " " << ToUtf8(e.entry.name) << ": " << d.message;
        EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(d.bytes.data()),
                        static_cast<uInt>(d.bytes.size())),
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
    const Decoded d = RunDecoder(e.Params(), Bytes(compressed), 1 << 20, 1 << 20);
    EXPECT_EQ(d.status, DecodeStatus::Done) << ToUtf8(e.entry.name) << ": " << d.message;
    EXPECT_EQ(d.bytes.size(), e.entry.uncompressedSize) << ToUtf8(e.entry.name);
  }
}

TEST(LibraryDecoders, CutOrDamagedArchiveEntriesFail) {
  for (const char* fixture : {"made/7z-lzma.zip", "made/wavpack.zip", "made/infozip-bzip2.zip"}) {
    for (const EntryData& e : ArchiveEntries(fixture)) {
      if (e.entry.uncompressedSize < 1000)
        continue;
      const Decoded cut =
          RunDecoder(e.Params(), Bytes(e.compressed).first(e.compressed.size() / 2), 4096, 4096);
      EXPECT_FALSE(cut.status == DecodeStatus::Done && cut.bytes.size() == e.entry.uncompressedSize)
          << fixture << " " << ToUtf8(e.entry.name);
      EXPECT_FALSE(cut.message.empty()) << fixture << " " << ToUtf8(e.entry.name);
    }
  }
}

}  // namespace
}  // namespace zephora::zip
