#include "transfer/http/http_client.h"

#include <vector>

#include "platform/exception.h"
#include "transfer/http/http_texts.h"
#include "transfer/http/text_util.h"

namespace zephora {
namespace {

using http::ReplyFailure;
using http::ReplyStatus;

constexpr int kRedirectBodyWaitMs = 5000;

// A reply the client does not keep: its body is read and dropped.
class DiscardDestination : public http::IBodyDestination {
 public:
  int Write(const void*, std::size_t) override { return 0; }
  int Reserve(std::int64_t) override { return 0; }
  int Truncate() override { return 0; }
};

// HTML is collected whole before it reaches the destination.
class MemoryDestination : public http::IBodyDestination {
 public:
  int Write(const void* data, std::size_t size) override {
    bytes.insert(bytes.end(), static_cast<const char*>(data),
                 static_cast<const char*>(data) + size);
    return 0;
  }
  int Reserve(std::int64_t) override { return 0; }
  int Truncate() override { return 0; }
  std::vector<char> bytes;
};

bool IsHtml(const http::ReplyHead& head) {
  const std::string* type = head.Find("Content-Type");
  if (type == nullptr)
    return false;
  const std::string mediaType =
      http::ToLower(http::TrimBlanks(std::string_view(*type).substr(0, type->find(';'))));
  return mediaType == "text/html" || mediaType == "text/html-sandboxed" ||
         mediaType == "application/xhtml+xml";
}

bool AsksToClose(const http::ReplyHead& head, std::string_view name) {
  const std::string* value = head.Find(name);
  return value != nullptr && http::EqualsNoCase(http::TrimBlanks(*value), "close");
}

// A status line is shown as sent: UTF-8 when it is, else one byte a character.
Text StatusText(const std::string& line) {
  if (IsValidUtf8(line))
    return FromUtf8(line);
  Text text;
  for (const char c : line)
    text += static_cast<char16_t>(static_cast<unsigned char>(c));
  return text;
}

}  // namespace

int THttpClient::SocketStream::Read(void* buffer, std::size_t size, std::size_t& done) {
  return connection_.Receive(buffer, size, done);
}

int THttpClient::SocketStream::Write(const void* data, std::size_t size) {
  return connection_.Send(data, size);
}

int THttpClient::SocketStream::WaitReadable(int milliseconds, bool& ready) {
  return connection_.WaitReadable(milliseconds, ready);
}

void THttpClient::Disconnect() {
  connection_.Close();
}

void THttpClient::Fail(const ReplyStatus& status) {
  // Whatever broke, the connection is in no state to carry another request.
  Disconnect();
  switch (status.failure) {
    case ReplyFailure::ConnectionClosed:
      throw Exception(LoadResString(http::SConnectionClosedGracefully));
    case ReplyFailure::MaxLineLength:
      throw Exception(LoadResString(http::SMaxLineLengthExceeded));
    case ReplyFailure::Socket:
      throw Exception(http::SocketErrorMessage(status.code));
    case ReplyFailure::System:
    case ReplyFailure::None:
      break;
  }
  throw Exception(http::SystemErrorMessage(status.code));
}

std::string THttpClient::RequestHead(const http::Url& url, const std::string& target) {
  std::string head = "GET " + target + " HTTP/" +
                     (ProtocolVersion == THttpProtocolVersion::pv1_1 ? "1.1" : "1.0") + "\r\n";
  head += "Host: " + url.HostAndPort() + "\r\n";
  head += "Accept: " + ToUtf8(Request.Accept) + "\r\n";
  head += "Accept-Encoding: identity\r\n";
  head += "User-Agent: " + ToUtf8(Request.UserAgent) + "\r\n";
  if (AllowCookies) {
    cookies_.RemoveExpired(http::CookieClock());
    const std::string cookie = cookies_.HeaderFor(url);
    if (!cookie.empty())
      head += "Cookie: " + cookie + "\r\n";
  }
  head += "\r\n";
  return head;
}

void THttpClient::Get(const Text& urlText, http::IBodyDestination& destination) {
  responseCode_ = -1;
  responseText_.clear();
  http::Url url;
  if (!http::SplitUrl(urlText, url))
    throw Exception(FormatResString(http::SInvalidUrl, {urlText}));

  std::string peerHost = url.host;
  std::uint16_t peerPort = url.port;
  std::string target = url.Target();
  if (!ProxyParams.ProxyServer.empty()) {
    // Checked before anything else: a port out of range must not be cut
    // down to another port.
    if (ProxyParams.ProxyPort < 1 || ProxyParams.ProxyPort > 65535) {
      throw Exception(FormatResString(http::SInvalidProxyPort, {ProxyParams.ProxyPort}));
    }
    peerHost = ToUtf8(ProxyParams.ProxyServer);
    peerPort = static_cast<std::uint16_t>(ProxyParams.ProxyPort);
    target = url.Absolute();
  }

  if (connection_.IsOpen() &&
      (peerHost != connectedHost_ || peerPort != connectedPort_ || connection_.PeerClosed())) {
    Disconnect();
  }
  if (!connection_.IsOpen()) {
    if (const int error = connection_.Connect(peerHost, peerPort)) {
      throw Exception(http::SocketErrorMessage(error));
    }
    connectedHost_ = peerHost;
    connectedPort_ = peerPort;
  }

  const std::string head = RequestHead(url, target);
  SocketStream stream(connection_);
  if (const int error = stream.Write(head.data(), head.size())) {
    Fail({ReplyFailure::Socket, error});
  }

  http::ReplyReader reader(stream);
  http::ReplyHead reply;
  if (ReplyStatus status = reader.ReadHead(reply); !status.Ok())
    Fail(status);
  responseCode_ = reply.code;
  responseText_ = StatusText(reply.statusLine);

  if (AllowCookies) {
    const std::int64_t now = http::CookieClock();
    for (const std::string& setCookie : reply.FindAll("Set-Cookie")) {
      cookies_.Receive(setCookie, url, now);
    }
  }

  const int code = reply.code;
  const bool success = code >= 200 && code <= 299;
  bool hasBody = !(code >= 100 && code <= 199) && code != 204 && code != 304;
  if (hasBody && code >= 300 && code <= 399 && reply.ContentLength() != 0) {
    // A redirect often comes without a body and without saying so.
    if (ReplyStatus status = reader.WaitForData(kRedirectBodyWaitMs, hasBody); !status.Ok()) {
      Fail(status);
    }
  }
  if (hasBody) {
    DiscardDestination discard;
    MemoryDestination html;
    http::IBodyDestination* sink = success ? &destination : &discard;
    const bool collect = success && IsHtml(reply);
    if (ReplyStatus status = reader.ReadBody(reply, collect ? html : *sink); !status.Ok()) {
      Fail(status);
    }
    if (collect && !html.bytes.empty()) {
      if (const int error = destination.Write(html.bytes.data(), html.bytes.size())) {
        Fail({ReplyFailure::System, error});
      }
    }
  }

  if (reader.PeerClosed() || AsksToClose(reply, "Connection") ||
      AsksToClose(reply, "Proxy-Connection")) {
    Disconnect();
  }
  if (!success)
    throw Exception(responseText_);
}

}  // namespace zephora
