// Reading the structure of a ZIP archive: the end record, the ZIP64 records,
// the central directory and the local headers. Nothing here throws: every
// failure is a ParseError value with what went wrong and where.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"

namespace zephora::zip {

// Random access to the archive's bytes.
class ArchiveSource {
 public:
  virtual ~ArchiveSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; false when they are not all there.
  [[nodiscard]] virtual bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
};

class MemorySource final : public ArchiveSource {
 public:
  MemorySource(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// Small reads are served from a read-ahead window, so that a local header
// and the data of a small entry after it cost one system call together.
class FileSource final : public ArchiveSource {
 public:
  FileSource(File& file, std::uint64_t size) : file_(file), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override;

 private:
  static constexpr std::size_t kWindow = 64 * 1024;
  [[nodiscard]] bool ReadFully(std::uint64_t offset, std::uint8_t* buffer, std::size_t size);

  File& file_;
  std::uint64_t size_;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowStart_ = 0;
  std::size_t windowLength_ = 0;
};

enum class ParseStatus {
  Ok,
  NotZip,        // neither an end record nor the split marker
  MultiPart,     // one part of a split or spanned set
  BadDirectory,  // ZIP64 records or central directory missing or damaged
  BadLocalHeader,
};

struct ParseError {
  ParseStatus status = ParseStatus::Ok;
  std::string message;
  std::uint64_t offset = 0;

  bool Ok() const { return status == ParseStatus::Ok; }
};

struct EndRecord {
  std::uint64_t position = 0;  // of the end-of-central-directory record
  std::uint32_t disk = 0;
  std::uint32_t directoryDisk = 0;
  std::uint64_t entryCount = 0;
  std::uint64_t directorySize = 0;
  std::uint64_t directoryOffset = 0;
  std::uint64_t directoryEnd = 0;  // where its last header ends, once read
};

// What one central-directory header says about its entry.
struct CentralEntry {
  std::string rawName;
  Text name;  // decoded by the name rules
  std::uint16_t versionMadeBy = 0;
  std::uint16_t versionNeeded = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint16_t dosTime = 0;
  std::uint16_t dosDate = 0;
  std::uint32_t crc32 = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::uint32_t diskStart = 0;
  std::uint32_t externalAttributes = 0;
  std::uint64_t localHeaderOffset = 0;
  bool isDirectory = false;
};

// The content check: the split marker or an end record found backward from
// the end of the source. `end` is filled for an end record.
[[nodiscard]] ParseError FindEndRecord(ArchiveSource& source, EndRecord& end);

// The ZIP64 records (when they check out, or when the end record needs
// them) and the central directory, in its order.
[[nodiscard]] ParseError ReadCentralDirectory(ArchiveSource& source, EndRecord& end,
                                              std::vector<CentralEntry>& entries);

// Checks the local header of `entry` and gives where its data begins.
[[nodiscard]] ParseError LocateEntryData(ArchiveSource& source, const CentralEntry& entry,
                                         std::uint64_t& dataOffset);

// The name rules: UTF-8 flag or valid UTF-8, the Unicode path field, the
// "NUCX" field, else the OEM code page.
Text DecodeEntryName(std::string_view raw, std::uint16_t flags, std::string_view extra);

// 8-bit text in the system's OEM code page (code page 437 natively).
Text OemToText(std::string_view bytes);

}  // namespace zephora::zip
