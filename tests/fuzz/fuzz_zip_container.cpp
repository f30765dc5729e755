// libFuzzer target for the container reader: the end record search, the
// ZIP64 records, the central directory, names and local headers, and the
// decoders behind the dispatch, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "transfer/zip/archive_reader.h"
#include "transfer/zip/byte_spans.h"
#include "transfer/zip/decoder.h"

namespace {

using namespace zephora::zip;

constexpr std::size_t kMaxEntries = 64;
constexpr std::uint64_t kMaxOutput = 1 << 20;

void DecodeEntry(const std::uint8_t* data, std::size_t size, const CentralEntry& entry,
                 std::uint64_t offset) {
  auto decoder =
      MakeDecoder({entry.method, entry.flags, entry.compressedSize, entry.uncompressedSize});
  if (decoder == nullptr)
    return;
  std::vector<std::uint8_t> out(64 * 1024);
  std::size_t at = static_cast<std::size_t>(offset);
  const std::size_t end = static_cast<std::size_t>(offset + entry.compressedSize);
  std::uint64_t produced = 0;
  for (int stalls = 0; stalls < 2 && produced < kMaxOutput;) {
    const DecodeResult r = decoder->Decode({data + at, end - at}, true, out);
    if (r.status != DecodeStatus::Ok)
      return;
    at += r.consumed;
    produced += r.produced;
    stalls = r.consumed == 0 && r.produced == 0 ? stalls + 1 : 0;
  }
  (void)size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemorySource source(data, size);
  EndRecord end;
  if (!FindEndRecord(source, end).Ok())
    return 0;
  std::vector<CentralEntry> entries;
  if (!ReadCentralDirectory(source, end, entries).Ok())
    return 0;
  // As the extractor does: no bytes are decoded twice.
  ByteSpans claimed;
  (void)claimed.Claim(end.directoryOffset, end.directoryEnd);
  std::size_t visited = 0;
  for (const CentralEntry& entry : entries) {
    if (++visited > kMaxEntries)
      break;
    std::uint64_t offset = 0;
    if (!LocateEntryData(source, entry, offset).Ok() ||
        !claimed.Claim(entry.localHeaderOffset, offset + entry.compressedSize)) {
      continue;
    }
    DecodeEntry(data, size, entry, offset);
  }
  return 0;
}
