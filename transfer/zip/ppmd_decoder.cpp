#include "transfer/zip/own_decoders.h"

namespace zephora::zip {

std::unique_ptr<Decoder> MakePpmdDecoder(const DecoderParams&) {
  return nullptr;
}

}  // namespace zephora::zip
