// The byte stream the HTTP exchange runs over: a TCP connection in the
// program, bytes in memory in the tests. Failures are Winsock numbers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zephora::http {

class IByteStream {
 public:
  virtual ~IByteStream() = default;
  // Up to `size` bytes; `done` is 0 when the peer closed in an orderly way.
  [[nodiscard]] virtual int Read(void* buffer, std::size_t size, std::size_t& done) = 0;
  [[nodiscard]] virtual int Write(const void* data, std::size_t size) = 0;
  // Waits up to `milliseconds` until a Read would not block.
  [[nodiscard]] virtual int WaitReadable(int milliseconds, bool& ready) = 0;
};

// Where a reply body goes. Failures are operating-system error numbers.
class IBodyDestination {
 public:
  virtual ~IBodyDestination() = default;
  [[nodiscard]] virtual int Write(const void* data, std::size_t size) = 0;
  // Sets the size to `length` bytes past what has been written so far,
  // without moving on, for a body whose length was announced.
  [[nodiscard]] virtual int Reserve(std::int64_t length) = 0;
  // Cuts the size back to what has been written.
  [[nodiscard]] virtual int Truncate() = 0;
};

}  // namespace zephora::http
