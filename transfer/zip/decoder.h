// The common shape of every compression method's decoder: a resumable state
// machine over byte spans that the caller owns. The caller feeds compressed
// bytes as they come from the archive and drains decoded bytes into the
// target, so memory stays bounded whatever the entry's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zephora::zip {

// What a decoder knows of its entry before it starts.
struct DecoderParams {
  std::uint16_t method = 0;
  std::uint16_t flags = 0;  // general-purpose bit flags of the entry
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
};

enum class DecodeStatus {
  Ok,     // progress made or more input/output room needed; call again
  Done,   // the stream is complete: every byte of the entry has been produced
  Error,  // damaged data; ErrorMessage() says what and where
};

struct DecodeResult {
  std::size_t consumed = 0;  // input bytes taken
  std::size_t produced = 0;  // output bytes written
  DecodeStatus status = DecodeStatus::Ok;
};

class Decoder {
 public:
  virtual ~Decoder() = default;
  // Takes bytes from `input` and writes decoded bytes to `output`. `inputEnd`
  // says that `input` holds the last compressed bytes of the entry. A call
  // that returns Ok with nothing consumed or produced while inputEnd is set
  // and output has room means the data ended early: the caller treats it as
  // damaged.
  virtual DecodeResult Decode(std::span<const std::uint8_t> input, bool inputEnd,
                              std::span<std::uint8_t> output) = 0;
  const std::string& ErrorMessage() const { return error_; }
  // Readies the decoder for the next entry of the same method, keeping what
  // it has allocated; false when it cannot, and a new decoder is needed.
  [[nodiscard]] bool Restart(const DecoderParams& params) {
    error_.clear();
    return Reset(params);
  }

 protected:
  virtual bool Reset(const DecoderParams&) { return false; }
  DecodeResult Fail(std::string message) {
    error_ = std::move(message);
    return {0, 0, DecodeStatus::Error};
  }

 private:
  std::string error_;
};

// The decoder for a compression method, or null for a method we do not
// decode. Defined in decoders.cpp, the one dispatch on the method number.
std::unique_ptr<Decoder> MakeDecoder(const DecoderParams& params);

}  // namespace zephora::zip
