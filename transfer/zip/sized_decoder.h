// The common start of the decoders whose stream has no end marker of its
// own (shrink, reduce, implode, PPMd): each stops at the entry's uncompressed
// size, so an empty entry is complete before its first byte.
#pragma once

#include <cstdint>

#include "transfer/zip/decoder.h"

namespace zephora::zip {

// `Mode` is the decoder's state enum, with a state `Done`.
template <typename Mode>
class SizedDecoder : public Decoder {
 protected:
  SizedDecoder(const DecoderParams& params, Mode first)
      : size_(params.uncompressedSize), mode_(size_ == 0 ? Mode::Done : first) {}

  const std::uint64_t size_;  // the entry's uncompressed size
  Mode mode_;
};

}  // namespace zephora::zip
