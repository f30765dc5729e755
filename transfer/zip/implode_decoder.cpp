// Imploding (method 6): a sliding dictionary of 4 or 8 KiB with Shannon-Fano
// coded literals (optional), lengths and distances. The stream has no end
// marker: it stops at the entry's uncompressed size.
#include <array>

#include "transfer/zip/entry_flags.h"
#include "transfer/zip/lz_support.h"
#include "transfer/zip/own_decoders.h"
#include "transfer/zip/sized_decoder.h"

namespace zephora::zip {
namespace {

enum class Mode {
  TreeSize,   // the byte count of the next tree's description
  TreeBytes,  // its (bit length, count) bytes
  Flag,       // one bit: literal or match
  Literal,    // a coded or plain literal byte
  Distance,   // the low distance bits and the coded high bits
  Length,     // the coded length, with a byte more for the longest
  Done,       // the uncompressed size is reached
};

class ImplodeDecoder final : public SizedDecoder<Mode> {
 public:
  explicit ImplodeDecoder(const DecoderParams& params)
      : SizedDecoder(params, Mode::TreeSize),
        literalTree_((params.flags & kFlagImplodeLiteralTree) != 0),
        distanceLowBits_((params.flags & kFlagImplodeLargeWindow) != 0 ? 7 : 6),
        window_((params.flags & kFlagImplodeLargeWindow) != 0 ? 8192 : 4096) {
    tree_ = literalTree_ ? 0 : 1;
  }

  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override;

 private:
  enum class Step { Continue, NeedInput, NeedOutput, Failed };

  Step RunStep(Cursor& cursor);
  Step Failure(const char* what) {
    failure_ = AtOffset(what, bits_.Offset());
    return Step::Failed;
  }
  // Decodes one symbol of `code`, leaving the bits in place when they do not
  // suffice; codes are stored with every bit complemented.
  Step DecodeSymbol(Cursor& cursor, const PrefixCode& code, int& value);

  const bool literalTree_;
  const int distanceLowBits_;
  BitReader bits_;
  Window window_;
  std::array<PrefixCode, 3> codes_;  // literals, lengths, distances
  int tree_ = 0;
  int treeBytesLeft_ = 0;
  int treeFilled_ = 0;
  std::array<std::uint8_t, 256> treeLengths_{};
  std::uint32_t distance_ = 0;
  std::string failure_;
};

DecodeResult ImplodeDecoder::Decode(std::span<const std::uint8_t> input, bool inputEnd,
                                    std::span<std::uint8_t> output) {
  Cursor cursor{input, output};
  for (;;) {
    if (window_.Pending()) {
      window_.Copy(cursor, size_ - window_.Total());
      if (window_.Total() == size_) {
        window_.DropPending();
        mode_ = Mode::Done;
      }
      if (window_.Pending())
        return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
    }
    if (mode_ != Mode::Done && mode_ >= Mode::Flag && window_.Total() == size_)
      mode_ = Mode::Done;
    if (mode_ == Mode::Done)
      return {cursor.consumed, cursor.produced, DecodeStatus::Done};
    switch (RunStep(cursor)) {
      case Step::Continue:
        break;
      case Step::NeedInput:
        if (inputEnd)
          return Fail(AtOffset("Imploded data ends early", bits_.Offset()));
        return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
      case Step::NeedOutput:
        return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
      case Step::Failed:
        return Fail(failure_);
    }
  }
}

ImplodeDecoder::Step ImplodeDecoder::DecodeSymbol(Cursor& cursor, const PrefixCode& code,
                                                  int& value) {
  bits_.Fill(cursor, 16);
  const PrefixCode::Symbol symbol = code.Lookup(bits_, true);
  if (symbol.value == PrefixCode::kNeedMore)
    return Step::NeedInput;
  if (symbol.value == PrefixCode::kInvalid)
    return Failure("Invalid imploded code");
  value = symbol.value;
  bits_.Drop(symbol.length);
  return Step::Continue;
}

ImplodeDecoder::Step ImplodeDecoder::RunStep(Cursor& cursor) {
  switch (mode_) {
    case Mode::TreeSize: {
      if (!bits_.Fill(cursor, 8))
        return Step::NeedInput;
      treeBytesLeft_ = static_cast<int>(bits_.Take(8)) + 1;
      treeFilled_ = 0;
      mode_ = Mode::TreeBytes;
      return Step::Continue;
    }
    case Mode::TreeBytes: {
      const int symbols = tree_ == 0 ? 256 : 64;
      while (treeBytesLeft_ > 0) {
        if (!bits_.Fill(cursor, 8))
          return Step::NeedInput;
        const std::uint32_t entry = bits_.Take(8);
        const int length = static_cast<int>(entry & 15) + 1;
        const int count = static_cast<int>(entry >> 4) + 1;
        if (treeFilled_ + count > symbols)
          return Failure("Invalid imploded code table");
        for (int i = 0; i < count; ++i)
          treeLengths_[treeFilled_++] = static_cast<std::uint8_t>(length);
        --treeBytesLeft_;
      }
      if (treeFilled_ != symbols ||
          !codes_[tree_].Build(std::span(treeLengths_).first(symbols), 16)) {
        return Failure("Invalid imploded code table");
      }
      mode_ = ++tree_ < 3 ? Mode::TreeSize : Mode::Flag;
      return Step::Continue;
    }
    case Mode::Flag: {
      if (!bits_.Fill(cursor, 1))
        return Step::NeedInput;
      mode_ = bits_.Take(1) != 0 ? Mode::Literal : Mode::Distance;
      return Step::Continue;
    }
    case Mode::Literal: {
      if (cursor.Room() == 0)
        return Step::NeedOutput;
      int value = 0;
      if (literalTree_) {
        const Step step = DecodeSymbol(cursor, codes_[0], value);
        if (step != Step::Continue)
          return step;
      } else {
        if (!bits_.Fill(cursor, 8))
          return Step::NeedInput;
        value = static_cast<int>(bits_.Take(8));
      }
      window_.Put(static_cast<std::uint8_t>(value), cursor);
      mode_ = Mode::Flag;
      return Step::Continue;
    }
    case Mode::Distance: {
      // The low distance bits come first, then the code of the high bits.
      bits_.Fill(cursor, distanceLowBits_ + 16);
      if (bits_.Available() < distanceLowBits_)
        return Step::NeedInput;
      BitReader rest = bits_;
      rest.Drop(distanceLowBits_);
      const PrefixCode::Symbol symbol = codes_[2].Lookup(rest, true);
      if (symbol.value == PrefixCode::kNeedMore)
        return Step::NeedInput;
      if (symbol.value == PrefixCode::kInvalid)
        return Failure("Invalid imploded code");
      const std::uint32_t low = bits_.Take(distanceLowBits_);
      bits_.Drop(symbol.length);
      distance_ = ((static_cast<std::uint32_t>(symbol.value) << distanceLowBits_) | low) + 1;
      mode_ = Mode::Length;
      return Step::Continue;
    }
    case Mode::Length: {
      bits_.Fill(cursor, 16 + 8);
      const PrefixCode::Symbol symbol = codes_[1].Lookup(bits_, true);
      if (symbol.value == PrefixCode::kNeedMore)
        return Step::NeedInput;
      if (symbol.value == PrefixCode::kInvalid)
        return Failure("Invalid imploded code");
      const int extra = symbol.value == 63 ? 8 : 0;
      if (bits_.Available() < symbol.length + extra)
        return Step::NeedInput;
      bits_.Drop(symbol.length);
      std::uint32_t length = static_cast<std::uint32_t>(symbol.value) + bits_.Take(extra);
      length += literalTree_ ? 3 : 2;
      window_.StartCopy(distance_, length);
      mode_ = Mode::Flag;
      return Step::Continue;
    }
    case Mode::Done:
      return Step::Continue;
  }
  return Step::Continue;
}

}  // namespace

std::unique_ptr<Decoder> MakeImplodeDecoder(const DecoderParams& params) {
  return std::make_unique<ImplodeDecoder>(params);
}

}  // namespace zephora::zip
