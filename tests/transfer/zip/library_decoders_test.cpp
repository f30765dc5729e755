// The decoders built on the codec libraries, through the one dispatch on the
// method number: fed whole and one byte at a time, on data the libraries
// make here and on the entries of archives that other tools made.
#include <bzlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/support/test_support.h"
#include "tests/transfer/zip/decoder_harness.h"
#include "transfer/zip/archive_reader.h"
#include "transfer/zip/crc32.h"
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

std::uint32_t ZlibCrc(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(crc32_z(0, bytes.data(), bytes.size()));
}

// The fast CRC takes other code paths for short pieces, for the bytes
// before an aligned block and for the rest after it; each must give what
// zlib gives.
TEST(Crc32, AgreesWithZlibWholeAndInPieces) {
  std::vector<std::uint8_t> bytes(70000);
  std::uint32_t seed = 1;
  for (std::uint8_t& b : bytes) {
    seed = seed * 1103515245 + 12345;
    b = static_cast<std::uint8_t>(seed >> 23);
  }
  const std::span<const std::uint8_t> all(bytes);
  EXPECT_EQ(UpdateCrc32(0, {}), 0u);
  EXPECT_EQ(UpdateCrc32(0, Bytes("123456789")), 0xCBF43926u);  // the check value
  for (std::size_t offset : {0, 1, 7, 13}) {
    for (std::size_t size :
         {1, 3, 15, 16, 17, 31, 63, 64, 65, 127, 255, 256, 257, 1023, 4096, 4099, 65536, 69000}) {
      const auto piece = all.subspan(offset, size);
      EXPECT_EQ(UpdateCrc32(0, piece), ZlibCrc(piece)) << offset << "+" << size;
    }
  }
  for (std::size_t step : {1, 5, 64, 1000, 4096}) {
    std::uint32_t crc = 0;
    for (std::size_t at = 0; at < all.size(); at += step)
      crc = UpdateCrc32(crc, all.subspan(at, std::min(step, all.size() - at)));
    EXPECT_EQ(crc, ZlibCrc(all)) << "step " << step;
  }
}

// One stream with every kind of block: stored, fixed Huffman codes and
// dynamic ones, and matches reaching back the whole 32 KiB window.
std::string EveryBlockKind(const std::string& plain) {
  z_stream s{};
  deflateInit2(&s, 0, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(2 * plain.size() + 1024, '\0');
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  const std::size_t third = plain.size() / 3;
  const auto feed = [&](std::size_t from, std::size_t count, int flush) {
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data() + from));
    s.avail_in = static_cast<uInt>(count);
    deflate(&s, flush);
  };
  feed(0, third, Z_FULL_FLUSH);
  deflateParams(&s, 6, Z_FIXED);
  feed(third, third, Z_FULL_FLUSH);
  deflateParams(&s, 9, Z_DEFAULT_STRATEGY);
  feed(2 * third, plain.size() - 2 * third, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

TEST(DeflateDecoder, EveryBlockKindAndTheWholeWindow) {
  std::string plain;
  std::uint32_t seed = 5;
  std::string block(32768 - 7, '\0');
  for (char& c : block) {
    seed = seed * 1103515245 + 12345;
    c = static_cast<char>('a' + (seed >> 16) % 20);
  }
  // Each repetition lies just inside the window behind the one before.
  for (int i = 0; i < 3; ++i)
    plain += block + "#" + std::to_string(i) + "#";
  plain += Sample();
  const std::string compressed = EveryBlockKind(plain);
  ASSERT_LT(compressed.size(), plain.size() * 3 / 4);
  for (const auto& [inStep, outStep] :
       {std::pair<std::size_t, std::size_t>{1 << 20, 1 << 20}, {1, 1}, {3, 65536}, {65536, 7}}) {
    const Decoded d =
        RunDecoder({8, 0, compressed.size(), plain.size()}, Bytes(compressed), inStep, outStep);
    EXPECT_EQ(d.status, DecodeStatus::Done) << inStep << "/" << outStep << ": " << d.message;
    EXPECT_TRUE(d.bytes == plain) << inStep << "/" << outStep;
  }
}

// Bytes after the end of the stream (a ZIP entry's compressed size may
// cover more than the stream) are neither decoded nor an error.
TEST(DeflateDecoder, EndsWhereTheStreamEnds) {
  const std::string plain = Sample();
  const std::string compressed = RawDeflate(plain) + "trailing bytes";
  for (std::size_t step : {std::size_t{1} << 20, std::size_t{1}}) {
    const Decoded d =
        RunDecoder({8, 0, compressed.size(), plain.size()}, Bytes(compressed), step, step);
    EXPECT_EQ(d.status, DecodeStatus::Done) << step << ": " << d.message;
    EXPECT_TRUE(d.bytes == plain) << step;
  }
}

TEST(DeflateDecoder, SaysWhatIsWrongAndWhere) {
  struct Case {
    std::string stream;
    std::string message;
  };
  const std::string cut = RawDeflate(Sample()).substr(0, 100);
  const Case cases[] = {
      // Block type 3 does not exist.
      {"\x07", "deflate data damaged before input byte 1: invalid block"},
      // A stored block whose length and its complement disagree; the
      // decoder reads eight bytes at a time.
      {std::string("\x01\x05\x00\xfa\xfe", 5) + "hello",
       "deflate data damaged before input byte 8: invalid block"},
      // Fixed codes: a match of length 3, distance 1, before any literal.
      {std::string("\x03\x02\x00", 3),
       "deflate data damaged before input byte 3: distance too far back"},
      {cut, "deflate data ends early at input byte 100"},
  };
  for (const Case& c : cases) {
    const Decoded d =
        RunDecoder({8, 0, c.stream.size(), 1 << 20}, Bytes(c.stream), 1 << 20, 1 << 20);
    EXPECT_EQ(d.status, DecodeStatus::Error) << c.message;
    EXPECT_EQ(d.message, c.message);
  }
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
