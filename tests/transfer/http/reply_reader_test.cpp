#include "transfer/http/reply_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

namespace zephora::http {
namespace {

// Serves `input` in pieces of `piece` bytes, then an orderly close (or the
// socket error `errorAtEnd`).
class MemoryStream : public IByteStream {
 public:
  MemoryStream(std::string input, std::size_t piece, int errorAtEnd = 0)
      : input_(std::move(input)), piece_(piece), errorAtEnd_(errorAtEnd) {}

  int Read(void* buffer, std::size_t size, std::size_t& done) override {
    done = std::min({size, piece_, input_.size() - pos_});
    if (done == 0 && errorAtEnd_ != 0)
      return errorAtEnd_;
    std::memcpy(buffer, input_.data() + pos_, done);
    pos_ += done;
    largestRead = std::max(largestRead, done);
    return 0;
  }
  int Write(const void*, std::size_t) override { return 0; }
  int WaitReadable(int, bool& ready) override {
    ready = pos_ < input_.size();
    return 0;
  }
  std::size_t largestRead = 0;

 private:
  std::string input_;
  std::size_t piece_;
  int errorAtEnd_;
  std::size_t pos_ = 0;
};

class StringDestination : public IBodyDestination {
 public:
  int Write(const void* data, std::size_t size) override {
    if (writeError != 0)
      return writeError;
    bytes.replace(written, size, static_cast<const char*>(data), size);
    written += size;
    largestWrite = std::max(largestWrite, size);
    return 0;
  }
  int Reserve(std::int64_t length) override {
    if (reserveError != 0)
      return reserveError;
    reserved = static_cast<std::int64_t>(written) + length;
    bytes.resize(static_cast<std::size_t>(reserved), '\0');
    return 0;
  }
  int Truncate() override {
    bytes.resize(written);
    return 0;
  }
  std::string bytes;
  std::size_t written = 0;
  std::int64_t reserved = -1;
  std::size_t largestWrite = 0;
  int reserveError = 0;
  int writeError = 0;
};

struct Reply {
  ReplyStatus status;
  ReplyHead head;
  std::string body;
  std::int64_t reserved = -1;
};

Reply ReadReply(const std::string& input, std::size_t piece, int errorAtEnd = 0) {
  MemoryStream stream(input, piece, errorAtEnd);
  ReplyReader reader(stream);
  Reply reply;
  reply.status = reader.ReadHead(reply.head);
  if (reply.status.Ok()) {
    StringDestination destination;
    reply.status = reader.ReadBody(reply.head, destination);
    reply.body = destination.bytes;
    reply.reserved = destination.reserved;
  }
  return reply;
}

constexpr std::size_t kPieces[] = {1 << 20, 1, 7};

std::string Repeat(const std::string& text, std::size_t count) {
  std::string result;
  result.reserve(text.size() * count);
  for (std::size_t i = 0; i < count; ++i)
    result += text;
  return result;
}

TEST(ParseStatusCode, TakesTheNumberAfterTheFirstBlank) {
  const struct {
    const char* line;
    int code;
  } cases[] = {
      {"HTTP/1.1 200 OK", 200},  {"HTTP/1.1 404 Not Found", 404},
      {"HTTP/1.0 302", 302},     {"HTTP/1.1 200.5 OK", 200},  // from "." on ignored
      {"HTTP/1.1 200. OK", 200}, {"HTTP/1.1 abc OK", -1},
      {"HTTP/1.1  200 OK", -1},  // empty number between two blanks
      {"HTTP/1.1", -1},          {"", -1},
      {"HTTP/1.1 2x0 OK", -1},   {"HTTP/1.1 99999999999 Big", -1},
      {"HTTP/1.1 -5 Odd", -5},   {"ICY 200 OK", 200},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseStatusCode(c.line), c.code) << c.line;
}

struct BodyCase {
  const char* name;
  std::string input;
  ReplyFailure failure;
  int code;
  std::string statusLine;
  std::string body;
};

TEST(ReplyReader, ReadsEveryReplyShapeWholeAndInPieces) {
  const std::string big(70000, 'x');
  const BodyCase cases[] = {
      {"content-length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", ReplyFailure::None,
       200, "HTTP/1.1 200 OK", "hello"},
      {"bare LF line ends", "HTTP/1.1 200 OK\nContent-Length: 2\n\nhi", ReplyFailure::None, 200,
       "HTTP/1.1 200 OK", "hi"},
      {"length stops reading", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcdef",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", "abc"},
      {"zero length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nignored", ReplyFailure::None,
       200, "HTTP/1.1 200 OK", ""},
      {"no length reads to close", "HTTP/1.1 200 OK\r\n\r\n" + big, ReplyFailure::None, 200,
       "HTTP/1.1 200 OK", big},
      {"negative length reads to close", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nab",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", "ab"},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6\r\n "
       "world\r\n0\r\n\r\n",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", "hello world"},
      {"chunked any case, extensions, blanks, trailers",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, CHUNKED\r\n\r\n a "
       ";x=y\r\n0123456789\r\n0\r\nX-T: 1\r\n\r\n",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", "0123456789"},
      {"chunked beats length",
       "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: "
       "chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", "ok"},
      {"big chunk",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n11170\r\n" + big + "\r\n0\r\n\r\n",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", big},
      {"100 skipped",
       "HTTP/1.1 100 Continue\r\nX: 1\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nz",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", "z"},
      {"two 100s skipped",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 404 Not "
       "Found\r\nContent-Length: 0\r\n\r\n",
       ReplyFailure::None, 404, "HTTP/1.1 404 Not Found", ""},
      {"status line kept as sent", "HTTP/1.1 404  Nicht gefunden \r\nContent-Length: 0\r\n\r\n",
       ReplyFailure::None, 404, "HTTP/1.1 404  Nicht gefunden ", ""},
      {"close after first header line ends the head", "HTTP/1.1 200 OK\r\nServer: s\r\n",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", ""},
      {"close after a cut header line", "HTTP/1.1 200 OK\r\nServer: s\r\nX-Cut", ReplyFailure::None,
       200, "HTTP/1.1 200 OK", ""},
      {"close before anything", "", ReplyFailure::ConnectionClosed, 0, "", ""},
      {"close inside the status line", "HTTP/1.1 20", ReplyFailure::ConnectionClosed, 0, "", ""},
      {"close after the status line", "HTTP/1.1 200 OK\r\n", ReplyFailure::ConnectionClosed, 0, "",
       ""},
      {"close after a 100", "HTTP/1.1 100 Continue\r\n\r\n", ReplyFailure::ConnectionClosed, 0, "",
       ""},
      {"short counted body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort",
       ReplyFailure::ConnectionClosed, 200, "HTTP/1.1 200 OK", "short"},
      {"close inside a chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nabc",
       ReplyFailure::ConnectionClosed, 200, "HTTP/1.1 200 OK", "abc"},
      {"close before the last chunk",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n",
       ReplyFailure::ConnectionClosed, 200, "HTTP/1.1 200 OK", "abc"},
      {"close inside the trailers",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX-T: 1\r\n",
       ReplyFailure::ConnectionClosed, 200, "HTTP/1.1 200 OK", ""},
      {"status line too long", "HTTP/1.1 200 " + std::string(16372, 'x') + "\r\n\r\n",
       ReplyFailure::MaxLineLength, 0, "", ""},
      {"header line too long", "HTTP/1.1 200 OK\r\nX: " + std::string(16382, 'x') + "\r\n\r\n",
       ReplyFailure::MaxLineLength, 0, "", ""},
      {"chunk size line too long",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1;" + std::string(16383, 'x') + "\r\n",
       ReplyFailure::MaxLineLength, 200, "HTTP/1.1 200 OK", ""},
      {"chunk size not hex",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\nZZZ\r\n\r\n",
       ReplyFailure::BadChunkSize, 200, "HTTP/1.1 200 OK", "ok"},
      {"chunk size empty",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n\r\n0\r\n\r\n",
       ReplyFailure::BadChunkSize, 200, "HTTP/1.1 200 OK", "ok"},
      {"chunk size beyond 64 bits",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000000\r\nabc",
       ReplyFailure::BadChunkSize, 200, "HTTP/1.1 200 OK", ""},
      {"chunk longer than its size",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcdef\r\n0\r\n\r\n",
       ReplyFailure::BadChunkSize, 200, "HTTP/1.1 200 OK", "abc"},
      {"largest chunk size a count holds",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\nabc",
       ReplyFailure::ConnectionClosed, 200, "HTTP/1.1 200 OK", "abc"},
      {"length beyond 64 bits",
       "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\n123456789",
       ReplyFailure::LengthTooLarge, 200, "HTTP/1.1 200 OK", ""},
      {"length with a sign beyond 64 bits",
       "HTTP/1.1 200 OK\r\nContent-Length: +99999999999999999999\r\n\r\n123456789",
       ReplyFailure::LengthTooLarge, 200, "HTTP/1.1 200 OK", ""},
      {"negative length beyond 64 bits reads to close",
       "HTTP/1.1 200 OK\r\nContent-Length: -99999999999999999999\r\n\r\nab", ReplyFailure::None,
       200, "HTTP/1.1 200 OK", "ab"},
      {"length that is no number reads to close",
       "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999x\r\n\r\nab", ReplyFailure::None,
       200, "HTTP/1.1 200 OK", "ab"},
      {"header block at the line limit",
       "HTTP/1.1 200 OK\r\n" + Repeat("X: 1\r\n", kMaxHeaderLines - 2) + "\r\nok",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", "ok"},
      {"header block over the line limit",
       "HTTP/1.1 200 OK\r\n" + Repeat("X: 1\r\n", kMaxHeaderLines - 1) + "\r\nok",
       ReplyFailure::HeaderBlockTooLarge, 0, "", ""},
      {"header block at the byte limit",
       "HTTP/1.1 200 OK\r\n" + Repeat("X: " + std::string(16381, 'x') + "\r\n", 15) +
           "Y: " + std::string(kMaxHeaderBytes - 15 - 15 * 16384 - 3, 'y') + "\r\n\r\nok",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", "ok"},
      {"header block over the byte limit",
       "HTTP/1.1 200 OK\r\n" + Repeat("X: " + std::string(16381, 'x') + "\r\n", 15) +
           "Y: " + std::string(kMaxHeaderBytes - 15 - 15 * 16384 - 2, 'y') + "\r\n\r\nok",
       ReplyFailure::HeaderBlockTooLarge, 0, "", ""},
      {"interim replies count towards the head",
       Repeat("HTTP/1.1 100 Continue\r\n\r\n", kMaxHeaderLines / 2) + "HTTP/1.1 200 OK\r\n\r\nok",
       ReplyFailure::HeaderBlockTooLarge, 0, "", ""},
      {"trailers over the line limit",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n" +
           Repeat("T: 1\r\n", kMaxHeaderLines) + "\r\n",
       ReplyFailure::HeaderBlockTooLarge, 200, "HTTP/1.1 200 OK", "ok"},
      {"header line at the limit", "HTTP/1.1 200 OK\r\nX: " + std::string(16381, 'x') + "\r\n\r\n",
       ReplyFailure::None, 200, "HTTP/1.1 200 OK", ""},
      {"line at the limit with a bare LF",
       "HTTP/1.1 200 OK\nX: " + std::string(16381, 'x') + "\n\n", ReplyFailure::None, 200,
       "HTTP/1.1 200 OK", ""},
  };
  for (const BodyCase& c : cases) {
    for (const std::size_t piece : kPieces) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      const Reply reply = ReadReply(c.input, piece);
      EXPECT_EQ(reply.status.failure, c.failure);
      if (c.failure == ReplyFailure::None || c.code != 0) {
        EXPECT_EQ(reply.head.code, c.code);
        EXPECT_EQ(reply.head.statusLine, c.statusLine);
        EXPECT_EQ(reply.body, c.body);
      }
    }
  }
}

TEST(ReplyReader, KeepsHeadersInOrderWithTrimmedValues) {
  for (const std::size_t piece : kPieces) {
    const Reply reply = ReadReply(
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nconnection:  Close \r\nSET-COOKIE: "
        "b=2\r\nNoColon\r\n\r\n",
        piece);
    ASSERT_TRUE(reply.status.Ok());
    ASSERT_EQ(reply.head.headers.size(), 4u);
    EXPECT_EQ(*reply.head.Find("Connection"), "Close");
    EXPECT_EQ(reply.head.FindAll("set-cookie"), (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_EQ(reply.head.headers[3].name, "NoColon");
  }
}

TEST(ReplyReader, SetsAnnouncedLengthFirstAndCutsBack) {
  const Reply whole = ReadReply(
      "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'a'), 1 << 20);
  EXPECT_EQ(whole.reserved, 1000);
  EXPECT_EQ(whole.body.size(), 1000u);
  // Cut short: the destination was announced 1000 bytes and keeps the 600 that came.
  const Reply cut =
      ReadReply("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(600, 'a'), 1 << 20);
  EXPECT_EQ(cut.status.failure, ReplyFailure::ConnectionClosed);
  EXPECT_EQ(cut.reserved, 1000);
  EXPECT_EQ(cut.body, std::string(600, 'a'));
}

// Keeps the body and what was announced, without making room for it.
class RecordingDestination : public IBodyDestination {
 public:
  int Write(const void* data, std::size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
    return 0;
  }
  int Reserve(std::int64_t length) override {
    reserved = length;
    return 0;
  }
  int Truncate() override { return 0; }
  std::string bytes;
  std::int64_t reserved = -1;
};

TEST(ReplyReader, LargeReadableLengthsCountAndACutBodyFails) {
  for (const std::int64_t length : {std::int64_t{922337203685477581}, INT64_MAX}) {
    SCOPED_TRACE(length);
    MemoryStream stream(
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n123456789",
        1 << 20);
    ReplyReader reader(stream);
    ReplyHead head;
    ASSERT_TRUE(reader.ReadHead(head).Ok());
    RecordingDestination destination;
    EXPECT_EQ(reader.ReadBody(head, destination).failure, ReplyFailure::ConnectionClosed);
    EXPECT_EQ(destination.reserved, length);
    EXPECT_EQ(destination.bytes, "123456789");
  }
}

// Serves `start`, then `pattern` over and over; it never closes.
class EndlessStream : public IByteStream {
 public:
  EndlessStream(std::string start, std::string pattern)
      : start_(std::move(start)), pattern_(std::move(pattern)) {}

  int Read(void* buffer, std::size_t size, std::size_t& done) override {
    char* out = static_cast<char*>(buffer);
    for (done = 0; done < size; ++done, ++served) {
      out[done] = served < start_.size() ? start_[served]
                                         : pattern_[(served - start_.size()) % pattern_.size()];
    }
    return 0;
  }
  int Write(const void*, std::size_t) override { return 0; }
  int WaitReadable(int, bool& ready) override {
    ready = true;
    return 0;
  }
  std::size_t served = 0;

 private:
  std::string start_;
  std::string pattern_;
};

// Reading stops at the bound: what was taken in, and so what is held, is
// no more than one header block and a receive buffer.
constexpr std::size_t kMostReadForAHead =
    kMaxHeaderBytes + 2 * (kMaxHeaderLines + 1) + kMaxLineLength + kReceiveBufferSize;

TEST(ReplyReader, EndlessHeadersFailAtTheBound) {
  const struct {
    const char* name;
    std::string start;
    std::string pattern;
  } cases[] = {
      {"short lines", "HTTP/1.1 200 OK\r\n", "X-Filler: 0123456789\r\n"},
      {"long lines", "HTTP/1.1 200 OK\r\n", "X: " + std::string(16000, 'x') + "\r\n"},
      {"interim replies", "", "HTTP/1.1 100 Continue\r\nX: 1\r\n\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EndlessStream stream(c.start, c.pattern);
    ReplyReader reader(stream);
    ReplyHead head;
    EXPECT_EQ(reader.ReadHead(head).failure, ReplyFailure::HeaderBlockTooLarge);
    EXPECT_LE(head.headers.size(), kMaxHeaderLines);
    EXPECT_LE(stream.served, kMostReadForAHead);
  }
}

TEST(ReplyReader, EndlessTrailersFailAtTheBound) {
  EndlessStream stream("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n",
                       "X-Trailer: 1\r\n");
  ReplyReader reader(stream);
  ReplyHead head;
  ASSERT_TRUE(reader.ReadHead(head).Ok());
  RecordingDestination destination;
  EXPECT_EQ(reader.ReadBody(head, destination).failure, ReplyFailure::HeaderBlockTooLarge);
  EXPECT_EQ(destination.bytes, "ok");
  EXPECT_LE(stream.served, 2 * kMostReadForAHead);
}

TEST(ReplyReader, ReportsDestinationAndSocketFailures) {
  {
    MemoryStream stream("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody", 1 << 20);
    ReplyReader reader(stream);
    ReplyHead head;
    ASSERT_TRUE(reader.ReadHead(head).Ok());
    StringDestination destination;
    destination.reserveError = 112;
    const ReplyStatus status = reader.ReadBody(head, destination);
    EXPECT_EQ(status.failure, ReplyFailure::System);
    EXPECT_EQ(status.code, 112);
  }
  const Reply reset = ReadReply("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", 1 << 20, 10054);
  EXPECT_EQ(reset.status.failure, ReplyFailure::Socket);
  EXPECT_EQ(reset.status.code, 10054);
  EXPECT_EQ(reset.body, "abc");
}

TEST(ReplyReader, WritesBodyInPiecesOfAtMost32768Bytes) {
  const std::string body(200000, 'q');
  MemoryStream stream("HTTP/1.1 200 OK\r\n\r\n" + body, 1 << 20);
  ReplyReader reader(stream);
  ReplyHead head;
  ASSERT_TRUE(reader.ReadHead(head).Ok());
  StringDestination destination;
  ASSERT_TRUE(reader.ReadBody(head, destination).Ok());
  EXPECT_EQ(destination.bytes, body);
  EXPECT_LE(destination.largestWrite, kReceiveBufferSize);
  EXPECT_LE(stream.largestRead, kReceiveBufferSize);
}

// The fuzz corpus (first byte: piece size) replayed by the ordinary tests.
TEST(ReplyReader, ReplaysTheFuzzCorpus) {
  int files = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(test::SourcePath("tests/fuzz/corpus/reply_reader"))) {
    const std::string input = test::ReadFile(entry.path());
    if (input.empty())
      continue;
    ++files;
    const std::size_t piece = input[0] == 0 ? 1 << 20 : static_cast<unsigned char>(input[0]);
    const Reply reply = ReadReply(input.substr(1), piece);
    EXPECT_LE(reply.head.statusLine.size(), kMaxLineLength);
    EXPECT_LE(reply.body.size(), input.size());
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace zephora::http
