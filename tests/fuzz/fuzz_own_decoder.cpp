// libFuzzer target for one of our own ZIP decoders (ZEPHORA_FUZZ_METHOD).
// The first bytes choose the entry's flags and size; the rest is the stream.
// Besides the sanitizers' checks it traps when the decoder overruns its
// spans, stalls, or decodes differently when fed one byte at a time.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "transfer/zip/own_decoders.h"

namespace {

using zephora::zip::Decoder;
using zephora::zip::DecoderParams;
using zephora::zip::DecodeStatus;

std::unique_ptr<Decoder> Make(const DecoderParams& params) {
  switch (params.method) {
    case 1:
      return zephora::zip::MakeShrinkDecoder(params);
    case 2:
    case 3:
    case 4:
    case 5:
      return zephora::zip::MakeReduceDecoder(params);
    case 6:
      return zephora::zip::MakeImplodeDecoder(params);
    case 9:
      return zephora::zip::MakeDeflate64Decoder(params);
    default:
      return zephora::zip::MakePpmdDecoder(params);
  }
}

struct Outcome {
  DecodeStatus status = DecodeStatus::Ok;
  std::vector<std::uint8_t> bytes;
};

Outcome Run(const DecoderParams& params, const std::uint8_t* data, std::size_t size,
            std::size_t inStep, std::size_t outStep) {
  Outcome outcome;
  auto decoder = Make(params);
  if (decoder == nullptr)
    return outcome;
  std::vector<std::uint8_t> room(outStep);
  std::size_t position = 0;
  for (;;) {
    const std::size_t piece = std::min(inStep, size - position);
    const bool inputEnd = position + piece == size;
    const auto step = decoder->Decode(std::span(data + position, piece), inputEnd, room);
    if (step.consumed > piece || step.produced > room.size())
      __builtin_trap();
    position += step.consumed;
    outcome.bytes.insert(outcome.bytes.end(), room.begin(),
                         room.begin() + static_cast<std::ptrdiff_t>(step.produced));
    outcome.status = step.status;
    if (step.status == DecodeStatus::Error) {
      if (decoder->ErrorMessage().find(" at offset ") == std::string::npos)
        __builtin_trap();
      return outcome;
    }
    if (step.status == DecodeStatus::Done)
      return outcome;
    if (step.consumed == 0 && step.produced == 0) {
      if (!inputEnd)
        __builtin_trap();  // stuck with input and room left
      outcome.status = DecodeStatus::Error;
      return outcome;
    }
    // Bounded output keeps each run short; PPMd is the slowest per byte.
    if (outcome.bytes.size() > (params.method == 98 ? 1u << 12 : 1u << 16))
      return outcome;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3)
    return 0;
  DecoderParams params;
  params.method = ZEPHORA_FUZZ_METHOD;
  if (params.method >= 2 && params.method <= 5)
    params.method = 2 + data[0] % 4;
  params.flags = data[0];
  params.uncompressedSize = static_cast<std::uint64_t>(data[1] | data[2] << 8) * 8;
  std::vector<std::uint8_t> stream(data + 3, data + size);
  // PPMd models of 1 MiB: larger arenas only slow the search down, and the
  // smallest runs out of memory soonest.
  if (params.method == 98 && stream.size() >= 2) {
    stream[0] &= 0x0F;
    stream[1] &= 0xF0;
  }
  data = stream.data();
  size = stream.size();
  params.compressedSize = size;
  const Outcome whole = Run(params, data, size, size + 1, 4096);
  const Outcome bytewise = Run(params, data, size, 1, 1);
  // Fed piecewise, a decoder must come to the same end as when fed whole.
  if (whole.status != DecodeStatus::Ok && bytewise.status != DecodeStatus::Ok) {
    if (whole.status != bytewise.status)
      __builtin_trap();
    if (whole.status == DecodeStatus::Done && whole.bytes != bytewise.bytes)
      __builtin_trap();
  }
  return 0;
}
