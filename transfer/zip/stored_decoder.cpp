#include <algorithm>
#include <cstring>

#include "transfer/zip/library_decoders.h"

namespace zephora::zip {
namespace {

// Stored data is the file itself; the entry's size says where it ends.
class StoredDecoder final : public Decoder {
 public:
  explicit StoredDecoder(std::uint64_t size) : remaining_(size) {}

  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override {
    if (remaining_ == 0)
      return {0, 0, DecodeStatus::Done};
    const std::size_t count = static_cast<std::size_t>(
        std::min<std::uint64_t>({input.size(), output.size(), remaining_}));
    if (count > 0)
      std::memcpy(output.data(), input.data(), count);
    remaining_ -= count;
    if (remaining_ == 0)
      return {count, count, DecodeStatus::Done};
    if (count == 0 && inputEnd && input.empty() && !output.empty()) {
      return Fail("stored data ends " + std::to_string(remaining_) + " bytes early");
    }
    return {count, count, DecodeStatus::Ok};
  }

 private:
  bool Reset(const DecoderParams& params) override {
    remaining_ = params.uncompressedSize;
    return true;
  }

  std::uint64_t remaining_;
};

}  // namespace

std::unique_ptr<Decoder> MakeStoredDecoder(const DecoderParams& params) {
  return std::make_unique<StoredDecoder>(params.uncompressedSize);
}

}  // namespace zephora::zip
