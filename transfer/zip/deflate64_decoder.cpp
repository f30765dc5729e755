// Deflate64 (method 9): Deflate with a 64 KiB window, length code 285
// carrying 16 extra bits (lengths 3 to 65538), and distance codes 30 and 31
// for distances up to 65536.
#include <array>

#include "transfer/zip/lz_support.h"
#include "transfer/zip/own_decoders.h"

namespace zephora::zip {
namespace {

constexpr std::size_t kWindowSize = 65536;

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr std::array<std::uint16_t, 32> kDistanceBase = {
    1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::array<std::uint8_t, 32> kDistanceExtra = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3, 4,
                                                         4,  5,  5,  6,  6,  7,  7,  8,  8,  9, 9,
                                                         10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

class Deflate64Decoder final : public Decoder {
 public:
  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override;

 private:
  enum class Mode {
    BlockHeader,      // the final flag and the block type
    StoredHeader,     // LEN and its complement NLEN, after the byte boundary
    Stored,           // copying the stored block's bytes
    TableSizes,       // HLIT, HDIST, HCLEN of a dynamic block
    CodeLengthCode,   // the 3-bit lengths of the code-length code
    CodeLengths,      // the literal/length and distance code lengths
    LiteralOrLength,  // a literal, the end of the block, or a match length
    Distance,         // the distance of the match whose length we have
    Done,             // after the final block
  };

  // Result of one step: go on, wait for input or output, or stop.
  enum class Step { Continue, NeedInput, NeedOutput, Failed };

  Step RunStep(Cursor& cursor);
  Step Failure(const char* what) {
    failure_ = AtOffset(what, bits_.Offset());
    return Step::Failed;
  }
  Step BuildFixedCodes();

  Mode mode_ = Mode::BlockHeader;
  bool finalBlock_ = false;
  BitReader bits_;
  Window window_{kWindowSize};
  PrefixCode literals_;
  PrefixCode distances_;
  PrefixCode codeLengthCode_;
  std::uint32_t storedLeft_ = 0;
  int literalCount_ = 0;
  int distanceCount_ = 0;
  int codeLengthCount_ = 0;
  int lengthsRead_ = 0;
  std::array<std::uint8_t, 320> lengths_{};
  std::uint32_t matchLength_ = 0;
  std::string failure_;
};

DecodeResult Deflate64Decoder::Decode(std::span<const std::uint8_t> input, bool inputEnd,
                                      std::span<std::uint8_t> output) {
  Cursor cursor{input, output};
  for (;;) {
    if (window_.Pending()) {
      window_.Copy(cursor);
      if (window_.Pending())
        return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
    }
    if (mode_ == Mode::Done)
      return {cursor.consumed, cursor.produced, DecodeStatus::Done};
    switch (RunStep(cursor)) {
      case Step::Continue:
        break;
      case Step::NeedInput:
        if (inputEnd)
          return Fail(AtOffset("Deflate64 data ends early", bits_.Offset()));
        return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
      case Step::NeedOutput:
        return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
      case Step::Failed:
        return Fail(failure_);
    }
  }
}

Deflate64Decoder::Step Deflate64Decoder::BuildFixedCodes() {
  std::array<std::uint8_t, 288> fixed{};
  for (int i = 0; i < 288; ++i)
    fixed[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  std::array<std::uint8_t, 32> fixedDistances{};
  fixedDistances.fill(5);
  if (!literals_.Build(fixed, 15) || !distances_.Build(fixedDistances, 15)) {
    return Failure("Invalid Deflate64 code");
  }
  return Step::Continue;
}

Deflate64Decoder::Step Deflate64Decoder::RunStep(Cursor& cursor) {
  switch (mode_) {
    case Mode::BlockHeader: {
      if (!bits_.Fill(cursor, 3))
        return Step::NeedInput;
      finalBlock_ = bits_.Take(1) != 0;
      const std::uint32_t type = bits_.Take(2);
      if (type == 0) {
        bits_.Align();
        mode_ = Mode::StoredHeader;
      } else if (type == 1) {
        if (BuildFixedCodes() == Step::Failed)
          return Step::Failed;
        mode_ = Mode::LiteralOrLength;
      } else if (type == 2) {
        mode_ = Mode::TableSizes;
      } else {
        return Failure("Invalid Deflate64 block type");
      }
      return Step::Continue;
    }
    case Mode::StoredHeader: {
      if (!bits_.Fill(cursor, 32))
        return Step::NeedInput;
      const std::uint32_t length = bits_.Peek(16);
      const std::uint32_t complement = (bits_.Peek(32) >> 16) ^ 0xFFFFu;
      if (length != complement)
        return Failure("Invalid Deflate64 stored block length");
      bits_.Drop(32);
      storedLeft_ = length;
      mode_ = Mode::Stored;
      return Step::Continue;
    }
    case Mode::Stored: {
      // Bytes already in the bit buffer come first, then straight from the input.
      while (storedLeft_ > 0) {
        if (cursor.Room() == 0)
          return Step::NeedOutput;
        std::uint8_t byte = 0;
        if (bits_.Available() >= 8) {
          byte = static_cast<std::uint8_t>(bits_.Take(8));
        } else if (cursor.HasInput()) {
          byte = cursor.TakeByte();
          bits_.CountDirect(1);
        } else {
          return Step::NeedInput;
        }
        window_.Put(byte, cursor);
        --storedLeft_;
      }
      mode_ = finalBlock_ ? Mode::Done : Mode::BlockHeader;
      return Step::Continue;
    }
    case Mode::TableSizes: {
      if (!bits_.Fill(cursor, 14))
        return Step::NeedInput;
      literalCount_ = static_cast<int>(bits_.Take(5)) + 257;
      distanceCount_ = static_cast<int>(bits_.Take(5)) + 1;
      codeLengthCount_ = static_cast<int>(bits_.Take(4)) + 4;
      if (literalCount_ > 286)
        return Failure("Invalid Deflate64 literal code count");
      lengths_.fill(0);
      lengthsRead_ = 0;
      mode_ = Mode::CodeLengthCode;
      return Step::Continue;
    }
    case Mode::CodeLengthCode: {
      while (lengthsRead_ < codeLengthCount_) {
        if (!bits_.Fill(cursor, 3))
          return Step::NeedInput;
        lengths_[kCodeLengthOrder[lengthsRead_++]] = static_cast<std::uint8_t>(bits_.Take(3));
      }
      if (!codeLengthCode_.Build(std::span(lengths_).first(19), 7) || codeLengthCode_.Empty()) {
        return Failure("Invalid Deflate64 code length code");
      }
      lengths_.fill(0);
      lengthsRead_ = 0;
      mode_ = Mode::CodeLengths;
      return Step::Continue;
    }
    case Mode::CodeLengths: {
      const int total = literalCount_ + distanceCount_;
      while (lengthsRead_ < total) {
        bits_.Fill(cursor, 7 + 7);
        const PrefixCode::Symbol symbol = codeLengthCode_.Lookup(bits_);
        if (symbol.value == PrefixCode::kNeedMore)
          return Step::NeedInput;
        if (symbol.value == PrefixCode::kInvalid)
          return Failure("Invalid Deflate64 code length");
        if (symbol.value < 16) {
          bits_.Drop(symbol.length);
          lengths_[lengthsRead_++] = static_cast<std::uint8_t>(symbol.value);
          continue;
        }
        const int extra = symbol.value == 16 ? 2 : symbol.value == 17 ? 3 : 7;
        if (bits_.Available() < symbol.length + extra)
          return Step::NeedInput;
        bits_.Drop(symbol.length);
        int repeat = static_cast<int>(bits_.Take(extra));
        std::uint8_t value = 0;
        if (symbol.value == 16) {
          if (lengthsRead_ == 0)
            return Failure("Invalid Deflate64 code length repeat");
          value = lengths_[lengthsRead_ - 1];
          repeat += 3;
        } else {
          repeat += symbol.value == 17 ? 3 : 11;
        }
        if (lengthsRead_ + repeat > total)
          return Failure("Invalid Deflate64 code length repeat");
        for (int i = 0; i < repeat; ++i)
          lengths_[lengthsRead_++] = value;
      }
      if (lengths_[256] == 0)
        return Failure("Deflate64 block without an end code");
      if (!literals_.Build(std::span(lengths_).first(literalCount_), 15) ||
          !distances_.Build(std::span(lengths_).subspan(literalCount_, distanceCount_), 15)) {
        return Failure("Invalid Deflate64 code lengths");
      }
      mode_ = Mode::LiteralOrLength;
      return Step::Continue;
    }
    case Mode::LiteralOrLength: {
      if (cursor.Room() == 0)
        return Step::NeedOutput;
      bits_.Fill(cursor, 15 + 16);
      const PrefixCode::Symbol symbol = literals_.Lookup(bits_);
      if (symbol.value == PrefixCode::kNeedMore)
        return Step::NeedInput;
      if (symbol.value == PrefixCode::kInvalid || symbol.value > 285) {
        return Failure("Invalid Deflate64 literal/length code");
      }
      if (symbol.value < 256) {
        bits_.Drop(symbol.length);
        window_.Put(static_cast<std::uint8_t>(symbol.value), cursor);
        return Step::Continue;
      }
      if (symbol.value == 256) {
        bits_.Drop(symbol.length);
        mode_ = finalBlock_ ? Mode::Done : Mode::BlockHeader;
        return Step::Continue;
      }
      const int index = symbol.value - 257;
      const int extra = kLengthExtra[index];
      if (bits_.Available() < symbol.length + extra)
        return Step::NeedInput;
      bits_.Drop(symbol.length);
      matchLength_ = kLengthBase[index] + bits_.Take(extra);
      mode_ = Mode::Distance;
      return Step::Continue;
    }
    case Mode::Distance: {
      bits_.Fill(cursor, 15 + 14);
      const PrefixCode::Symbol symbol = distances_.Lookup(bits_);
      if (symbol.value == PrefixCode::kNeedMore)
        return Step::NeedInput;
      if (symbol.value == PrefixCode::kInvalid)
        return Failure("Invalid Deflate64 distance code");
      const int extra = kDistanceExtra[symbol.value];
      if (bits_.Available() < symbol.length + extra)
        return Step::NeedInput;
      bits_.Drop(symbol.length);
      const std::uint32_t distance = kDistanceBase[symbol.value] + bits_.Take(extra);
      if (distance > window_.Total())
        return Failure("Deflate64 distance too far back");
      window_.StartCopy(distance, matchLength_);
      mode_ = Mode::LiteralOrLength;
      return Step::Continue;
    }
    case Mode::Done:
      return Step::Continue;
  }
  return Step::Continue;
}

}  // namespace

std::unique_ptr<Decoder> MakeDeflate64Decoder(const DecoderParams&) {
  return std::make_unique<Deflate64Decoder>();
}

}  // namespace zephora::zip
