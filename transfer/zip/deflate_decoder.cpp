#include <zlib.h>

#include <climits>

#include "transfer/zip/library_decoders.h"

namespace zephora::zip {
namespace {

// Raw deflate through zlib: no zlib or gzip wrapper in a ZIP entry.
class DeflateDecoder final : public Decoder {
 public:
  DeflateDecoder() { ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~DeflateDecoder() override {
    if (ready_)
      inflateEnd(&stream_);
  }
  DeflateDecoder(const DeflateDecoder&) = delete;
  DeflateDecoder& operator=(const DeflateDecoder&) = delete;

  bool Ready() const { return ready_; }

  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override {
    if (done_)
      return {0, 0, DecodeStatus::Done};
    const uInt inSize = input.size() > UINT_MAX ? UINT_MAX : static_cast<uInt>(input.size());
    const uInt outSize = output.size() > UINT_MAX ? UINT_MAX : static_cast<uInt>(output.size());
    stream_.next_in = const_cast<Bytef*>(input.data());
    stream_.avail_in = inSize;
    stream_.next_out = output.data();
    stream_.avail_out = outSize;
    const int rc = inflate(&stream_, Z_NO_FLUSH);
    const DecodeResult result{inSize - stream_.avail_in, outSize - stream_.avail_out,
                              DecodeStatus::Ok};
    if (rc == Z_STREAM_END) {
      done_ = true;
      return {result.consumed, result.produced, DecodeStatus::Done};
    }
    if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT || rc == Z_MEM_ERROR) {
      return Fail(std::string("deflate data damaged at input byte ") +
                  std::to_string(stream_.total_in) + ": " +
                  (stream_.msg != nullptr ? stream_.msg : "error"));
    }
    if (rc == Z_BUF_ERROR && inputEnd && stream_.avail_in == 0 && stream_.avail_out > 0) {
      return Fail("deflate data ends early at input byte " + std::to_string(stream_.total_in));
    }
    return result;
  }

 private:
  z_stream stream_{};
  bool ready_ = false;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<Decoder> MakeDeflateDecoder(const DecoderParams&) {
  auto decoder = std::make_unique<DeflateDecoder>();
  if (!decoder->Ready())
    return nullptr;
  return decoder;
}

}  // namespace zephora::zip
