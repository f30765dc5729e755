#include "transfer/zip/unzipper.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/calendar.h"
#include "platform/exception.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/system_error.h"
#include "transfer/zip/crc32.h"
#include "transfer/zip/decoder.h"
#include "transfer/zip/entry_flags.h"
#include "transfer/zip/zip_texts.h"

namespace zephora::zip {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

[[noreturn]] void Raise(const ResStringRec& text) {
  throw Exception(LoadResString(text));
}

[[noreturn]] void RaiseCannotOpen(const Text& path, int error) {
  throw Exception(FormatResString(SCannotOpenFile, {path, TrimErrorText(SystemErrorText(error))}));
}

bool IsNameSeparator(char16_t c) {
  return c == u'/' || c == u'\\' || c == u':';
}

bool WildcardMatch(TextView name, TextView pattern) {
  std::size_t n = 0, p = 0, starP = TextView::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == u'?' || AsciiUpper(pattern[p]) == AsciiUpper(name[n]))) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != TextView::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*')
    ++p;
  return p == pattern.size();
}

// The DOS date and time as a local calendar time; false for a date or time
// that does not exist.
bool DosToLocal(std::uint16_t date, std::uint16_t time, LocalDateTime& out) {
  out.year = 1980 + (date >> 9);
  out.month = (date >> 5) & 0x0F;
  out.day = date & 0x1F;
  out.hour = time >> 11;
  out.minute = (time >> 5) & 0x3F;
  out.second = (time & 0x1F) * 2;
  return out.month >= 1 && out.month <= 12 && out.day >= 1 &&
         out.day <= DaysInMonth(out.year, out.month) && out.hour < 24 && out.minute < 60 &&
         out.second < 60;
}

// Writes decoded data, leaving whole blocks of zeros as holes that the
// file system need not store: far fewer bytes go to the disk for the zero
// runs that installed files often hold.
class HoleWriter {
 public:
  explicit HoleWriter(File& file) : file_(file) {}

  [[nodiscard]] bool Write(const std::uint8_t* data, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
      const bool zero = IsZeroBlock(data + i, size - i);
      std::size_t j = i + std::min(kBlock, size - i);
      while (j < size && IsZeroBlock(data + j, size - j) == zero)
        j += std::min(kBlock, size - j);
      if (zero) {
        hole_ = true;
      } else {
        if (hole_ && file_.Seek(static_cast<std::int64_t>(position_)) != 0)
          return false;
        hole_ = false;
        if (file_.Write(data + i, j - i) != 0)
          return false;
      }
      position_ += j - i;
      i = j;
    }
    return true;
  }

  // A hole at the end still has to count towards the file's size.
  [[nodiscard]] bool Finish() {
    return !hole_ || file_.SetSize(static_cast<std::int64_t>(position_)) == 0;
  }

 private:
  static constexpr std::size_t kBlock = 64 * 1024;
  static bool IsZeroBlock(const std::uint8_t* p, std::size_t available) {
    return available >= kBlock && p[0] == 0 && std::memcmp(p, p + 1, kBlock - 1) == 0;
  }

  File& file_;
  std::uint64_t position_ = 0;
  bool hole_ = false;
};

}  // namespace

TextView TargetName(TextView storedName) {
  std::size_t i = storedName.size();
  while (i > 0 && !IsNameSeparator(storedName[i - 1]))
    --i;
  return storedName.substr(i);
}

bool IsUnsafeFileName(TextView name) {
  if (name.empty() || name.back() == u'.' || name.back() == u' ')
    return true;
  for (const char16_t c : name) {
    if (c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != TextView::npos)
      return true;
  }
  // Windows opens the device for "NUL", "nul.txt" and "NUL .txt" alike.
  TextView stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ')
    stem.remove_suffix(1);
  const Text upper = AsciiUpper(stem);
  if (upper == u"CON" || upper == u"PRN" || upper == u"AUX" || upper == u"NUL")
    return true;
  // Windows reserves these with any digit, and with a superscript one to three.
  return upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) &&
         ((upper[3] >= u'0' && upper[3] <= u'9') || upper[3] == u'\u00B9' ||
          upper[3] == u'\u00B2' || upper[3] == u'\u00B3');
}

bool MatchesMask(TextView storedName, TextView mask) {
  Text name(storedName);
  std::replace(name.begin(), name.end(), u'/', u'\\');
  if (!name.empty() && name.back() == u'\\')
    name.pop_back();
  std::size_t split = mask.size();
  while (split > 0 && !IsPathSeparator(mask[split - 1]))
    --split;
  const TextView maskFolder = mask.substr(0, split);
  const TextView maskName = mask.substr(split);
  const TextView last = TargetName(name);
  if (last.empty())
    return false;
  if (!maskFolder.empty()) {
    Text folder(maskFolder);
    std::replace(folder.begin(), folder.end(), u'/', u'\\');
    if (!WildcardMatch(name.substr(0, name.size() - last.size()), folder))
      return false;
  }
  if (WildcardMatch(last, maskName))
    return true;
  // "x.*" also stands for "x" without an extension.
  return maskName.size() >= 2 && maskName.ends_with(u".*") && last.find(u'.') == TextView::npos &&
         WildcardMatch(last, maskName.substr(0, maskName.size() - 2));
}

std::uint32_t TargetAttributes(const CentralEntry& entry) {
  const unsigned host = entry.versionMadeBy >> 8;
  if (host == 3 || entry.externalAttributes > 0x1FFFF) {
    const std::uint32_t mode = entry.externalAttributes >> 16;
    std::uint32_t attributes = (mode & 0x80) == 0 ? kAttributeReadOnly : 0;
    switch (mode & 0xF000) {
      case 0x4000:
        attributes |= kAttributeDirectory;
        break;
      case 0x1000:
      case 0x2000:
      case 0x6000:
      case 0xA000:
      case 0xC000:
        attributes |= kAttributeSystem;
        break;
      default:
        break;
    }
    return attributes;
  }
  return entry.externalAttributes &
         (kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive);
}

TUnZipper::TUnZipper() : input_(kBufferSize), output_(kBufferSize) {}

TUnZipper::~TUnZipper() = default;

void TUnZipper::OpenArchive(const Text& path) {
  if (path.empty())
    return;
  if (!FileExists(path))
    Raise(SFileNotFound);
  std::int64_t size = 0;
  if (const int error = QueryFileSize(path, size))
    RaiseCannotOpen(path, error);
  if (size <= 0)
    Raise(SInvalidStream);
  CloseArchive();

  // The content check reads through a handle of its own.
  {
    File probe;
    if (const int error = probe.Open(path, FileMode::ReadShareReadWrite)) {
      RaiseCannotOpen(path, error);
    }
    if (const int error = probe.Size(size))
      RaiseCannotOpen(path, error);
    FileSource source(probe, static_cast<std::uint64_t>(size));
    EndRecord end;
    const ParseError found = FindEndRecord(source, end);
    if (found.status == ParseStatus::MultiPart)
      Raise(SMultiPartArchive);
    if (!found.Ok())
      Raise(SUnhandledArchiveType);
  }

  Text base = BaseDirectory;
  if (base.size() > 1 && IsPathSeparator(base.back()) && base[base.size() - 2] != u':') {
    base.pop_back();
  }
  if (!base.empty() && !DirectoryExists(base))
    Raise(SDirectoryNotFound);

  if (const int error = archive_.Open(path, FileMode::ReadShareReadWrite)) {
    RaiseCannotOpen(path, error);
  }
  if (const int error = archive_.Size(size)) {
    archive_.Close();
    RaiseCannotOpen(path, error);
  }
  source_ = std::make_unique<FileSource>(archive_, static_cast<std::uint64_t>(size));
  EndRecord end;
  ParseError error = FindEndRecord(*source_, end);
  if (error.Ok())
    error = ReadCentralDirectory(*source_, end, entries_);
  if (!error.Ok()) {
    CloseArchive();
    Raise(error.status == ParseStatus::MultiPart ? SMultiPartArchive : SNotPkZipFile);
  }
  directoryOffset_ = end.directoryOffset;
  directoryEnd_ = end.directoryEnd;
  folder_ = std::move(base);
  packageName_ = ExtractFileName(path);
}

void TUnZipper::CloseArchive() {
  source_.reset();
  archive_.Close();
  entries_.clear();
  entries_.shrink_to_fit();
}

void TUnZipper::ExtractFiles(const Text& mask) {
  if (!IsOpen())
    Raise(SArchiveNotOpen);
  failed_.clear();
  claimed_.Clear();
  TurnGate turns(&OnTurn);
  turns_ = &turns;
  struct Unset {
    TurnGate*& turns;
    ~Unset() { turns = nullptr; }
  } unset{turns_};
  progressDone_ = 0;
  progressTotal_ = 0;
  for (const CentralEntry& entry : entries_) {
    if (!entry.isDirectory && MatchesMask(entry.name, mask))
      progressTotal_ += std::min(entry.uncompressedSize,
                                 std::numeric_limits<std::uint64_t>::max() - progressTotal_);
  }
  HoldWaits holdWaits(HoldWaits::kTotalMs, &turns);
  (void)claimed_.Claim(directoryOffset_, directoryEnd_);
  // Every name that has a last component matches these, and the test
  // would cost copies of every name.
  const bool everything = mask == u"*.*" || mask == u"*";
  for (const CentralEntry& entry : entries_) {
    if (!turns.Pass())
      break;
    const TextView name = TargetName(entry.name);
    if (entry.isDirectory || name.empty()) {
      // No folder is created and no file can take the data: data that an
      // entry carries would be lost without a word.
      if (entry.uncompressedSize > 0)
        failed_.push_back(entry.name);
      continue;
    }
    if (!everything && !MatchesMask(entry.name, mask))
      continue;
    // One path buffer for all entries.
    JoinPathInto(target_, folder_, name);
    if (!ExtractEntry(entry, target_, holdWaits))
      failed_.push_back(entry.name);
  }
  if (turns.Stopped())
    throw TStopped();
}

bool TUnZipper::ExtractEntry(const CentralEntry& entry, const Text& target, HoldWaits& holdWaits) {
  // Everything that can be known before the target is touched.
  const TextView name = TargetName(entry.name);
  if (IsUnsafeFileName(name))
    return false;
  if ((entry.versionNeeded & 0xFF) > 63)
    return false;
  std::uint64_t dataOffset = 0;
  if (!LocateEntryData(*source_, entry, dataOffset).Ok())
    return false;
  if (!claimed_.Claim(entry.localHeaderOffset, dataOffset + entry.compressedSize))
    return false;
  if ((entry.flags & kFlagEncrypted) != 0)
    return false;  // no password is ever set
  // The package is open while it is read: in its place the entry would
  // either wait in vain for it to close or, where open files can be
  // replaced, be deleted with the package afterwards. Only a name like the
  // package's costs a look at the file; another alias of it (a short name)
  // is refused by Windows all the same, after the waits.
  if (EqualsIgnoreAsciiCase(name, packageName_) && IsSameFile(archive_, target)) {
    return false;
  }
  // An empty entry is checked like any other: its method, and that its
  // data decodes to nothing with the CRC-32 of nothing.
  Decoder* const decoder =
      DecoderFor({entry.method, entry.flags, entry.compressedSize, entry.uncompressedSize});
  if (decoder == nullptr)
    return false;
  // A name that is still free is written in place: nothing is there to lose,
  // and a failure deletes what was written. It saves a file creation and a
  // rename per entry, most of what a fresh installation of many small files
  // costs. An existing file is replaced only with complete, checked data,
  // decoded beside it.
  File out;
  Text temporary;
  const bool inPlace = out.Open(target, FileMode::CreateNewWriteShareRead) == 0;
  if (!inPlace && CreateTempFile(JoinPath(folder_, u""), out, temporary) != 0)
    return false;
  const Text& written = inPlace ? target : temporary;
  if (!DecodeInto(entry, *decoder, dataOffset, out)) {
    (void)DiscardNewFile(out, written);
    return false;
  }
  // Time and attributes are a courtesy, set through the handle that wrote
  // the data rather than by opening the file again. A replacement carries
  // them through the rename. A date that does not exist leaves the file
  // with neither.
  LocalDateTime when;
  const bool dated = DosToLocal(entry.dosDate, entry.dosTime, when);
  const std::uint32_t attributes = TargetAttributes(entry);
  if (dated)
    (void)SetWrittenFileTimeAndAttributes(out, when, attributes);
  out.Close();
  // A target that refuses keeps its bytes, and the entry counts as not
  // installed: a read-only or running program left at its old version
  // beside the new files of the package would be a mix of two versions.
  if (!inPlace && holdWaits.Replace(written, target) != 0) {
    // A read-only file cannot be deleted.
    if (dated && (attributes & kAttributeReadOnly) != 0)
      (void)WriteFileAttributes(written, 0);
    (void)RemoveFile(written);
    return false;
  }
  return true;
}

Decoder* TUnZipper::DecoderFor(const DecoderParams& params) {
  // A decoder's state can be large (a deflate window and tables), and
  // packages hold thousands of small entries of one method.
  if (decoder_ != nullptr && decoderMethod_ == params.method && decoder_->Restart(params))
    return decoder_.get();
  decoder_ = MakeDecoder(params);
  decoderMethod_ = params.method;
  return decoder_.get();
}

bool TUnZipper::DecodeInto(const CentralEntry& entry, Decoder& decoder, std::uint64_t dataOffset,
                           File& out) {
  std::uint64_t position = dataOffset;
  std::uint64_t left = entry.compressedSize;
  std::size_t begin = 0, end = 0, filled = 0;
  std::uint64_t total = 0;
  std::uint32_t crc = 0;

  // Tops the input buffer up from the archive after what it still holds.
  auto refill = [&]() {
    if (begin > 0) {
      std::memmove(input_.data(), input_.data() + begin, end - begin);
      end -= begin;
      begin = 0;
    }
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(input_.size() - end, left));
    if (count == 0 || !source_->ReadAt(position, input_.data() + end, count))
      return false;
    end += count;
    position += count;
    left -= count;
    return true;
  };
  HoleWriter writer(out);
  auto flush = [&]() {
    crc = UpdateCrc32(crc, std::span<const std::uint8_t>(output_.data(), filled));
    const bool ok = writer.Write(output_.data(), filled);
    if (ok && OnProgress) {
      progressDone_ += filled;
      OnProgress(progressDone_, progressTotal_);
    }
    filled = 0;
    return ok;
  };

  for (;;) {
    // A stop discards the entry like damaged data: the caller deletes what
    // was written, and an existing file keeps its bytes.
    if (turns_ != nullptr && !turns_->Pass())
      return false;
    if (begin == end && left > 0 && !refill())
      return false;
    const DecodeResult result =
        decoder.Decode(std::span<const std::uint8_t>(input_.data() + begin, end - begin), left == 0,
                       std::span<std::uint8_t>(output_.data() + filled, output_.size() - filled));
    if (result.status == DecodeStatus::Error)
      return false;
    begin += result.consumed;
    filled += result.produced;
    total += result.produced;
    if (total > entry.uncompressedSize)
      return false;
    const bool done = result.status == DecodeStatus::Done;
    if ((filled == output_.size() || (done && filled > 0)) && !flush())
      return false;
    if (done)
      break;
    // No progress: the decoder wants more than the buffer holds, or the
    // data ended before the stream did.
    if (result.consumed == 0 && result.produced == 0 && (left == 0 || !refill()))
      return false;
  }
  return total == entry.uncompressedSize && crc == entry.crc32 && writer.Finish();
}

}  // namespace zephora::zip
