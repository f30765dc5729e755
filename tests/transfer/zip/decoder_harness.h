// Every decoder's tests feed it as the extractor does: in pieces of a chosen
// size, with a chosen room for its output, until it ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "transfer/zip/decoder.h"

namespace zephora::test {

struct Decoded {
  zip::DecodeStatus status = zip::DecodeStatus::Ok;
  std::string bytes;
  // The decoder's message; "no decoder", "stalled" (no progress while the
  // input had ended) or "overran its spans" from the feeding itself.
  std::string message;
};

// Feeds `data` in pieces of at most `inStep` bytes with `outStep` bytes of
// output room until the decoder finishes, fails or stops making progress.
Decoded RunDecoder(zip::Decoder& decoder, std::span<const std::uint8_t> data, std::size_t inStep,
                   std::size_t outStep);

// The same with the decoder that the dispatch gives for `params`.
Decoded RunDecoder(const zip::DecoderParams& params, std::span<const std::uint8_t> data,
                   std::size_t inStep, std::size_t outStep);

inline std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace zephora::test
