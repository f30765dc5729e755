#include "i18n/file_locator.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/appended_catalogs.h"
#include "i18n/errors.h"
#include "i18n/executable_image.h"
#include "platform/byte_reader.h"
#include "platform/file.h"
#include "platform/path.h"

namespace zephora {
namespace {

using namespace appended_catalogs;

constexpr size_t kBlockSize = 100000;

char16_t FoldForPath(char16_t c) {
  return c == u'/' ? u'\\' : AsciiUpper(c);
}

// Offsets of the first occurrences of both markers from `from` on (-1 for
// one that is absent), found in one pass over the file: it is read in blocks
// of 100000 bytes, each searched together with the last bytes of the block
// before it, so that a marker across a block boundary is found as well.
void FindMarkers(File& file, std::int64_t from, std::int64_t& begin, std::int64_t& end) {
  begin = end = -1;
  if (file.Seek(from) != 0)
    return;
  const std::string beginMarker = BeginMarker(), endMarker = EndMarker();
  constexpr size_t kCarried = kMarkerLength - 1;  // too short to hold a whole marker
  std::vector<char> buffer(kCarried + kBlockSize);
  size_t carried = 0;
  std::int64_t bufferStart = from;  // file offset of buffer[0]
  while (begin < 0 || end < 0) {
    size_t got = 0;
    if (file.Read(buffer.data() + carried, kBlockSize, got) != 0 || got == 0)
      return;
    const std::string_view window(buffer.data(), carried + got);
    if (begin < 0) {
      if (const size_t found = window.find(beginMarker); found != std::string_view::npos)
        begin = bufferStart + static_cast<std::int64_t>(found);
    }
    if (end < 0) {
      if (const size_t found = window.find(endMarker); found != std::string_view::npos)
        end = bufferStart + static_cast<std::int64_t>(found);
    }
    const size_t keep = std::min(kCarried, window.size());
    std::memmove(buffer.data(), buffer.data() + window.size() - keep, keep);
    bufferStart += static_cast<std::int64_t>(window.size() - keep);
    carried = keep;
  }
}

// The position `relative` bytes past `base` when it lies no further than
// `limit`; -1 otherwise, also for numbers that would overflow.
std::int64_t PositionWithin(std::int64_t base, std::int64_t relative, std::int64_t limit) {
  return relative >= 0 && relative <= limit - base ? base + relative : -1;
}

// `count` bytes at `offset`, all of them or none.
bool ReadExactly(File& file, std::int64_t offset, void* into, size_t count) {
  size_t got = 0;
  return file.ReadAt(offset, into, count, got) == 0 && got == count;
}

}  // namespace

bool PathLess::operator()(const Text& a, const Text& b) const {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = FoldForPath(a[i]), y = FoldForPath(b[i]);
    if (x != y)
      return x < y;
  }
  return a.size() < b.size();
}

TFileLocator::TFileLocator(const Text& executablePath)
    : executable_(executablePath), basedirectory_(ExtractFilePath(executablePath)) {
  Analyze();
}

void TFileLocator::Analyze() {
  // Any failure ends the scan quietly; entries read so far stay.
  File file;
  if (file.Open(executable_, FileMode::ReadShareAll) != 0)
    return;
  // No marker stands whole in a program of ours (see appended_catalogs.h),
  // so the search starts where its image ends: a program without catalogs
  // reads no more than its headers.
  std::int64_t begin = -1, end = -1;
  FindMarkers(file, ImageEnd(file), begin, end);
  if (begin <= 0 || end <= 0)
    return;
  const std::int64_t base = begin + static_cast<std::int64_t>(kMarkerLength);
  const std::int64_t tableEnd = end - static_cast<std::int64_t>(kNumberSize);
  std::uint8_t number[kNumberSize];
  if (!ReadExactly(file, tableEnd, number, kNumberSize))
    return;
  std::int64_t position = PositionWithin(base, ByteReader(number, kNumberSize).I64(), tableEnd);
  while (position >= base && position < tableEnd) {
    std::uint8_t header[kEntryHeaderSize];
    if (!ReadExactly(file, position, header, kEntryHeaderSize))
      return;
    ByteReader fields(header, kEntryHeaderSize);
    const std::int64_t next = fields.I64();
    const std::int64_t offset = fields.I64();
    const std::int64_t size = fields.I64();
    const std::int64_t nameStart = position + static_cast<std::int64_t>(kEntryHeaderSize);
    const std::int64_t nameEnd = next != 0 ? PositionWithin(base, next, tableEnd) : tableEnd;
    const std::int64_t data = PositionWithin(base, offset, tableEnd);
    if (nameEnd < nameStart || nameEnd - nameStart > 65536 || data < 0 || size < 0 ||
        size > tableEnd - data) {
      return;
    }
    std::string name(static_cast<size_t>(nameEnd - nameStart), '\0');
    if (!ReadExactly(file, nameStart, name.data(), name.size()))
      return;
    filelist_[Trim(FromUtf8(name))] = TEmbeddedFileInfo{data, size};
    if (next == 0 || nameEnd <= position)
      return;
    position = nameEnd;
  }
}

const TEmbeddedFileInfo* TFileLocator::Embedded(const Text& path) const {
  if (path.compare(0, basedirectory_.size(), basedirectory_) != 0)
    return nullptr;
  const auto it = filelist_.find(path.substr(basedirectory_.size()));
  return it == filelist_.end() ? nullptr : &it->second;
}

bool TFileLocator::FileExists(const Text& path) const {
  return Embedded(path) != nullptr || zephora::FileExists(path);
}

std::shared_ptr<const TMoFile> TFileLocator::GetMoFile(const Text& path) {
  const TEmbeddedFileInfo* embedded = Embedded(path);
  const Text& file = embedded ? executable_ : path;
  const std::int64_t offset = embedded ? embedded->offset : 0;
  const Text key = file + u" //\\ " + ToText(offset);

  std::unique_lock lock(MoFilesCS);
  std::erase_if(MoFiles, [](const auto& entry) { return entry.second.expired(); });
  if (auto open = MoFiles[key].lock())
    return open;
  auto catalog =
      std::make_shared<const TMoFile>(file, offset, embedded ? embedded->size : -1, file);
  MoFiles[key] = catalog;
  return catalog;
}

std::size_t TFileLocator::OpenCatalogCount() const {
  std::shared_lock lock(MoFilesCS);
  return static_cast<std::size_t>(std::count_if(
      MoFiles.begin(), MoFiles.end(), [](const auto& entry) { return !entry.second.expired(); }));
}

}  // namespace zephora
