#include "i18n/executable_image.h"

#include <algorithm>
#include <cstddef>

#include "platform/byte_reader.h"

namespace zephora {
namespace {

// Enough for the headers and section table of any executable a linker makes.
constexpr std::size_t kHeadSize = 4096;
constexpr std::size_t kNewHeaderOffsetField = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSizeOfHeadersField = 60;  // in PE32 and PE32+ alike
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::int64_t kSymbolSize = 18;
constexpr std::uint16_t kMaxSections = 96;  // the loader's own limit

}  // namespace

std::int64_t ImageEnd(File& file) {
  std::int64_t fileSize = 0;
  std::uint8_t head[kHeadSize];
  std::size_t got = 0;
  if (file.Size(fileSize) != 0 || file.ReadAt(0, head, sizeof head, got) != 0)
    return 0;
  ByteReader bytes(head, got);
  if (bytes.Bytes(2) != "MZ")
    return 0;
  bytes.Seek(bytes.U32At(kNewHeaderOffsetField));
  if (bytes.Bytes(4) != std::string_view("PE\0\0", 4))
    return 0;
  const std::size_t fileHeader = bytes.Position();
  bytes.Skip(2);
  const std::uint16_t sections = bytes.U16();
  bytes.Skip(4);
  const std::int64_t symbolTable = bytes.U32();
  const std::int64_t symbols = bytes.U32();
  const std::uint16_t optionalHeaderSize = bytes.U16();
  const std::size_t optionalHeader = fileHeader + kFileHeaderSize;
  if (!bytes.Ok() || sections > kMaxSections || optionalHeaderSize < kSizeOfHeadersField + 4)
    return 0;
  std::int64_t end = bytes.U32At(optionalHeader + kSizeOfHeadersField);
  const std::size_t table = optionalHeader + optionalHeaderSize;
  if (!bytes.Has(table, sections * kSectionHeaderSize))
    return 0;
  for (std::size_t i = 0; i < sections; ++i) {
    const std::size_t header = table + i * kSectionHeaderSize;
    const std::int64_t rawSize = bytes.U32At(header + 16);
    const std::int64_t rawStart = bytes.U32At(header + 20);
    if (rawSize != 0)
      end = std::max(end, rawStart + rawSize);
  }
  // A build that keeps its symbols has the linker put their table, and the
  // names after it, behind the sections.
  if (symbolTable != 0) {
    const std::int64_t names = symbolTable + symbols * kSymbolSize;
    std::uint8_t length[4];
    if (file.ReadAt(names, length, sizeof length, got) != 0 || got != sizeof length)
      return 0;
    end = std::max(end, names + ByteReader(length, sizeof length).U32());
  }
  return end <= fileSize ? end : 0;
}

}  // namespace zephora
