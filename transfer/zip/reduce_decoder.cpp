// Reducing (methods 2 to 5, compression factor = method - 1): each byte is
// coded against a follower set of its predecessor, and the resulting bytes
// are expanded by a run/match escape (DLE, 0x90) with a distance of up to
// 4 KiB. The stream stops at the entry's uncompressed size.
#include <array>

#include "transfer/zip/lz_support.h"
#include "transfer/zip/own_decoders.h"
#include "transfer/zip/sized_decoder.h"

namespace zephora::zip {
namespace {

constexpr std::uint8_t kEscape = 0x90;

// Bits of a follower index for a set of n bytes (n > 0).
int IndexBits(int n) {
  int bits = 1;
  while ((1 << bits) < n)
    ++bits;
  return bits;
}

enum class Mode {
  SetSize,   // the 6-bit size of the follower set of byte `set_`
  SetBytes,  // its bytes
  Byte,      // one byte of the follower-coded stream
  Done,      // the uncompressed size is reached
};

class ReduceDecoder final : public SizedDecoder<Mode> {
 public:
  explicit ReduceDecoder(const DecoderParams& params)
      : SizedDecoder(params, Mode::SetSize), factor_(params.method - 1) {}

  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override;

 private:
  // What the last expanded bytes mean to the escape expansion.
  enum class Expand {
    Plain,       // ordinary bytes
    Escaped,     // after the escape: 0 for a literal escape, else a match
    LongLength,  // a length byte more for the longest match code
    Distance,    // the low distance byte
  };

  const int factor_;
  Expand expand_ = Expand::Plain;
  BitReader bits_;
  Window window_{4096};
  int set_ = 255;
  int setFilled_ = 0;
  std::array<std::uint8_t, 256> setSize_{};
  std::array<std::array<std::uint8_t, 32>, 256> sets_{};
  std::uint8_t last_ = 0;
  std::uint32_t matchCode_ = 0;
  std::uint32_t matchLength_ = 0;
};

DecodeResult ReduceDecoder::Decode(std::span<const std::uint8_t> input, bool inputEnd,
                                   std::span<std::uint8_t> output) {
  Cursor cursor{input, output};
  for (;;) {
    if (window_.Pending())
      window_.Copy(cursor, size_ - window_.Total());
    if (window_.Total() == size_) {
      window_.DropPending();
      mode_ = Mode::Done;
    }
    if (mode_ == Mode::Done)
      return {cursor.consumed, cursor.produced, DecodeStatus::Done};
    if (window_.Pending() || cursor.Room() == 0) {
      return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
    }
    // Every step needs at most 9 bits.
    const int need = mode_ == Mode::SetSize    ? 6
                     : mode_ == Mode::SetBytes ? 8
                     : setSize_[last_] == 0    ? 8
                                               : 1;
    if (!bits_.Fill(cursor, need)) {
      if (inputEnd)
        return Fail(AtOffset("Reduced data ends early", bits_.Offset()));
      return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
    }
    if (mode_ == Mode::SetSize) {
      const std::uint32_t count = bits_.Take(6);
      if (count > 32)
        return Fail(AtOffset("Invalid reduced follower set", bits_.Offset()));
      setSize_[set_] = static_cast<std::uint8_t>(count);
      setFilled_ = 0;
      mode_ = Mode::SetBytes;
    }
    if (mode_ == Mode::SetBytes) {
      while (setFilled_ < setSize_[set_]) {
        if (!bits_.Fill(cursor, 8))
          break;
        sets_[set_][setFilled_++] = static_cast<std::uint8_t>(bits_.Take(8));
      }
      if (setFilled_ < setSize_[set_])
        continue;
      mode_ = set_-- == 0 ? Mode::Byte : Mode::SetSize;
      continue;
    }
    // Mode::Byte: a literal byte, or an index into the follower set.
    const int setSize = setSize_[last_];
    std::uint8_t byte = 0;
    if (setSize == 0) {
      byte = static_cast<std::uint8_t>(bits_.Take(8));
    } else {
      const int indexBits = IndexBits(setSize);
      bits_.Fill(cursor, 9);
      const bool literal = bits_.Peek(1) != 0;
      const int width = 1 + (literal ? 8 : indexBits);
      if (bits_.Available() < width) {
        if (inputEnd)
          return Fail(AtOffset("Reduced data ends early", bits_.Offset()));
        return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
      }
      bits_.Drop(1);
      if (literal) {
        byte = static_cast<std::uint8_t>(bits_.Take(8));
      } else {
        const std::uint32_t index = bits_.Take(indexBits);
        if (index >= static_cast<std::uint32_t>(setSize)) {
          return Fail(AtOffset("Invalid reduced follower index", bits_.Offset()));
        }
        byte = sets_[last_][index];
      }
    }
    last_ = byte;
    const std::uint32_t lengthMask = 0x7Fu >> (factor_ - 1);
    switch (expand_) {
      case Expand::Plain:
        if (byte == kEscape) {
          expand_ = Expand::Escaped;
        } else {
          window_.Put(byte, cursor);
        }
        break;
      case Expand::Escaped:
        if (byte == 0) {
          window_.Put(kEscape, cursor);
          expand_ = Expand::Plain;
        } else {
          matchCode_ = byte;
          matchLength_ = byte & lengthMask;
          expand_ = matchLength_ == lengthMask ? Expand::LongLength : Expand::Distance;
        }
        break;
      case Expand::LongLength:
        matchLength_ += byte;
        expand_ = Expand::Distance;
        break;
      case Expand::Distance: {
        const std::uint32_t distance = (matchCode_ >> (8 - factor_)) * 256 + byte + 1;
        window_.StartCopy(distance, matchLength_ + 3);
        expand_ = Expand::Plain;
        break;
      }
    }
  }
}

}  // namespace

std::unique_ptr<Decoder> MakeReduceDecoder(const DecoderParams& params) {
  if (params.method < 2 || params.method > 5)
    return nullptr;
  return std::make_unique<ReduceDecoder>(params);
}

}  // namespace zephora::zip
