// Reads an HTTP/1.1 reply from a byte stream: status line, header block and
// body. Failures are values here; the client turns them into messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/http/byte_stream.h"

namespace zephora::http {

constexpr std::size_t kMaxLineLength = 16384;
constexpr std::size_t kReceiveBufferSize = 32768;
// A header block (the head with its interim replies, or the trailers of a
// chunked body) may not hold more lines or bytes than these, so that a peer
// sending endless headers cannot grow memory without bound.
constexpr std::size_t kMaxHeaderLines = 1000;
constexpr std::size_t kMaxHeaderBytes = 256 * 1024;

enum class ReplyFailure {
  None,
  ConnectionClosed,     // orderly close where the reply could not end
  MaxLineLength,        // a status, header or chunk-size line over kMaxLineLength
  HeaderBlockTooLarge,  // over kMaxHeaderLines lines or kMaxHeaderBytes bytes
  LengthTooLarge,       // a Content-Length whose digits no 64-bit count holds
  BadChunkSize,         // a chunk-size line that is no number, or a chunk
                        // whose data does not end where its size says
  Socket,               // `code` is the Winsock number
  System,               // the destination failed; `code` is the system's number
};

struct [[nodiscard]] ReplyStatus {
  ReplyFailure failure = ReplyFailure::None;
  int code = 0;
  bool Ok() const { return failure == ReplyFailure::None; }
};

struct HttpHeader {
  std::string name;
  std::string value;  // blanks around it removed
};

struct ReplyHead {
  std::string statusLine;  // without its line end
  int code = -1;
  std::vector<HttpHeader> headers;

  // The first header of that name (any case), or null.
  const std::string* Find(std::string_view name) const;
  std::vector<std::string> FindAll(std::string_view name) const;
  // The announced body length in `length`: -1 when none, or not a number,
  // or negative. Fails when the number is too large for a 64-bit count.
  ReplyStatus ContentLength(std::int64_t& length) const;
  bool IsChunked() const;
};

// The code of a status line: the number after the first blank up to the
// next one, anything from a "." on ignored; -1 when that is not a number.
int ParseStatusCode(std::string_view statusLine);

class ReplyReader {
 public:
  explicit ReplyReader(IByteStream& stream);

  // One line up to LF, a CR before it dropped. `atEnd` when the peer closed
  // before any byte of a line; a last line cut off by the close counts.
  ReplyStatus ReadLine(std::string& line, bool& atEnd);
  // Status line and headers; interim 100 replies are read and skipped.
  ReplyStatus ReadHead(ReplyHead& head);
  // The body by the framing the head announces.
  ReplyStatus ReadBody(const ReplyHead& head, IBodyDestination& destination);
  // Whether body bytes are here or come within `milliseconds`.
  ReplyStatus WaitForData(int milliseconds, bool& ready);

  // The peer has closed its side (seen as a read of no bytes).
  bool PeerClosed() const { return closed_; }

 private:
  // What a header block has used so far.
  struct HeaderBudget {
    std::size_t lines = 0;
    std::size_t bytes = 0;
  };

  ReplyStatus Fill();  // more bytes into the buffer; closed_ on a close
  ReplyStatus ReadHeaderLine(std::string& line, bool& atEnd, HeaderBudget& budget);
  ReplyStatus ReadChunked(IBodyDestination& destination);
  ReplyStatus ReadCounted(std::int64_t length, IBodyDestination& destination);
  ReplyStatus ReadToClose(IBodyDestination& destination);
  ReplyStatus ReadTrailers();
  std::size_t Buffered() const { return end_ - begin_; }

  IByteStream& stream_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool closed_ = false;
};

}  // namespace zephora::http
