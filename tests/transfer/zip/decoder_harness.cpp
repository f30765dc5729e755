#include "tests/transfer/zip/decoder_harness.h"

#include <algorithm>
#include <vector>

namespace zephora::test {

Decoded RunDecoder(zip::Decoder& decoder, std::span<const std::uint8_t> data, std::size_t inStep,
                   std::size_t outStep) {
  Decoded result;
  std::vector<std::uint8_t> room(outStep);
  std::size_t position = 0;
  // A decoder that takes nothing and gives nothing, piece after piece, is stuck.
  for (int idle = 0; idle < 4;) {
    const std::size_t piece = std::min(inStep, data.size() - position);
    const bool inputEnd = position + piece == data.size();
    const zip::DecodeResult step = decoder.Decode(data.subspan(position, piece), inputEnd, room);
    if (step.consumed > piece || step.produced > room.size()) {
      result.status = zip::DecodeStatus::Error;
      result.message = "overran its spans";
      return result;
    }
    position += step.consumed;
    result.bytes.append(reinterpret_cast<const char*>(room.data()), step.produced);
    result.status = step.status;
    if (step.status == zip::DecodeStatus::Error) {
      result.message = decoder.ErrorMessage();
      return result;
    }
    if (step.status == zip::DecodeStatus::Done)
      return result;
    const bool progress = step.consumed != 0 || step.produced != 0;
    // At the end of the input, no progress means the data ended early.
    if (!progress && inputEnd)
      break;
    idle = progress ? 0 : idle + 1;
  }
  result.status = zip::DecodeStatus::Error;
  result.message = "stalled";
  return result;
}

Decoded RunDecoder(const zip::DecoderParams& params, std::span<const std::uint8_t> data,
                   std::size_t inStep, std::size_t outStep) {
  const std::unique_ptr<zip::Decoder> decoder = zip::MakeDecoder(params);
  if (decoder == nullptr)
    return {zip::DecodeStatus::Error, {}, "no decoder"};
  return RunDecoder(*decoder, data, inStep, outStep);
}

}  // namespace zephora::test
