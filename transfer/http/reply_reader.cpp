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

// Digits with an optional sign, as a 32-bit number.
bool ParseDecimal(std::string_view text, long long limit, long long& value) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty())
    return false;
  long long result = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return false;
    result = result * 10 + (c - '0');
    if (result > limit)
      return false;
  }
  value = negative ? -result : result;
  return true;
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

std::int64_t ReplyHead::ContentLength() const {
  const std::string* value = Find("Content-Length");
  long long length = -1;
  if (value == nullptr ||
      !ParseDecimal(*value, std::numeric_limits<long long>::max() / 10, length)) {
    return -1;
  }
  return length < 0 ? -1 : length;
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
  if (!ParseDecimal(number, std::numeric_limits<int>::max(), code))
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

ReplyStatus ReplyReader::ReadHead(ReplyHead& head) {
  for (;;) {
    head.headers.clear();
    bool atEnd = false;
    if (ReplyStatus status = ReadLine(head.statusLine, atEnd); !status.Ok())
      return status;
    if (atEnd)
      return Failed(ReplyFailure::ConnectionClosed);
    head.code = ParseStatusCode(head.statusLine);
    std::string line;
    for (bool first = true;; first = false) {
      if (ReplyStatus status = ReadLine(line, atEnd); !status.Ok())
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
  const std::int64_t length = head.ContentLength();
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
    // A size line that is no number ends the body like a last chunk.
    if (!ParseChunkSize(TrimBlanks(size), remaining) || remaining == 0)
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
  }
  return ReadTrailers();
}

ReplyStatus ReplyReader::ReadTrailers() {
  std::string line;
  bool atEnd = false;
  for (;;) {
    if (ReplyStatus status = ReadLine(line, atEnd); !status.Ok())
      return status;
    if (atEnd)
      return Failed(ReplyFailure::ConnectionClosed);
    if (line.empty())
      return {};
  }
}

}  // namespace zephora::http
