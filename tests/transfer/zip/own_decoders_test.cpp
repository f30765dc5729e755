// The decoders we write ourselves, proved against archives that other tools
// made: the collected real archives and archives 7z makes at build time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/transfer/zip/decoder_harness.h"
#include "tests/transfer/zip/zip_member_reader.h"
#include "transfer/zip/decoder.h"

namespace zephora::zip {
namespace {

using test::Decoded;
using test::ZipMember;

std::filesystem::path MethodsArchive(const std::string& name) {
  return test::HostPath(std::string(ZEPHORA_ZIP_METHODS_DIR) + "/" + name);
}

std::filesystem::path FreshArchive(const std::string& name) {
  return test::HostPath(std::string(ZEPHORA_FRESH_ZIP_DIR) + "/" + name);
}

Decoded RunMember(const ZipMember& member, std::size_t inStep, std::size_t outStep) {
  return test::RunDecoder(
      {member.method, member.flags, member.data.size(), member.uncompressedSize}, member.data,
      inStep, outStep);
}

std::uint32_t Crc(const std::string& bytes) {
  return test::Crc32(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// One archive and the methods of it that a test decodes.
struct ArchiveCase {
  const char* file;
  int firstMethod;
  int lastMethod;
  int entries;  // how many entries of those methods it holds
};

// Decodes every member of the methods, whole and one byte at a time both
// ways, and checks the CRC-32 and size that the central directory records.
void ExpectArchivesDecode(const std::vector<ArchiveCase>& cases) {
  for (const ArchiveCase& archive : cases) {
    SCOPED_TRACE(archive.file);
    int decoded = 0;
    for (const ZipMember& member : test::ReadZipMembers(MethodsArchive(archive.file))) {
      if (member.method < archive.firstMethod || member.method > archive.lastMethod)
        continue;
      SCOPED_TRACE(member.name);
      ++decoded;
      const Decoded whole = RunMember(member, member.data.size() + 1, 1 << 16);
      ASSERT_EQ(whole.status, DecodeStatus::Done) << whole.message;
      EXPECT_EQ(whole.bytes.size(), member.uncompressedSize);
      EXPECT_EQ(Crc(whole.bytes), member.crc);
      const Decoded bytewise = RunMember(member, 1, 1);
      ASSERT_EQ(bytewise.status, DecodeStatus::Done) << bytewise.message;
      EXPECT_TRUE(bytewise.bytes == whole.bytes);
    }
    EXPECT_EQ(decoded, archive.entries);
  }
}

// Damaged data never crashes or hangs: cut short it fails, and with a flipped
// bit it fails or yields bytes whose CRC-32 gives the damage away.
void ExpectDamageCaught(const ZipMember& member, std::size_t maxFlips) {
  const Decoded good = RunMember(member, member.data.size() + 1, 1 << 16);
  ASSERT_EQ(good.status, DecodeStatus::Done) << good.message;
  for (std::size_t cut : {std::size_t{0}, member.data.size() / 2, member.data.size() - 1}) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    ZipMember shortened = member;
    shortened.data.resize(cut);
    for (std::size_t step : {std::size_t{1}, std::size_t{1} << 20}) {
      const Decoded result = RunMember(shortened, step, step);
      if (result.status == DecodeStatus::Done) {
        // A range coder's last byte may carry nothing the output needs.
        if (cut + 1 < member.data.size()) {
          EXPECT_NE(Crc(result.bytes), member.crc);
        }
      } else {
        EXPECT_EQ(result.status, DecodeStatus::Error);
        EXPECT_NE(result.message, "stalled");
        EXPECT_NE(result.message.find(" at offset "), std::string::npos) << result.message;
      }
    }
  }
  const std::size_t bits = member.data.size() * 8;
  const std::size_t stride = std::max<std::size_t>(1, bits / maxFlips);
  for (std::size_t bit = 0; bit < bits; bit += stride) {
    ZipMember flipped = member;
    flipped.data[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    const Decoded result = RunMember(flipped, 1 << 20, 1 << 16);
    if (result.status == DecodeStatus::Done) {
      EXPECT_LE(result.bytes.size(), std::max<std::size_t>(member.uncompressedSize, 1 << 20));
    } else {
      EXPECT_NE(result.message, "stalled") << "bit " << bit;
    }
  }
}

ZipMember FirstMember(const std::string& file, int method) {
  for (ZipMember& member : test::ReadZipMembers(MethodsArchive(file))) {
    if (member.method == method)
      return member;
  }
  ADD_FAILURE() << "no member of method " << method << " in " << file;
  return {};
}

ZipMember RawMember(int method, std::vector<std::uint8_t> data, std::uint64_t size,
                    std::uint16_t flags = 0) {
  ZipMember member;
  member.method = static_cast<std::uint16_t>(method);
  member.flags = flags;
  member.uncompressedSize = size;
  member.data = std::move(data);
  return member;
}

// Archives 7z made at build time from known inputs: every member must give
// back its input file byte for byte.
void ExpectFreshArchivesDecode(const std::vector<std::string>& archives, int method) {
  for (const std::string& archive : archives) {
    SCOPED_TRACE(archive);
    int decoded = 0;
    for (const ZipMember& member : test::ReadZipMembers(FreshArchive(archive))) {
      SCOPED_TRACE(member.name);
      const std::string input = test::ReadFile(FreshArchive("inputs/" + member.name));
      if (member.method != method) {
        EXPECT_EQ(member.method, 0);  // 7z stores what it cannot shrink
        continue;
      }
      ++decoded;
      const Decoded whole = RunMember(member, member.data.size() + 1, 1 << 16);
      ASSERT_EQ(whole.status, DecodeStatus::Done) << whole.message;
      EXPECT_TRUE(whole.bytes == input);
      EXPECT_EQ(Crc(whole.bytes), member.crc);
      const Decoded bytewise = RunMember(member, 1, 1);
      ASSERT_EQ(bytewise.status, DecodeStatus::Done) << bytewise.message;
      EXPECT_TRUE(bytewise.bytes == input);
      const Decoded uneven = RunMember(member, 777, 1001);
      ASSERT_EQ(uneven.status, DecodeStatus::Done) << uneven.message;
      EXPECT_TRUE(uneven.bytes == input);
    }
    EXPECT_GE(decoded, 2);
  }
}

// ---------------------------------------------------------------- Deflate64

TEST(Deflate64Decoder, DecodesArchivesOfOtherTools) {
  ExpectArchivesDecode({
      {"adamhathcock_sharpcompress/Zip.deflate64.zip", 9, 9, 3},
      {"apache_commons-compress/lorem-ipsum-deflate64.zip", 9, 9, 1},
      {"apache_commons-compress/COMPRESS-380.zip", 9, 9, 1},
      {"apache_commons-compress/COMPRESS-380-dd.zip", 9, 9, 1},
      {"apache_commons-compress/COMPRESS-380-readbeyondmemory.zip", 9, 9, 1},
      {"corkami_pocs/deflate64.zip", 9, 9, 1},
      {"overlookmotel_yauzl-deflate64/test.zip", 9, 9, 1},
      {"zip-rs_zip2/deflate64.zip", 9, 9, 1},
  });
}

TEST(Deflate64Decoder, DecodesArchivesOf7zAtEveryPieceSize) {
  ExpectFreshArchivesDecode({"deflate64-x5.zip", "deflate64-x9.zip"}, 9);
}

TEST(Deflate64Decoder, LengthCode285CarriesSixteenExtraBits) {
  // Hand-made: a zero byte, then one match of 65538 bytes at distance 1. Its
  // recorded CRC-32 is wrong on purpose, so check the bytes.
  const ZipMember member = FirstMember("anatawa12_deflate64-rs/65538_max_length.zip", 9);
  for (std::size_t step : {std::size_t{1}, std::size_t{1} << 20}) {
    const Decoded result = RunMember(member, step, step);
    ASSERT_EQ(result.status, DecodeStatus::Done) << result.message;
    EXPECT_TRUE(result.bytes == std::string(65539, '\0'));
  }
}

TEST(Deflate64Decoder, ReportsDamageWithItsOffset) {
  struct Case {
    std::vector<std::uint8_t> data;
    const char* message;
  };
  const Case cases[] = {
      {{0x07}, "Invalid Deflate64 block type at offset 0"},
      {{0x01, 0x05, 0x00, 0xfb, 0xff}, "Invalid Deflate64 stored block length at offset 1"},
      {{0x01, 0x05, 0x00, 0xfa, 0xff, 'a', 'b'}, "Deflate64 data ends early at offset 7"},
      // A fixed block whose first code is a match: nothing to copy from.
      {{0x03, 0x02}, "Deflate64 distance too far back at offset 1"},
      {{}, "Deflate64 data ends early at offset 0"},
  };
  for (const Case& c : cases) {
    for (std::size_t step : {std::size_t{1}, std::size_t{64}}) {
      const Decoded result = RunMember(RawMember(9, c.data, 5), step, step);
      EXPECT_EQ(result.status, DecodeStatus::Error);
      EXPECT_EQ(result.message, c.message);
    }
  }
}

TEST(Deflate64Decoder, DamagedArchiveDataFailsCleanly) {
  ExpectDamageCaught(FirstMember("apache_commons-compress/lorem-ipsum-deflate64.zip", 9), 1000);
  ExpectDamageCaught(FirstMember("overlookmotel_yauzl-deflate64/test.zip", 9), 400);
}

// ------------------------------------------------------------------ Implode

TEST(ImplodeDecoder, DecodesArchivesOfOtherTools) {
  ExpectArchivesDecode({
      {"adamhathcock_sharpcompress/Zip.implode.zip", 6, 6, 2},
      {"apache_commons-compress/imploding-4Kdict-2trees.zip", 6, 6, 1},
      {"apache_commons-compress/imploding-8Kdict-3trees.zip", 6, 6, 1},
      {"apache_commons-compress/lorem-ipsum-implode.zip", 6, 6, 1},
      {"apache_commons-compress/moby-imploded.zip", 6, 6, 134},
      {"corkami_pocs/implode.zip", 6, 6, 3},
      {"corkami_pocs/implodeV3.zip", 6, 6, 4},
      {"Defacto2_server/PKZ110.ZIP", 6, 6, 7},
      {"Defacto2_server/IMPLODE.ZIP", 6, 6, 5},
      {"Defacto2_archive/HWIMPODE.ZIP", 6, 6, 3},
      {"jsummers_oldunzip/example-i.zip", 6, 6, 1},
      {"libarchive_libarchive/test_compat_zip_implode.zip", 6, 6, 5},
      {"libarchive_libarchive/test_compat_zip_implode_realloc.zip", 6, 6, 3},
      {"zip-rs_zip2/implode.zip", 6, 6, 1},
  });
}

TEST(ImplodeDecoder, DamagedArchiveDataFailsCleanly) {
  ExpectDamageCaught(FirstMember("zip-rs_zip2/implode.zip", 6), 3000);
  ExpectDamageCaught(FirstMember("apache_commons-compress/imploding-4Kdict-2trees.zip", 6), 3000);
}

TEST(ImplodeDecoder, ReportsBadCodeTables) {
  // Tree descriptions that cover too few or too many symbols.
  const Decoded tooFew = RunMember(RawMember(6, {0x00, 0x05}, 10), 1, 1);
  EXPECT_EQ(tooFew.message, "Invalid imploded code table at offset 2");
  const Decoded tooMany = RunMember(RawMember(6, {0x04, 0xf5, 0xf5, 0xf5, 0xf5, 0xf5}, 10), 64, 64);
  EXPECT_EQ(tooMany.message, "Invalid imploded code table at offset 6");
  // 64 codes of one bit oversubscribe the code space.
  const Decoded oversubscribed = RunMember(RawMember(6, {0x03, 0xf0, 0xf0, 0xf0, 0xf0}, 10), 1, 1);
  EXPECT_EQ(oversubscribed.message, "Invalid imploded code table at offset 5");
  const Decoded empty = RunMember(RawMember(6, {}, 10), 1, 1);
  EXPECT_EQ(empty.message, "Imploded data ends early at offset 0");
}

// ------------------------------------------------------------------- Shrink

TEST(ShrinkDecoder, DecodesArchivesOfOtherTools) {
  ExpectArchivesDecode({
      {"adamhathcock_sharpcompress/Zip.shrink.zip", 1, 1, 2},
      {"adamhathcock_sharpcompress/Zip.reduce1.zip", 1, 1, 1},
      {"adamhathcock_sharpcompress/Zip.reduce2.zip", 1, 1, 1},
      {"adamhathcock_sharpcompress/Zip.reduce3.zip", 1, 1, 1},
      {"adamhathcock_sharpcompress/Zip.reduce4.zip", 1, 1, 1},
      {"apache_commons-compress/SHRUNK.ZIP", 1, 1, 2},
      {"apache_commons-compress/moby-imploded.zip", 1, 1, 1},
      {"corkami_pocs/shrunk.zip", 1, 1, 1},
      {"Defacto2_archive/HWSHRINK.ZIP", 1, 1, 3},
      {"Defacto2_server/PKZ80A1.ZIP", 1, 1, 8},
      {"Defacto2_server/PKZ80B1.ZIP", 1, 1, 1},
      {"Defacto2_server/PKZ80B2.ZIP", 1, 1, 1},
      {"Defacto2_server/PKZ80B3.ZIP", 1, 1, 1},
      {"Defacto2_server/PKZ80B4.ZIP", 1, 1, 1},
      {"Defacto2_server/PKZ110.ZIP", 1, 1, 1},
      {"jsummers_oldunzip/example-s.zip", 1, 1, 1},
      {"zip-rs_zip2/shrink.zip", 1, 1, 1},
  });
}

TEST(ShrinkDecoder, DamagedArchiveDataFailsCleanly) {
  ExpectDamageCaught(FirstMember("zip-rs_zip2/shrink.zip", 1), 3000);
  ExpectDamageCaught(FirstMember("jsummers_oldunzip/example-s.zip", 1), 3000);
}

TEST(ShrinkDecoder, ReportsBadCodes) {
  // 9-bit codes, low bits first: 'a', then 300 (never defined).
  const Decoded undefined = RunMember(RawMember(1, {0x61, 0x58, 0x02}, 10), 1, 1);
  EXPECT_EQ(undefined.message, "Invalid shrunk code at offset 2");
  // 'a', the escape 256, then control code 3.
  const Decoded control = RunMember(RawMember(1, {0x61, 0x00, 0x0e, 0x00}, 10), 1, 1);
  EXPECT_EQ(control.message, "Invalid shrunk control code at offset 3");
  const Decoded cut = RunMember(RawMember(1, {0x61}, 10), 1, 1);
  EXPECT_EQ(cut.message, "Shrunk data ends early at offset 0");
}

TEST(ShrinkDecoder, StopsAtTheUncompressedSize) {
  // 'a', 'b', then 257 ("ab"): four bytes, of which only three are wanted.
  const Decoded result = RunMember(RawMember(1, {0x61, 0xc4, 0x04, 0x04}, 3), 1, 1);
  ASSERT_EQ(result.status, DecodeStatus::Done) << result.message;
  EXPECT_EQ(result.bytes, "aba");
}

// ------------------------------------------------------------------- Reduce

TEST(ReduceDecoder, DecodesArchivesOfOtherTools) {
  ExpectArchivesDecode({
      {"adamhathcock_sharpcompress/Zip.reduce1.zip", 2, 2, 2},
      {"adamhathcock_sharpcompress/Zip.reduce2.zip", 3, 3, 2},
      {"adamhathcock_sharpcompress/Zip.reduce3.zip", 4, 4, 2},
      {"adamhathcock_sharpcompress/Zip.reduce4.zip", 5, 5, 2},
      {"corkami_pocs/reduced1.zip", 2, 2, 1},
      {"corkami_pocs/reduced2.zip", 3, 3, 1},
      {"corkami_pocs/reduced3.zip", 4, 4, 1},
      {"corkami_pocs/reduced4.zip", 5, 5, 1},
      {"Defacto2_server/PKZ80B1.ZIP", 2, 2, 7},
      {"Defacto2_server/PKZ80B2.ZIP", 3, 3, 7},
      {"Defacto2_server/PKZ80B3.ZIP", 4, 4, 7},
      {"Defacto2_server/PKZ80B4.ZIP", 5, 5, 7},
      {"Defacto2_archive/HWREDUCE.ZIP", 5, 5, 2},
      {"jsummers_oldunzip/example-r.zip", 5, 5, 1},
      {"zip-rs_zip2/reduce.zip", 5, 5, 1},
  });
}

TEST(ReduceDecoder, DamagedArchiveDataFailsCleanly) {
  ExpectDamageCaught(FirstMember("zip-rs_zip2/reduce.zip", 5), 3000);
  ExpectDamageCaught(FirstMember("corkami_pocs/reduced1.zip", 2), 3000);
}

// --------------------------------------------------------------------- PPMd

TEST(PpmdDecoder, DecodesArchivesOfOtherTools) {
  ExpectArchivesDecode({
      {"adamhathcock_sharpcompress/Zip.ppmd.zip", 98, 98, 3},
      {"adamhathcock_sharpcompress/Zip.ppmd.dd.zip", 98, 98, 3},
      {"corkami_pocs/PPMd.zip", 98, 98, 1},
      {"libarchive_libarchive/test_read_format_zip_ppmd8.zipx", 98, 98, 1},
      {"libarchive_libarchive/test_read_format_zip_ppmd8_multi.zipx", 98, 98, 3},
      {"zip-rs_zip2/ppmd.zip", 98, 98, 1},
  });
}

TEST(PpmdDecoder, DecodesArchivesOf7zWithSeveralOrdersAndSizes) {
  ExpectFreshArchivesDecode(
      {"ppmd-o2-m1.zip", "ppmd-o6-m16.zip", "ppmd-o10-m64.zip", "ppmd-o16-m1.zip"}, 98);
}

TEST(PpmdDecoder, DamagedArchiveDataFailsCleanly) {
  ExpectDamageCaught(FirstMember("libarchive_libarchive/test_read_format_zip_ppmd8.zipx", 98), 600);
}

TEST(PpmdDecoder, ReportsBadParameters) {
  // Order 1, then the cut-off restoration we do not support, then a cut header.
  EXPECT_EQ(RunMember(RawMember(98, {0x00, 0x00, 0, 0, 0, 0}, 5), 1, 1).message,
            "Invalid PPMd parameters at offset 0");
  EXPECT_EQ(RunMember(RawMember(98, {0x07, 0x10, 0, 0, 0, 0}, 5), 1, 1).message,
            "Unsupported PPMd restoration method at offset 1");
  EXPECT_EQ(RunMember(RawMember(98, {0x07}, 5), 1, 1).message, "PPMd data ends early at offset 1");
  // Found by fuzzing: an empty input span without storage.
  EXPECT_EQ(RunMember(RawMember(98, {}, 5), 1, 1).message, "PPMd data ends early at offset 0");
}

// ------------------------------------------------------------ fuzz corpus

// The fuzz targets' kept inputs, replayed under the sanitizers and Wine: each
// starts with the flags byte and the uncompressed size / 8, as the targets
// read them. Fed whole or byte by byte, a decoder must end the same way.
TEST(OwnDecoders, FuzzCorpusEndsTheSameWayFedWholeOrBytewise) {
  const std::pair<const char*, int> targets[] = {
      {"shrink", 1}, {"reduce", 2}, {"implode", 6}, {"deflate64", 9}, {"ppmd", 98}};
  for (const auto& [name, method] : targets) {
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             test::SourcePath(std::string("tests/fuzz/corpus/") + name))) {
      const std::string bytes = test::ReadFile(entry.path());
      if (bytes.size() < 3)
        continue;
      SCOPED_TRACE(entry.path().string());
      ++inputs;
      ZipMember member;
      member.method = static_cast<std::uint16_t>(method);
      if (method == 2)
        member.method = static_cast<std::uint16_t>(2 + static_cast<std::uint8_t>(bytes[0]) % 4);
      member.flags = static_cast<std::uint8_t>(bytes[0]);
      member.uncompressedSize =
          (static_cast<std::uint8_t>(bytes[1]) | static_cast<std::uint8_t>(bytes[2]) << 8) *
          std::uint64_t{8};
      member.data.assign(bytes.begin() + 3, bytes.end());
      if (method == 98 && member.data.size() >= 2) {
        member.data[0] &= 0x0F;  // 1 MiB models, as the target uses
        member.data[1] &= 0xF0;
      }
      const Decoded whole = RunMember(member, member.data.size() + 1, 1 << 16);
      const Decoded bytewise = RunMember(member, 1, 1);
      EXPECT_NE(whole.message, "stalled");
      EXPECT_NE(whole.message, "overran its spans");
      EXPECT_EQ(whole.status, bytewise.status) << whole.message << " / " << bytewise.message;
      if (whole.status == DecodeStatus::Done) {
        EXPECT_TRUE(whole.bytes == bytewise.bytes);
      }
    }
    EXPECT_GT(inputs, 5) << name;
  }
}

}  // namespace
}  // namespace zephora::zip
