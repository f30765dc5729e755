// Shrinking (method 1): LZW with codes of 9 to 13 bits. Code 256 announces a
// control code: 1 widens the codes by a bit, 2 frees every string that no
// other string extends (a partial clear). Freed codes are reused lowest
// first. The stream stops at the entry's uncompressed size.
#include <array>

#include "transfer/zip/lz_support.h"
#include "transfer/zip/own_decoders.h"
#include "transfer/zip/sized_decoder.h"

namespace zephora::zip {
namespace {

constexpr int kCodes = 8192;
constexpr int kFirstFree = 257;
constexpr int kControl = 256;
constexpr std::uint16_t kUnused = 0xFFFF;

enum class Mode {
  Code,     // a string code, or the control escape
  Control,  // the code after the escape: widen or partially clear
  Done,     // the uncompressed size is reached
};

class ShrinkDecoder final : public SizedDecoder<Mode> {
 public:
  explicit ShrinkDecoder(const DecoderParams& params) : SizedDecoder(params, Mode::Code) {
    prefix_.fill(kUnused);
    for (int i = 0; i < 256; ++i)
      suffix_[i] = static_cast<std::uint8_t>(i);
  }

  DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                      std::span<std::uint8_t> output) override;

 private:
  bool InUse(int code) const { return code < kFirstFree || prefix_[code] != kUnused; }
  // Puts the string of `code` into the pending output; false on a loop.
  bool Expand(int code);
  void PartialClear();
  void FindFree() {
    while (nextFree_ < kCodes && prefix_[nextFree_] != kUnused)
      ++nextFree_;
  }

  std::uint64_t written_ = 0;
  BitReader bits_;
  int codeSize_ = 9;
  int previous_ = -1;
  int nextFree_ = kFirstFree;
  std::array<std::uint16_t, kCodes> prefix_{};
  std::array<std::uint8_t, kCodes> suffix_{};
  std::array<std::uint8_t, kCodes> pending_{};  // a string, filled from the back
  int pendingStart_ = kCodes;
};

bool ShrinkDecoder::Expand(int code) {
  int at = kCodes;
  for (;;) {
    if (at == 0)
      return false;
    pending_[--at] = suffix_[code];
    if (code < 256)
      break;
    code = prefix_[code];
    if (code == kUnused)
      return false;
  }
  pendingStart_ = at;
  return true;
}

void ShrinkDecoder::PartialClear() {
  std::array<bool, kCodes> extended{};
  for (int code = kFirstFree; code < kCodes; ++code) {
    if (prefix_[code] != kUnused)
      extended[prefix_[code]] = true;
  }
  for (int code = kFirstFree; code < kCodes; ++code) {
    if (!extended[code])
      prefix_[code] = kUnused;
  }
  nextFree_ = kFirstFree;
  FindFree();
}

DecodeResult ShrinkDecoder::Decode(std::span<const std::uint8_t> input, bool inputEnd,
                                   std::span<std::uint8_t> output) {
  Cursor cursor{input, output};
  for (;;) {
    while (pendingStart_ < kCodes && cursor.Room() > 0 && written_ < size_) {
      cursor.output[cursor.produced++] = pending_[pendingStart_++];
      ++written_;
    }
    if (written_ == size_)
      mode_ = Mode::Done;
    if (mode_ == Mode::Done)
      return {cursor.consumed, cursor.produced, DecodeStatus::Done};
    if (pendingStart_ < kCodes)
      return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
    if (!bits_.Fill(cursor, codeSize_)) {
      if (inputEnd)
        return Fail(AtOffset("Shrunk data ends early", bits_.Offset()));
      return {cursor.consumed, cursor.produced, DecodeStatus::Ok};
    }
    const int code = static_cast<int>(bits_.Take(codeSize_));
    if (mode_ == Mode::Control) {
      if (code == 1 && codeSize_ < 13) {
        ++codeSize_;
      } else if (code == 2) {
        PartialClear();
      } else {
        return Fail(AtOffset("Invalid shrunk control code", bits_.Offset()));
      }
      mode_ = Mode::Code;
      continue;
    }
    if (code == kControl) {
      mode_ = Mode::Control;
      continue;
    }
    if (previous_ < 0) {
      if (code >= 256)
        return Fail(AtOffset("Invalid shrunk code", bits_.Offset()));
      Expand(code);
      previous_ = code;
      continue;
    }
    if (!InUse(code) && code != nextFree_) {
      return Fail(AtOffset("Invalid shrunk code", bits_.Offset()));
    }
    // The new string is the previous one plus the first byte of this one. For
    // the code being defined right now that byte is the previous string's own.
    int head = InUse(code) ? code : previous_;
    for (int steps = 0; head >= 256; ++steps) {
      head = prefix_[head];
      if (head == kUnused || steps == kCodes) {
        return Fail(AtOffset("Invalid shrunk code", bits_.Offset()));
      }
    }
    if (nextFree_ < kCodes) {
      prefix_[nextFree_] = static_cast<std::uint16_t>(previous_);
      suffix_[nextFree_] = static_cast<std::uint8_t>(head);
      FindFree();
    }
    if (!Expand(code))
      return Fail(AtOffset("Invalid shrunk code", bits_.Offset()));
    previous_ = code;
  }
}

}  // namespace

std::unique_ptr<Decoder> MakeShrinkDecoder(const DecoderParams& params) {
  return std::make_unique<ShrinkDecoder>(params);
}

}  // namespace zephora::zip
