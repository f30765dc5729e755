// The extractor component: opens one ZIP package and writes its files into
// one folder, dropping every stored folder.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "platform/turns.h"
#include "transfer/zip/archive_reader.h"
#include "transfer/zip/byte_spans.h"
#include "transfer/zip/decoder.h"

namespace zephora::zip {

class TUnZipper {
 public:
  TUnZipper();
  ~TUnZipper();
  TUnZipper(const TUnZipper&) = delete;
  TUnZipper& operator=(const TUnZipper&) = delete;

  // Target folder of every extracted file.
  Text BaseDirectory;
  // Called between entries, inside every entry after each piece of decoded
  // data and during the waits for a busy file, at most a slice apart. When
  // it answers false, the entry in progress is discarded as a failed one is
  // and ExtractFiles throws TStopped.
  TurnCallback OnTurn;
  // The uncompressed bytes written so far and those of every selected entry,
  // as the central directory states them.
  std::function<void(std::uint64_t done, std::uint64_t total)> OnProgress;

  // Opens the archive read-only (others may read and write it, not delete
  // it) and reads its central directory. An empty path opens nothing.
  void OpenArchive(const Text& path);
  // Extracts every entry whose name matches `mask` into BaseDirectory. A
  // failing entry is skipped; FailedFiles() names it afterwards, as it
  // names every entry that carries data but has no file to go to (a folder
  // entry, a name that ends in a separator or a colon) and every entry whose
  // file refused to be replaced (read-only, denied, in use, a running
  // program, the package itself). A file held only for a moment is waited
  // for, briefly. Throws TStopped when a turn asked to stop.
  void ExtractFiles(const Text& mask);
  // Releases the archive, so that no handle to it remains.
  void CloseArchive();

  bool IsOpen() const { return archive_.IsOpen(); }
  // Stored names of the entries that the last ExtractFiles could not install.
  const std::vector<Text>& FailedFiles() const { return failed_; }

 private:
  // Whether the entry's file is now in place with the entry's data.
  [[nodiscard]] bool ExtractEntry(const CentralEntry& entry, const Text& target,
                                  HoldWaits& holdWaits);
  // The decoder of the entry's method, the last one's again when it can restart.
  Decoder* DecoderFor(const DecoderParams& params);
  [[nodiscard]] bool DecodeInto(const CentralEntry& entry, Decoder& decoder,
                                std::uint64_t dataOffset, File& out);

  File archive_;
  std::unique_ptr<FileSource> source_;
  std::vector<CentralEntry> entries_;
  std::uint64_t directoryOffset_ = 0;
  std::uint64_t directoryEnd_ = 0;
  ByteSpans claimed_;  // by the central directory and the entries located so far
  std::vector<Text> failed_;
  Text folder_;                // the normalised base folder of the open archive
  Text packageName_;           // the open archive's file name
  Text target_;                // the path of the entry being extracted
  TurnGate* turns_ = nullptr;  // during ExtractFiles
  std::uint64_t progressDone_ = 0;
  std::uint64_t progressTotal_ = 0;
  std::unique_ptr<Decoder> decoder_;
  std::uint16_t decoderMethod_ = 0;
  std::vector<std::uint8_t> input_;
  std::vector<std::uint8_t> output_;
};

// The last name component of a stored name: everything up to the last "/",
// "\" or ":" is dropped.
TextView TargetName(TextView storedName);
// Whether a file name would open a device or another file on Windows:
// reserved device names (with or without an extension; COM and LPT with a
// digit, superscript 1 to 3 included), a trailing dot or blank, characters
// that no file name may hold.
bool IsUnsafeFileName(TextView name);
// The mask rule: a mask without a folder part matches in any folder; "*"
// and "?" as wildcards, and "*.*" also matches names without a dot.
bool MatchesMask(TextView storedName, TextView mask);
// The DOS attribute byte to give the extracted file.
std::uint32_t TargetAttributes(const CentralEntry& entry);

}  // namespace zephora::zip
