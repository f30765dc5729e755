// Decoders of our own, for the methods that no maintained library decodes.
// Each returns null when the parameters cannot describe a valid stream.
#pragma once

#include <memory>

#include "transfer/zip/decoder.h"

namespace zephora::zip {

std::unique_ptr<Decoder> MakeShrinkDecoder(const DecoderParams& params);     // method 1
std::unique_ptr<Decoder> MakeReduceDecoder(const DecoderParams& params);     // methods 2 to 5
std::unique_ptr<Decoder> MakeImplodeDecoder(const DecoderParams& params);    // method 6
std::unique_ptr<Decoder> MakeDeflate64Decoder(const DecoderParams& params);  // method 9
std::unique_ptr<Decoder> MakePpmdDecoder(const DecoderParams& params);       // method 98

}  // namespace zephora::zip
