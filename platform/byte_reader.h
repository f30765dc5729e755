// A bounds-checked reader of little-endian fields in untrusted bytes. Reading
// past the end never touches memory outside the span: the read yields zero
// and the reader keeps its error until it is reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zephora {

class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
  explicit ByteReader(std::string_view bytes) : ByteReader(bytes.data(), bytes.size()) {}

  std::size_t Size() const { return size_; }
  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return position_ <= size_ ? size_ - position_ : 0; }
  bool Ok() const { return ok_; }
  void Seek(std::size_t position) {
    if (position > size_)
      ok_ = false;
    position_ = position;
  }
  void Skip(std::size_t count) { Seek(Remaining() >= count ? position_ + count : size_ + 1); }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Take(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Take(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Take(4)); }
  std::uint64_t U64() { return Take(8); }
  std::int64_t I64() { return static_cast<std::int64_t>(Take(8)); }

  // `count` bytes from the cursor, or an empty view (and an error) when they
  // are not all there.
  std::string_view Bytes(std::size_t count) {
    if (!ok_ || Remaining() < count) {
      ok_ = false;
      return {};
    }
    std::string_view out(reinterpret_cast<const char*>(data_ + position_), count);
    position_ += count;
    return out;
  }

  bool Has(std::size_t offset, std::size_t count) const {
    return offset <= size_ && count <= size_ - offset;
  }
  // Random access that leaves the cursor alone; 0 when out of range.
  std::uint32_t U32At(std::size_t offset) const {
    return Has(offset, 4) ? static_cast<std::uint32_t>(Load(offset, 4)) : 0;
  }
  std::uint64_t U64At(std::size_t offset) const { return Has(offset, 8) ? Load(offset, 8) : 0; }

 private:
  std::uint64_t Take(std::size_t width) {
    if (!ok_ || Remaining() < width) {
      ok_ = false;
      return 0;
    }
    const std::uint64_t value = Load(position_, width);
    position_ += width;
    return value;
  }
  std::uint64_t Load(std::size_t offset, std::size_t width) const {
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;)
      value = (value << 8) | data_[offset + i];
    return value;
  }

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t position_ = 0;
  bool ok_ = true;
};

// The little-endian 32-bit value at `p`, for bytes known to be there (a
// header read whole, a block found in a buffer).
inline std::uint32_t Load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint32_t ByteSwap32(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

}  // namespace zephora
