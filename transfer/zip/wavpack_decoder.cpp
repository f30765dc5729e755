#include <wavpack/wavpack.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/byte_reader.h"
#include "transfer/zip/library_decoders.h"

namespace zephora::zip {
namespace {

constexpr std::size_t kBlockHeaderSize = 32;
constexpr std::uint32_t kFinalBlock = 0x1000;  // last block of a frame's channels
constexpr std::size_t kMaxBuffered = 4 * 1024 * 1024;
constexpr std::uint32_t kFramesPerCall = 4096;

// A WavPack entry holds the WavPack stream of the original audio file,
// whose header and trailer travel as wrapper data in the blocks. libwavpack
// pulls its input through a reader; this decoder is pushed input by the
// caller. So the decoder gathers whole frames (the blocks of all channels
// for a run of samples) and lets the library read only those, asking it for
// exactly the samples they hold: the library never reads past what is here.
class WavPackDecoder final : public Decoder {
 public:
  WavPackDecoder() {
    reader_.read_bytes = &ReadBytes;
    reader_.write_bytes = &WriteBytes;
    reader_.get_pos = &GetPos;
    reader_.set_pos_abs = &SetPosAbs;
    reader_.set_pos_rel = &SetPosRel;
    reader_.push_back_byte = &PushBackByte;
    reader_.get_length = &GetLength;
    reader_.can_seek = &CanSeek;
    reader_.truncate_here = &TruncateHere;
    reader_.close = &CloseReader;
  }
  ~WavPackDecoder() override {
    if (context_ != nullptr)
      WavpackCloseFile(context_);
  }
  WavPackDecoder(const WavPackDecoder&) = delete;
  WavPackDecoder& operator=(const WavPackDecoder&) = delete;

  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override {
    std::size_t produced = Drain(output);
    std::size_t consumed = 0;
    Compact();
    if (buffer_.size() - read_ < kMaxBuffered || readyBytes_ == read_) {
      buffer_.insert(buffer_.end(), input.begin(), input.end());
      consumed = input.size();
    }
    const bool allIn = inputEnd && consumed == input.size();
    if (!ScanFrames(allIn))
      return Fail(error_);

    for (;;) {
      produced += Drain(output.subspan(produced));
      if (!pending_.empty() || produced == output.size())
        break;
      switch (mode_) {
        case Mode::Opening:
          if (readySamples_ == 0 && !(allIn && readyBytes_ == buffer_.size())) {
            return {consumed, produced, DecodeStatus::Ok};
          }
          if (!Open())
            return Fail(error_);
          mode_ = Mode::Samples;
          continue;
        case Mode::Samples:
          if (samplesDone_ < readySamples_) {
            if (!Unpack())
              return Fail(error_);
            continue;
          }
          if (!(allIn && readyBytes_ == buffer_.size())) {
            return {consumed, produced, DecodeStatus::Ok};
          }
          Finish();
          mode_ = Mode::Trailer;
          continue;
        case Mode::Trailer:
          mode_ = Mode::Done;
          [[fallthrough]];
        case Mode::Done:
          return {consumed, produced, DecodeStatus::Done};
      }
    }
    return {consumed, produced, DecodeStatus::Ok};
  }

 private:
  enum class Mode {
    Opening,  // gathering the first frame; then the header goes out
    Samples,  // unpacking the samples of the gathered frames
    Trailer,  // the trailing wrapper goes out
    Done,
  };

  std::size_t Drain(std::span<std::uint8_t> output) {
    const std::size_t count = std::min(output.size(), pending_.size() - pendingAt_);
    if (count > 0)
      std::memcpy(output.data(), pending_.data() + pendingAt_, count);
    pendingAt_ += count;
    if (pendingAt_ == pending_.size()) {
      pending_.clear();
      pendingAt_ = 0;
    }
    return count;
  }

  // Drops the bytes the library has read.
  void Compact() {
    if (read_ < 256 * 1024)
      return;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(read_));
    discarded_ += read_;
    scan_ -= read_;
    readyBytes_ -= read_;
    read_ = 0;
  }

  // Moves readyBytes_ past every frame whose blocks are all here.
  bool ScanFrames(bool allIn) {
    while (buffer_.size() - scan_ >= kBlockHeaderSize) {
      const std::uint8_t* block = buffer_.data() + scan_;
      if (std::memcmp(block, "wvpk", 4) != 0) {
        error_ = "no WavPack block at stream byte " + std::to_string(discarded_ + scan_);
        return false;
      }
      const std::uint64_t size = std::uint64_t{Load32(block + 4)} + 8;
      if (size < kBlockHeaderSize || size > kMaxBuffered) {
        error_ = "WavPack block of " + std::to_string(size) + " bytes";
        return false;
      }
      if (buffer_.size() - scan_ < size)
        break;
      const std::uint32_t samples = Load32(block + 20);
      const std::uint32_t flags = Load32(block + 24);
      scan_ += static_cast<std::size_t>(size);
      if ((flags & kFinalBlock) != 0 || samples == 0) {
        readyBytes_ = scan_;
        readySamples_ += samples;
      }
    }
    if (allIn && scan_ != buffer_.size()) {
      error_ = "WavPack stream ends inside a block";
      return false;
    }
    if (allIn)
      readyBytes_ = buffer_.size();
    return true;
  }

  bool Open() {
    char message[80] = {};
    context_ = WavpackOpenFileInputEx64(&reader_, this, nullptr, message,
                                        OPEN_WRAPPER | OPEN_STREAMING | OPEN_ALT_TYPES, 0);
    if (context_ == nullptr) {
      error_ = std::string("WavPack stream not accepted: ") + message;
      return false;
    }
    const int mode = WavpackGetMode(context_);
    const int qualify = WavpackGetQualifyMode(context_);
    channels_ = WavpackGetNumChannels(context_);
    bytesPerSample_ = WavpackGetBytesPerSample(context_);
    bigEndian_ = (qualify & QMODE_BIG_ENDIAN) != 0;
    signedBytes_ = (qualify & QMODE_SIGNED_BYTES) != 0;
    unsignedWords_ = (qualify & QMODE_UNSIGNED_WORDS) != 0;
    floating_ = (mode & MODE_FLOAT) != 0;
    if (channels_ < 1 || bytesPerSample_ < 1 || bytesPerSample_ > 4 ||
        (qualify & QMODE_DSD_AUDIO)) {
      error_ = "WavPack sample format not supported";
      return false;
    }
    TakeWrapper();
    riff_ = pending_.size() >= 4 && (std::memcmp(pending_.data(), "RIFF", 4) == 0 ||
                                     std::memcmp(pending_.data(), "RF64", 4) == 0);
    return true;
  }

  void TakeWrapper() {
    const std::uint32_t size = WavpackGetWrapperBytes(context_);
    if (size > 0) {
      const std::uint8_t* data = WavpackGetWrapperData(context_);
      pending_.insert(pending_.end(), data, data + size);
    }
    WavpackFreeWrapper(context_);
  }

  bool Unpack() {
    const auto frames = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(readySamples_ - samplesDone_, kFramesPerCall));
    samples_.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_));
    const std::uint32_t got = WavpackUnpackSamples(context_, samples_.data(), frames);
    if (got != frames || WavpackGetNumErrors(context_) > 0) {
      error_ = "WavPack data damaged near sample " + std::to_string(samplesDone_ + got);
      return false;
    }
    samplesDone_ += got;
    const std::size_t count = static_cast<std::size_t>(got) * static_cast<std::size_t>(channels_);
    pending_.reserve(pending_.size() + count * static_cast<std::size_t>(bytesPerSample_));
    for (std::size_t i = 0; i < count; ++i)
      Put(samples_[i]);
    return true;
  }

  // One sample as the original file stored it.
  void Put(std::int32_t sample) {
    std::uint32_t value = static_cast<std::uint32_t>(sample);
    if (!floating_) {
      if (bytesPerSample_ == 1 && !signedBytes_)
        value += 0x80;
      if (bytesPerSample_ > 1 && unsignedWords_)
        value += 1u << (bytesPerSample_ * 8 - 1);
    }
    for (int b = 0; b < bytesPerSample_; ++b) {
      const int shift = bigEndian_ ? (bytesPerSample_ - 1 - b) * 8 : b * 8;
      pending_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
  }

  // Blocks after the last samples may carry the rest of the wrapper; asking
  // for one more sample makes the library read them.
  void Finish() {
    samples_.assign(static_cast<std::size_t>(channels_), 0);
    if (read_ < buffer_.size())
      WavpackUnpackSamples(context_, samples_.data(), 1);
    // RIFF pads an odd-sized data chunk with a zero byte that the stream
    // does not keep.
    const std::uint64_t dataBytes = samplesDone_ * static_cast<std::uint64_t>(channels_) *
                                    static_cast<std::uint64_t>(bytesPerSample_);
    if (riff_ && dataBytes % 2 == 1)
      pending_.push_back(0);
    TakeWrapper();
  }

  static WavPackDecoder& Self(void* id) { return *static_cast<WavPackDecoder*>(id); }
  static int32_t ReadBytes(void* id, void* data, int32_t count) {
    WavPackDecoder& d = Self(id);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(count, 0)),
                                                d.readyBytes_ - d.read_);
    if (n > 0)
      std::memcpy(data, d.buffer_.data() + d.read_, n);
    d.read_ += n;
    return static_cast<int32_t>(n);
  }
  static int32_t WriteBytes(void*, void*, int32_t) { return 0; }
  static int64_t GetPos(void* id) {
    return static_cast<int64_t>(Self(id).discarded_ + Self(id).read_);
  }
  static int SetPosAbs(void*, int64_t) { return -1; }
  static int SetPosRel(void*, int64_t, int) { return -1; }
  static int PushBackByte(void* id, int c) {
    WavPackDecoder& d = Self(id);
    if (d.read_ == 0)
      return EOF;
    --d.read_;
    return c;
  }
  static int64_t GetLength(void*) { return 0; }
  static int CanSeek(void*) { return 0; }
  static int TruncateHere(void*) { return -1; }
  static int CloseReader(void*) { return 0; }

  WavpackStreamReader64 reader_{};
  WavpackContext* context_ = nullptr;
  Mode mode_ = Mode::Opening;
  std::vector<std::uint8_t> buffer_;  // compressed bytes not yet dropped
  std::size_t read_ = 0;              // what the library has read of buffer_
  std::size_t scan_ = 0;              // end of the whole blocks in buffer_
  std::size_t readyBytes_ = 0;        // end of the whole frames in buffer_
  std::uint64_t discarded_ = 0;
  std::uint64_t readySamples_ = 0;
  std::uint64_t samplesDone_ = 0;
  std::vector<std::uint8_t> pending_;  // decoded bytes not yet handed out
  std::size_t pendingAt_ = 0;
  std::vector<std::int32_t> samples_;
  int channels_ = 0;
  int bytesPerSample_ = 0;
  bool bigEndian_ = false;
  bool signedBytes_ = false;
  bool unsignedWords_ = false;
  bool floating_ = false;
  bool riff_ = false;
  std::string error_;
};

}  // namespace

std::unique_ptr<Decoder> MakeWavPackDecoder(const DecoderParams&) {
  return std::make_unique<WavPackDecoder>();
}

}  // namespace zephora::zip
