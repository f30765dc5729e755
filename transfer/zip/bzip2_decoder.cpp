#include <bzlib.h>

#include <climits>

#include "transfer/zip/library_decoders.h"

namespace zephora::zip {
namespace {

// A bzip2 stream through libbz2. Some writers chain several streams in one
// entry, so a stream end before the entry's size starts the next stream.
class Bzip2Decoder final : public Decoder {
 public:
  explicit Bzip2Decoder(std::uint64_t size) : expected_(size) {
    ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK;
  }
  ~Bzip2Decoder() override {
    if (ready_)
      BZ2_bzDecompressEnd(&stream_);
  }
  Bzip2Decoder(const Bzip2Decoder&) = delete;
  Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

  bool Ready() const { return ready_; }

  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override {
    if (done_)
      return {0, 0, DecodeStatus::Done};
    if (!ready_)
      return Fail("bzip2 decoder could not restart");
    const unsigned inSize =
        input.size() > UINT_MAX ? UINT_MAX : static_cast<unsigned>(input.size());
    const unsigned outSize =
        output.size() > UINT_MAX ? UINT_MAX : static_cast<unsigned>(output.size());
    stream_.next_in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(input.data()));
    stream_.avail_in = inSize;
    stream_.next_out = reinterpret_cast<char*>(output.data());
    stream_.avail_out = outSize;
    const int rc = BZ2_bzDecompress(&stream_);
    const std::size_t consumed = inSize - stream_.avail_in;
    const std::size_t produced = outSize - stream_.avail_out;
    consumedTotal_ += consumed;
    producedTotal_ += produced;
    if (rc == BZ_STREAM_END) {
      if (producedTotal_ >= expected_ || (inputEnd && stream_.avail_in == 0)) {
        done_ = true;
        return {consumed, produced, DecodeStatus::Done};
      }
      BZ2_bzDecompressEnd(&stream_);
      stream_ = bz_stream{};
      ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK;
      return {consumed, produced, DecodeStatus::Ok};
    }
    if (rc != BZ_OK) {
      return Fail("bzip2 data damaged near input byte " + std::to_string(consumedTotal_) +
                  " (error " + std::to_string(rc) + ")");
    }
    if (inputEnd && stream_.avail_in == 0 && consumed == 0 && produced == 0 && outSize > 0) {
      return Fail("bzip2 data ends early at input byte " + std::to_string(consumedTotal_));
    }
    return {consumed, produced, DecodeStatus::Ok};
  }

 private:
  bz_stream stream_{};
  std::uint64_t expected_;
  std::uint64_t consumedTotal_ = 0;
  std::uint64_t producedTotal_ = 0;
  bool ready_ = false;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<Decoder> MakeBzip2Decoder(const DecoderParams& params) {
  auto decoder = std::make_unique<Bzip2Decoder>(params.uncompressedSize);
  if (!decoder->Ready())
    return nullptr;
  return decoder;
}

}  // namespace zephora::zip
