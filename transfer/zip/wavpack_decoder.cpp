#include "transfer/zip/library_decoders.h"

namespace zephora::zip {

std::unique_ptr<Decoder> MakeWavPackDecoder(const DecoderParams&) {
  return nullptr;
}

}  // namespace zephora::zip
