#include "transfer/http/reply_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "transfer/http/text_util.h"

namespace zephora::http {
namespace {

ReplyStatus Failed(ReplyFailure failure, int code = 0) {
  return ReplyStatus{failure, code};
}

enum class Number { Ok, NotANumber, TooLarge };

// Digits with an optional sign, at most `limit` in size.
Number ParseDecimal(std::string_view text, long long limit, long long& value) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return Number::NotANumber;
  }
  long long result = 0;
  for (const char c : text) {
    const int digit = c - '0';
    if (result > (limit - digit) / 10)
      return Number::TooLarge;
    result = result * 10 + digit;
  }
  value = negative ? -result : result;
  return Number::Ok;
}

// A chunk size: hexadecimal digits only, small enough for a file offset.
bool ParseChunkSize(std::string_view text, std::int64_t& size) {
  if (text.empty())
    return false;
  std::uint64_t result = 0;
  for (const char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (result > (static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) >> 4)) {
      return false;
    }
    result = result * 16 + static_cast<std::uint64_t>(digit);
  }
  size = static_cast<std::int64_t>(result);
  return true;
}

}  // namespace

const std::string* ReplyHead::Find(std::string_view name) const {
  for (const HttpHeader& header : headers) {
    if (EqualsNoCase(header.name, name))
      return &header.value;
  }
  return nullptr;
}

std::vector<std::string> ReplyHead::FindAll(std::string_view name) const {
  std::vector<std::string> values;
  for (const HttpHeader& header : headers) {
    if (EqualsNoCase(header.name, name))
      values.push_back(header.value);
  }
  return values;
}

ReplyStatus ReplyHead::ContentLength(std::int64_t& length) const {
  length = -1;
  const std::string* value = Find("Content-Length");
  if (value == nullptr)
    return {};
  long long number = -1;
  switch (ParseDecimal(*value, std::numeric_limits<std::int64_t>::max(), number)) {
    case Number::Ok:
      length = number < 0 ? -1 : number;
      return {};
    case Number::NotANumber:
      return {};
    case Number::TooLarge:
      break;
  }
  // A length no count can hold must not pass for no length at all: the
  // body would then run to the close and a cut-off one would look whole.
  if (value->front() == '-')
    return {};
  return Failed(ReplyFailure::LengthTooLarge);
}

bool ReplyHead::IsChunked() const {
  const std::string* value = Find("Transfer-Encoding");
  return value != nullptr && ToLower(*value).find("chunked") != std::string::npos;
}

int ParseStatusCode(std::string_view statusLine) {
  const std::size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos)
    return -1;
  std::string_view number = statusLine.substr(blank + 1);
  number = number.substr(0, number.find(' '));
  number = number.substr(0, number.find('.'));
  long long code = 0;
  if (ParseDecimal(number, std::numeric_limits<int>::max(), code) != Number::Ok)
    return -1;
  return static_cast<int>(code);
}

ReplyReader::ReplyReader(IByteStream& stream) : stream_(stream), buffer_(kReceiveBufferSize) {}

ReplyStatus ReplyReader::Fill() {
  begin_ = end_ = 0;
  std::size_t done = 0;
  if (const int error = stream_.Read(buffer_.data(), buffer_.size(), done)) {
    return Failed(ReplyFailure::Socket, error);
  }
  if (done == 0)
    closed_ = true;
  end_ = done;
  return {};
}

ReplyStatus ReplyReader::ReadLine(std::string& line, bool& atEnd) {
  line.clear();
  atEnd = false;
  for (;;) {
    if (Buffered() == 0) {
      if (closed_) {
        atEnd = line.empty();
        break;
      }
      if (ReplyStatus status = Fill(); !status.Ok())
        return status;
      continue;
    }
    const char* start = buffer_.data() + begin_;
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', Buffered()));
    const std::size_t take = lf != nullptr ? static_cast<std::size_t>(lf - start) : Buffered();
    line.append(start, take);
    begin_ += take + (lf != nullptr ? 1 : 0);
    if (lf != nullptr)
      break;
    // One byte more than the limit may still be the CR of the line end.
    if (line.size() > kMaxLineLength + 1)
      return Failed(ReplyFailure::MaxLineLength);
  }
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  if (line.size() > kMaxLineLength)
    return Failed(ReplyFailure::MaxLineLength);
  return {};
}

ReplyStatus ReplyReader::ReadHeaderLine(std::string& line, bool& atEnd, HeaderBudget& budget) {
  if (ReplyStatus status = ReadLine(line, atEnd); !status.Ok())
    return status;
  budget.lines += 1;
  budget.bytes += line.size();
  if (budget.lines > kMaxHeaderLines || budget.bytes > kMaxHeaderBytes)
    return Failed(ReplyFailure::HeaderBlockTooLarge);
  return {};
}

ReplyStatus ReplyReader::ReadHead(ReplyHead& head) {
  // One budget for the whole head, so endless interim replies run out too.
  HeaderBudget budget;
  for (;;) {
    head.headers.clear();
    bool atEnd = false;
    if (ReplyStatus status = ReadHeaderLine(head.statusLine, atEnd, budget); !status.Ok())
      return status;
    if (atEnd)
      return Failed(ReplyFailure::ConnectionClosed);
    head.code = ParseStatusCode(head.statusLine);
    std::string line;
    for (bool first = true;; first = false) {
      if (ReplyStatus status = ReadHeaderLine(line, atEnd, budget); !status.Ok())
        return status;
      // A close after the first header line ends the block there.
      if (atEnd) {
        if (first)
          return Failed(ReplyFailure::ConnectionClosed);
        break;
      }
      if (line.empty())
        break;
      const std::size_t colon = line.find(':');
      HttpHeader header;
      header.name = TrimBlanks(std::string_view(line).substr(0, colon));
      if (colon != std::string::npos) {
        header.value = TrimBlanks(std::string_view(line).substr(colon + 1));
      }
      head.headers.push_back(std::move(header));
    }
    if (head.code != 100)
      return {};
  }
}

ReplyStatus ReplyReader::WaitForData(int milliseconds, bool& ready) {
  ready = true;
  if (Buffered() > 0 || closed_)
    return {};
  if (const int error = stream_.WaitReadable(milliseconds, ready)) {
    return Failed(ReplyFailure::Socket, error);
  }
  return {};
}

ReplyStatus ReplyReader::ReadBody(const ReplyHead& head, IBodyDestination& destination) {
  if (head.IsChunked())
    return ReadChunked(destination);
  std::int64_t length = -1;
  if (ReplyStatus status = head.ContentLength(length); !status.Ok())
    return status;
  if (length > 0)
    return ReadCounted(length, destination);
  if (length == 0)
    return {};
  return ReadToClose(destination);
}

ReplyStatus ReplyReader::ReadCounted(std::int64_t length, IBodyDestination& destination) {
  if (const int error = destination.Reserve(length))
    return Failed(ReplyFailure::System, error);
  ReplyStatus status;
  std::int64_t remaining = length;
  while (remaining > 0) {
    if (Buffered() == 0) {
      // A body cut short by the peer is a failure, not a short success.
      if (closed_) {
        status = Failed(ReplyFailure::ConnectionClosed);
        break;
      }
      status = Fill();
      if (!status.Ok())
        break;
      continue;
    }
    const std::size_t piece = static_cast<std::size_t>(
        std::min<std::int64_t>(remaining, static_cast<std::int64_t>(Buffered())));
    if (const int error = destination.Write(buffer_.data() + begin_, piece)) {
      status = Failed(ReplyFailure::System, error);
      break;
    }
    begin_ += piece;
    remaining -= static_cast<std::int64_t>(piece);
  }
  const int error = destination.Truncate();
  if (status.Ok() && error != 0)
    status = Failed(ReplyFailure::System, error);
  return status;
}

ReplyStatus ReplyReader::ReadToClose(IBodyDestination& destination) {
  for (;;) {
    if (Buffered() == 0) {
      if (closed_)
        return {};
      if (ReplyStatus status = Fill(); !status.Ok())
        return status;
      continue;
    }
    if (const int error = destination.Write(buffer_.data() + begin_, Buffered())) {
      return Failed(ReplyFailure::System, error);
    }
    begin_ = end_;
  }
}

ReplyStatus ReplyReader::ReadChunked(IBodyDestination& destination) {
  std::string line;
  bool atEnd = false;
  for (;;) {
    if (ReplyStatus status = ReadLine(line, atEnd); !status.Ok())
      return status;
    if (atEnd)
      return Failed(ReplyFailure::ConnectionClosed);
    std::string_view size = line;
    size = size.substr(0, size.find(';'));
    std::int64_t remaining = 0;
    // A size line that cannot be read leaves no way to find the body's end;
    // taking it for the last chunk would pass off a cut-off body as whole.
    if (!ParseChunkSize(TrimBlanks(size), remaining))
      return Failed(ReplyFailure::BadChunkSize);
    if (remaining == 0)
      break;
    while (remaining > 0) {
      if (Buffered() == 0) {
        if (closed_)
          return Failed(ReplyFailure::ConnectionClosed);
        if (ReplyStatus status = Fill(); !status.Ok())
          return status;
        continue;
      }
      const std::size_t piece = static_cast<std::size_t>(
          std::min<std::int64_t>(remaining, static_cast<std::int64_t>(Buffered())));
      if (const int error = destination.Write(buffer_.data() + begin_, piece)) {
        return Failed(ReplyFailure::System, error);
      }
      begin_ += piece;
      remaining -= static_cast<std::int64_t>(piece);
    }
    if (ReplyStatus status = ReadLine(line, atEnd); !status.Ok())
      return status;
    if (atEnd)
      return Failed(ReplyFailure::ConnectionClosed);
    // More data than the size said: skipping it would lose body bytes.
    if (!line.empty())
      return Failed(ReplyFailure::BadChunkSize);
  }
  return ReadTrailers();
}

ReplyStatus ReplyReader::ReadTrailers() {
  std::string line;
  bool atEnd = false;
  HeaderBudget budget;
  for (;;) {
    if (ReplyStatus status = ReadHeaderLine(line, atEnd, budget); !status.Ok())
      return status;
    if (atEnd)
      return Failed(ReplyFailure::ConnectionClosed);
    if (line.empty())
      return {};
  }
}

}  // namespace zephora::http
