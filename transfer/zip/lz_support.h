// Building blocks shared by the decoders of our own: an LSB-first bit reader
// that takes input one byte at a time as it is needed, a prefix-code table,
// and a sliding window that doubles as the pending-output queue. Together
// they let each decoder stop at any byte of input or output and resume.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zephora::zip {

// The caller's spans and how far a Decode call has got in them.
struct Cursor {
  std::span<const std::uint8_t> input;
  std::span<std::uint8_t> output;
  std::size_t consumed = 0;
  std::size_t produced = 0;

  bool HasInput() const { return consumed < input.size(); }
  std::uint8_t TakeByte() { return input[consumed++]; }
  std::size_t InputLeft() const { return input.size() - consumed; }
  std::size_t Room() const { return output.size() - produced; }
};

// Bits are taken from the least significant end of each byte, as the ZIP
// methods store them. Only as many bytes are taken as a request needs, so no
// byte past the end of the stream is ever consumed.
class BitReader {
 public:
  // Buffers at least `count` (at most 32) bits if the input has them.
  bool Fill(Cursor& cursor, int count) {
    while (available_ < count) {
      if (!cursor.HasInput())
        return false;
      bits_ |= static_cast<std::uint64_t>(cursor.TakeByte()) << available_;
      available_ += 8;
      ++bytesTaken_;
    }
    return true;
  }
  int Available() const { return available_; }
  std::uint32_t Peek(int count) const {
    return static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << count) - 1));
  }
  void Drop(int count) {
    bits_ >>= count;
    available_ -= count;
  }
  std::uint32_t Take(int count) {
    const std::uint32_t value = Peek(count);
    Drop(count);
    return value;
  }
  // Skips to the next byte boundary.
  void Align() { Drop(available_ % 8); }
  // Offset of the byte that holds the next unread bit.
  std::uint64_t Offset() const {
    return bytesTaken_ - static_cast<std::uint64_t>((available_ + 7) / 8);
  }
  // Counts bytes that bypass the bit buffer (stored blocks).
  void CountDirect(std::size_t bytes) { bytesTaken_ += bytes; }

 private:
  std::uint64_t bits_ = 0;
  int available_ = 0;
  std::uint64_t bytesTaken_ = 0;
};

// A prefix code given by its code lengths, decoded with one table lookup of
// the longest code's width. Codes are canonical: shorter codes first and,
// within a length, in symbol order. The first code bit is the first bit read.
class PrefixCode {
 public:
  // False when the lengths oversubscribe the code space. An incomplete code
  // is accepted; its unused bit patterns are reported when they occur.
  [[nodiscard]] bool Build(std::span<const std::uint8_t> lengths, int maxLength);

  struct Symbol {
    int value = kInvalid;  // the symbol, or kInvalid, or kNeedMore
    int length = 0;
  };
  static constexpr int kInvalid = -1;   // no code starts with these bits
  static constexpr int kNeedMore = -2;  // the code is longer than the buffered bits
  // Looks the buffered bits up without taking them. `invert` flips every bit
  // first, for codes stored complemented.
  Symbol Lookup(const BitReader& reader, bool invert = false) const;
  bool Empty() const { return width_ == 0; }

 private:
  int width_ = 0;
  std::vector<std::uint16_t> table_;  // symbol << 5 | length; 0 = unused
};

// The last `size` bytes of output (size a power of two). Matches are copied
// through it into the caller's buffer, as far as the buffer has room.
class Window {
 public:
  explicit Window(std::size_t size) : bytes_(size, 0), mask_(size - 1) {}

  void Put(std::uint8_t byte, Cursor& cursor) {
    bytes_[position_++ & mask_] = byte;
    cursor.output[cursor.produced++] = byte;
  }
  // Bytes before the start of the output read as zeros (the window starts zeroed).
  void StartCopy(std::uint32_t distance, std::uint32_t length) {
    distance_ = distance;
    pending_ = length;
  }
  // Copies as much of the pending match as fits, at most `limit` bytes.
  void Copy(Cursor& cursor, std::uint64_t limit = UINT64_MAX) {
    while (pending_ > 0 && cursor.Room() > 0 && limit > 0) {
      Put(bytes_[(position_ - distance_) & mask_], cursor);
      --pending_;
      --limit;
    }
  }
  void DropPending() { pending_ = 0; }
  bool Pending() const { return pending_ > 0; }
  std::uint64_t Total() const { return position_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t mask_;
  std::uint64_t position_ = 0;
  std::uint32_t distance_ = 0;
  std::uint32_t pending_ = 0;
};

// "<what> at offset <n>", the form of every decoder failure.
std::string AtOffset(const char* what, std::uint64_t offset);

}  // namespace zephora::zip
