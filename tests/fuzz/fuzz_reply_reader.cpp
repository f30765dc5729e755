// libFuzzer target: a reply (status line, headers, body by any framing) fed
// in pieces whose size the first input byte chooses.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "transfer/http/reply_reader.h"

namespace {

using namespace zephora::http;

class PieceStream : public IByteStream {
 public:
  PieceStream(const std::uint8_t* data, std::size_t size, std::size_t piece)
      : data_(data), size_(size), piece_(piece) {}
  int Read(void* buffer, std::size_t size, std::size_t& done) override {
    done = std::min({size, piece_, size_ - pos_});
    std::memcpy(buffer, data_ + pos_, done);
    pos_ += done;
    return 0;
  }
  int Write(const void*, std::size_t) override { return 0; }
  int WaitReadable(int, bool& ready) override {
    ready = true;
    return 0;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t piece_;
  std::size_t pos_ = 0;
};

// Keeps only the count, so that huge announced lengths cost nothing.
class CountingDestination : public IBodyDestination {
 public:
  int Write(const void*, std::size_t size) override {
    written += size;
    return 0;
  }
  int Reserve(std::int64_t length) override {
    if (length <= 0)
      std::abort();
    return 0;
  }
  int Truncate() override { return 0; }
  std::size_t written = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const std::size_t piece = data[0] == 0 ? 1 << 20 : data[0];
  PieceStream stream(data + 1, size - 1, piece);
  ReplyReader reader(stream);
  ReplyHead head;
  if (!reader.ReadHead(head).Ok())
    return 0;
  if (head.statusLine.size() > kMaxLineLength)
    std::abort();
  for (const HttpHeader& header : head.headers) {
    if (header.name.size() + header.value.size() > kMaxLineLength)
      std::abort();
  }
  (void)ParseStatusCode(head.statusLine);
  CountingDestination destination;
  const ReplyStatus status = reader.ReadBody(head, destination);
  // The body can never hold more bytes than came in.
  if (destination.written > size)
    std::abort();
  if (status.failure == ReplyFailure::Socket || status.failure == ReplyFailure::System)
    std::abort();
  return 0;
}
