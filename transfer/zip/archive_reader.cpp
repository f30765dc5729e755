#include "transfer/zip/archive_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_reader.h"
#include "transfer/zip/crc32.h"
#include "transfer/zip/entry_flags.h"

namespace zephora::zip {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kSplitMarker = 0x08074B50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kMaxComment = 0xFFFF;

ParseError Fail(ParseStatus status, std::string message, std::uint64_t offset) {
  return {status, std::move(message), offset};
}

// A read-ahead window over the source, so that walking the central
// directory costs one read per 64 KiB rather than two per header.
class SourceWindow {
 public:
  explicit SourceWindow(ArchiveSource& source) : source_(source) {}

  // `size` bytes at `offset`, or null when they are not all in the source.
  const std::uint8_t* Get(std::uint64_t offset, std::size_t size) {
    if (offset >= start_ && offset - start_ <= length_ && size <= length_ - (offset - start_)) {
      return buffer_.data() + (offset - start_);
    }
    const std::uint64_t total = source_.Size();
    if (offset > total || size > total - offset)
      return nullptr;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::max(size, kChunk), total - offset));
    if (buffer_.size() < want)
      buffer_.resize(want);
    if (!source_.ReadAt(offset, buffer_.data(), want)) {
      length_ = 0;
      return nullptr;
    }
    start_ = offset;
    length_ = want;
    return buffer_.data();
  }

 private:
  static constexpr std::size_t kChunk = 64 * 1024;
  ArchiveSource& source_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t start_ = 0;
  std::size_t length_ = 0;
};

void ReadEndFields(const std::uint8_t* p, std::uint64_t position, EndRecord& end) {
  ByteReader r(p, kEndSize);
  r.Skip(4);
  end.position = position;
  end.disk = r.U16();
  end.directoryDisk = r.U16();
  r.U16();  // entries on this disk
  end.entryCount = r.U16();
  end.directorySize = r.U32();
  end.directoryOffset = r.U32();
}

bool NeedsZip64(const EndRecord& end) {
  return end.disk == 0xFFFF || end.directoryDisk == 0xFFFF || end.entryCount == 0xFFFF ||
         end.directorySize == 0xFFFFFFFF || end.directoryOffset == 0xFFFFFFFF;
}

// The values of the ZIP64 extended-information field (ID 0x0001) replace the
// 32-bit fields that hold their maximum, in this order.
void ApplyZip64Field(std::string_view extra, CentralEntry& entry) {
  ByteReader r(extra);
  while (r.Remaining() >= 4) {
    const std::uint16_t id = r.U16();
    const std::uint16_t size = r.U16();
    std::string_view data = r.Bytes(size);
    if (!r.Ok())
      return;
    if (id != 0x0001)
      continue;
    ByteReader f(data);
    if (entry.uncompressedSize == 0xFFFFFFFF && f.Remaining() >= 8)
      entry.uncompressedSize = f.U64();
    if (entry.compressedSize == 0xFFFFFFFF && f.Remaining() >= 8)
      entry.compressedSize = f.U64();
    if (entry.localHeaderOffset == 0xFFFFFFFF && f.Remaining() >= 8) {
      entry.localHeaderOffset = f.U64();
    }
    if (entry.diskStart == 0xFFFF && f.Remaining() >= 4)
      entry.diskStart = f.U32();
    return;
  }
}

// Replaces the end record's values by those of the ZIP64 end record. The
// locator may be no more than bytes that look like one (the end of the last
// entry's name, say): unless the end record needs ZIP64 values, a locator
// that does not lead to a ZIP64 end record is not one.
ParseError ApplyZip64EndRecord(ArchiveSource& source, EndRecord& end) {
  const bool needed = NeedsZip64(end);
  const auto failIfNeeded = [&](ParseStatus status, const char* what, std::uint64_t offset) {
    return needed ? Fail(status, what, offset) : ParseError{};
  };
  std::uint8_t locator[kLocatorSize];
  if (end.position < kLocatorSize ||
      !source.ReadAt(end.position - kLocatorSize, locator, kLocatorSize) ||
      Load32(locator) != kZip64LocatorSignature) {
    return failIfNeeded(ParseStatus::BadDirectory, "ZIP64 locator missing", end.position);
  }
  const std::uint64_t locatorPosition = end.position - kLocatorSize;
  ByteReader l(locator, kLocatorSize);
  l.Skip(4);
  const std::uint32_t recordDisk = l.U32();
  const std::uint64_t recordOffset = l.U64();
  const std::uint32_t diskCount = l.U32();
  if (recordDisk != 0 || diskCount > 1) {
    return failIfNeeded(ParseStatus::MultiPart, "ZIP64 locator names another disk",
                        locatorPosition);
  }
  std::uint8_t record[kZip64EndSize];
  if (recordOffset > locatorPosition || locatorPosition - recordOffset < kZip64EndSize ||
      !source.ReadAt(recordOffset, record, kZip64EndSize) || Load32(record) != kZip64EndSignature) {
    return failIfNeeded(ParseStatus::BadDirectory, "ZIP64 end record missing", recordOffset);
  }
  ByteReader r(record, kZip64EndSize);
  r.Skip(4 + 8 + 2 + 2);
  end.disk = r.U32();
  end.directoryDisk = r.U32();
  r.U64();  // entries on this disk
  end.entryCount = r.U64();
  end.directorySize = r.U64();
  end.directoryOffset = r.U64();
  return {};
}

}  // namespace

bool MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  if (offset > size_ || size > size_ - offset)
    return false;
  if (size > 0)
    std::memcpy(buffer, data_ + offset, size);
  return true;
}

bool FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  if (offset > size_ || size > size_ - offset)
    return false;
  auto* out = static_cast<std::uint8_t*>(buffer);
  if (offset >= windowStart_ && offset - windowStart_ <= windowLength_ &&
      size <= windowLength_ - (offset - windowStart_)) {
    if (size > 0)
      std::memcpy(out, window_.data() + (offset - windowStart_), size);
    return true;
  }
  if (size >= kWindow)
    return ReadFully(offset, out, size);
  window_.resize(kWindow);
  const std::size_t length =
      static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size_ - offset));
  windowLength_ = 0;
  if (!ReadFully(offset, window_.data(), length))
    return false;
  windowStart_ = offset;
  windowLength_ = length;
  if (size > 0)
    std::memcpy(out, window_.data(), size);
  return true;
}

bool FileSource::ReadFully(std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
  while (size > 0) {
    std::size_t done = 0;
    if (file_.ReadAt(static_cast<std::int64_t>(offset), buffer, size, done) != 0 || done == 0) {
      return false;
    }
    buffer += done;
    offset += done;
    size -= done;
  }
  return true;
}

ParseError FindEndRecord(ArchiveSource& source, EndRecord& end) {
  const std::uint64_t total = source.Size();
  std::uint8_t head[4];
  if (total >= 4) {
    if (!source.ReadAt(0, head, 4))
      return Fail(ParseStatus::NotZip, "unreadable", 0);
    if (Load32(head) == kSplitMarker)
      return Fail(ParseStatus::MultiPart, "split marker", 0);
  }
  if (total < kEndSize)
    return Fail(ParseStatus::NotZip, "too short for an end record", 0);

  // The tail that can hold an end record with the longest comment.
  const std::size_t tailSize =
      static_cast<std::size_t>(std::min<std::uint64_t>(total, kEndSize + kMaxComment));
  const std::uint64_t tailStart = total - tailSize;
  std::vector<std::uint8_t> tail(tailSize);
  if (!source.ReadAt(tailStart, tail.data(), tailSize)) {
    return Fail(ParseStatus::NotZip, "unreadable", tailStart);
  }
  std::size_t found = tailSize;
  // A record without comment closes the file; try that first.
  if (Load32(&tail[tailSize - kEndSize]) == kEndSignature) {
    found = tailSize - kEndSize;
  } else {
    for (std::size_t i = tailSize - kEndSize; i-- > 0;) {
      if (Load32(&tail[i]) != kEndSignature)
        continue;
      const std::size_t comment = tail[i + 20] | static_cast<std::size_t>(tail[i + 21]) << 8;
      if (comment <= tailSize - kEndSize - i) {
        found = i;
        break;
      }
    }
  }
  if (found == tailSize)
    return Fail(ParseStatus::NotZip, "no end record", total);
  ReadEndFields(&tail[found], tailStart + found, end);
  if (end.disk != 0 && end.disk != 0xFFFF) {
    return Fail(ParseStatus::MultiPart, "end record of disk " + std::to_string(end.disk),
                end.position);
  }
  return {};
}

ParseError ReadCentralDirectory(ArchiveSource& source, EndRecord& end,
                                std::vector<CentralEntry>& entries) {
  entries.clear();
  if (ParseError error = ApplyZip64EndRecord(source, end); !error.Ok())
    return error;
  if (end.disk != 0 || end.directoryDisk != 0) {
    return Fail(ParseStatus::MultiPart, "central directory on another disk", end.position);
  }

  SourceWindow window(source);
  std::uint64_t offset = end.directoryOffset;
  const std::uint64_t limit = end.position;
  entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(end.entryCount, 4096)));
  for (std::uint64_t i = 0; i < end.entryCount; ++i) {
    const std::uint8_t* fixed = offset < limit ? window.Get(offset, kCentralSize) : nullptr;
    if (fixed == nullptr || Load32(fixed) != kCentralSignature) {
      return Fail(ParseStatus::BadDirectory,
                  "no central directory header for entry " + std::to_string(i), offset);
    }
    ByteReader r(fixed, kCentralSize);
    r.Skip(4);
    CentralEntry entry;
    entry.versionMadeBy = r.U16();
    entry.versionNeeded = r.U16();
    entry.flags = r.U16();
    entry.method = r.U16();
    entry.dosTime = r.U16();
    entry.dosDate = r.U16();
    entry.crc32 = r.U32();
    entry.compressedSize = r.U32();
    entry.uncompressedSize = r.U32();
    const std::size_t nameLength = r.U16();
    const std::size_t extraLength = r.U16();
    const std::size_t commentLength = r.U16();
    entry.diskStart = r.U16();
    r.U16();  // internal attributes
    entry.externalAttributes = r.U32();
    entry.localHeaderOffset = r.U32();

    const std::size_t variable = nameLength + extraLength + commentLength;
    const std::uint8_t* rest = window.Get(offset + kCentralSize, variable);
    if (rest == nullptr) {
      return Fail(ParseStatus::BadDirectory, "central directory header cut short", offset);
    }
    const std::string_view name(reinterpret_cast<const char*>(rest), nameLength);
    const std::string_view extra(reinterpret_cast<const char*>(rest + nameLength), extraLength);
    entry.rawName.assign(name);
    ApplyZip64Field(extra, entry);
    entry.name = DecodeEntryName(name, entry.flags, extra);
    entry.isDirectory = (entry.externalAttributes & 0x10) != 0 ||
                        (!name.empty() && (name.back() == '/' || name.back() == '\\'));
    entries.push_back(std::move(entry));
    offset += kCentralSize + variable;
  }
  end.directoryEnd = offset;
  return {};
}

ParseError LocateEntryData(ArchiveSource& source, const CentralEntry& entry,
                           std::uint64_t& dataOffset) {
  std::uint8_t header[kLocalSize];
  if (!source.ReadAt(entry.localHeaderOffset, header, kLocalSize) ||
      Load32(header) != kLocalSignature) {
    return Fail(ParseStatus::BadLocalHeader, "no local header", entry.localHeaderOffset);
  }
  const std::uint64_t nameLength = header[26] | static_cast<std::uint32_t>(header[27]) << 8;
  const std::uint64_t extraLength = header[28] | static_cast<std::uint32_t>(header[29]) << 8;
  dataOffset = entry.localHeaderOffset + kLocalSize + nameLength + extraLength;
  if (dataOffset > source.Size() || entry.compressedSize > source.Size() - dataOffset) {
    return Fail(ParseStatus::BadLocalHeader, "entry data beyond the end of the archive",
                dataOffset);
  }
  return {};
}

Text DecodeEntryName(std::string_view raw, std::uint16_t flags, std::string_view extra) {
  const bool high = std::any_of(raw.begin(), raw.end(),
                                [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if ((flags & kFlagUtf8Name) != 0 || (high && IsValidUtf8(raw)))
    return FromUtf8(raw);

  ByteReader r(extra);
  while (r.Remaining() >= 4) {
    const std::uint16_t id = r.U16();
    const std::uint16_t size = r.U16();
    const std::string_view data = r.Bytes(size);
    if (!r.Ok())
      break;
    if (id == 0x7075 && size > 6 && static_cast<unsigned char>(data[0]) == 1) {
      ByteReader f(data);
      f.Skip(1);
      const std::uint32_t nameCrc = f.U32();
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw.data());
      if (nameCrc == UpdateCrc32(0, std::span(bytes, raw.size()))) {
        return FromUtf8(data.substr(5));
      }
    }
    if (id == 0x554E && size > 10 && data.substr(0, 4) == "NUCX") {
      ByteReader f(data);
      f.Skip(4);
      const std::size_t count = f.U16();
      if (size == 8 + 2 * count) {
        Text name;
        f.Skip(2);
        for (std::size_t i = 0; i < count; ++i)
          name += static_cast<char16_t>(f.U16());
        return name;
      }
    }
  }
  return OemToText(raw);
}

}  // namespace zephora::zip
