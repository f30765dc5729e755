// An HTML body is held in memory and reaches its destination only when
// complete, so that a page that breaks off leaves the package file empty.
// Past a bound it goes on into the destination like any other body, so
// that an endless page cannot grow memory without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "transfer/http/byte_stream.h"

namespace zephora::http {

constexpr std::size_t kMaxHeldBody = 1024 * 1024;

class HeldBody : public IBodyDestination {
 public:
  explicit HeldBody(IBodyDestination& destination, std::size_t limit = kMaxHeldBody)
      : destination_(destination), limit_(limit) {}

  int Write(const void* data, std::size_t size) override;
  // The destination's size follows the announced length at once.
  int Reserve(std::int64_t length) override { return destination_.Reserve(length); }
  int Truncate() override { return destination_.Truncate(); }

  // Hands what is still held to the destination, once the body is complete.
  [[nodiscard]] int Release();

  // Never more than the bound.
  std::size_t HeldCapacity() const { return held_.capacity(); }

 private:
  IBodyDestination& destination_;
  std::size_t limit_;
  std::vector<char> held_;
  bool passingOn_ = false;  // the bound was reached: bytes go straight on
};

}  // namespace zephora::http
