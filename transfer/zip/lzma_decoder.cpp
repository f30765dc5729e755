#include <lzma.h>

#include <algorithm>
#include <cstdlib>

#include "transfer/zip/entry_flags.h"
#include "transfer/zip/library_decoders.h"

namespace zephora::zip {
namespace {

// LZMA in a ZIP entry: a 4-byte header (encoder version, size of the
// properties) and 5 property bytes, then raw LZMA1 data. A flag says the
// data ends with an end-of-stream marker; without it the entry's size ends
// the stream (a marker is still accepted then).
class LzmaDecoder final : public Decoder {
 public:
  LzmaDecoder(std::uint64_t size, bool endMarker) : size_(size), endMarker_(endMarker) {}
  ~LzmaDecoder() override { lzma_end(&stream_); }
  LzmaDecoder(const LzmaDecoder&) = delete;
  LzmaDecoder& operator=(const LzmaDecoder&) = delete;

  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override {
    std::size_t taken = 0;
    switch (mode_) {
      case Mode::Header:
        while (headerLength_ < kHeaderSize && taken < input.size()) {
          header_[headerLength_++] = input[taken++];
        }
        if (headerLength_ < kHeaderSize) {
          if (inputEnd && taken == input.size())
            return Fail("LZMA header cut short");
          return {taken, 0, DecodeStatus::Ok};
        }
        if (header_[2] != 5 || header_[3] != 0) {
          return Fail("LZMA properties of " + std::to_string(header_[2] | header_[3] << 8) +
                      " bytes");
        }
        if (!Start())
          return Fail("LZMA properties not accepted, or a dictionary above 1 GiB");
        mode_ = Mode::Data;
        [[fallthrough]];
      case Mode::Data:
        break;
      case Mode::Done:
        return {0, 0, DecodeStatus::Done};
    }
    const std::span<const std::uint8_t> data = input.subspan(taken);
    stream_.next_in = data.data();
    stream_.avail_in = data.size();
    stream_.next_out = output.data();
    stream_.avail_out = output.size();
    const lzma_ret rc = lzma_code(&stream_, LZMA_RUN);
    const std::size_t consumed = taken + (data.size() - stream_.avail_in);
    const std::size_t produced = output.size() - stream_.avail_out;
    if (rc == LZMA_STREAM_END) {
      mode_ = Mode::Done;
      return {consumed, produced, DecodeStatus::Done};
    }
    if (rc != LZMA_OK && rc != LZMA_BUF_ERROR) {
      return Fail("LZMA data damaged near input byte " + std::to_string(stream_.total_in) +
                  " (error " + std::to_string(static_cast<int>(rc)) + ")");
    }
    if (inputEnd && stream_.avail_in == 0 && consumed == 0 && produced == 0 && !output.empty()) {
      return Fail("LZMA data ends early at input byte " + std::to_string(stream_.total_in));
    }
    return {consumed, produced, DecodeStatus::Ok};
  }

 private:
  static constexpr std::size_t kHeaderSize = 9;
  static constexpr std::uint32_t kMaxDictionary = 1u << 30;
  enum class Mode {
    Header,  // gathering the version and the properties
    Data,    // liblzma decodes
    Done,    // the stream ended
  };

  bool Start() {
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, header_ + 4, 5) != LZMA_OK)
      return false;
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    // The dictionary never needs to be larger than the entry, and the
    // declared size is what liblzma allocates: bound it by both.
    const std::uint64_t needed = std::max<std::uint64_t>(size_, LZMA_DICT_SIZE_MIN);
    if (options->dict_size > needed)
      options->dict_size = static_cast<std::uint32_t>(needed);
    if (options->dict_size > kMaxDictionary) {
      std::free(options);
      return false;
    }
    options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    const std::uint64_t size = endMarker_ ? LZMA_VLI_UNKNOWN : size_;
    options->ext_size_low = static_cast<std::uint32_t>(size);
    options->ext_size_high = static_cast<std::uint32_t>(size >> 32);
    const bool ok = lzma_raw_decoder(&stream_, filters) == LZMA_OK;
    std::free(options);
    return ok;
  }

  lzma_stream stream_ = LZMA_STREAM_INIT;
  std::uint64_t size_;
  bool endMarker_;
  Mode mode_ = Mode::Header;
  std::uint8_t header_[kHeaderSize] = {};
  std::size_t headerLength_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> MakeLzmaDecoder(const DecoderParams& params) {
  return std::make_unique<LzmaDecoder>(params.uncompressedSize,
                                       (params.flags & kFlagLzmaEndMarker) != 0);
}

}  // namespace zephora::zip
