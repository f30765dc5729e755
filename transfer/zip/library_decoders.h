// Decoders built on the codec libraries, one class per method in a file of
// its own. Each returns null when the parameters cannot describe a stream.
#pragma once

#include <memory>

#include "transfer/zip/decoder.h"

namespace zephora::zip {

std::unique_ptr<Decoder> MakeStoredDecoder(const DecoderParams& params);   // method 0
std::unique_ptr<Decoder> MakeDeflateDecoder(const DecoderParams& params);  // method 8
std::unique_ptr<Decoder> MakeBzip2Decoder(const DecoderParams& params);    // method 12
std::unique_ptr<Decoder> MakeLzmaDecoder(const DecoderParams& params);     // method 14
std::unique_ptr<Decoder> MakeWavPackDecoder(const DecoderParams& params);  // method 97

}  // namespace zephora::zip
