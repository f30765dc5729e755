#include "transfer/zip/library_decoders.h"
#include "transfer/zip/own_decoders.h"

namespace zephora::zip {

std::unique_ptr<Decoder> MakeDecoder(const DecoderParams& params) {
  switch (params.method) {
    case 0:
      return MakeStoredDecoder(params);
    case 1:
      return MakeShrinkDecoder(params);
    case 2:
    case 3:
    case 4:
    case 5:
      return MakeReduceDecoder(params);
    case 6:
      return MakeImplodeDecoder(params);
    case 8:
      return MakeDeflateDecoder(params);
    case 9:
      return MakeDeflate64Decoder(params);
    case 12:
      return MakeBzip2Decoder(params);
    case 14:
      return MakeLzmaDecoder(params);
    case 97:
      return MakeWavPackDecoder(params);
    case 98:
      return MakePpmdDecoder(params);
    default:
      return nullptr;  // 7 (tokenizing) and everything newer
  }
}

}  // namespace zephora::zip
