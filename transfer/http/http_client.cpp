#include "transfer/http/http_client.h"

#include "platform/exception.h"
#include "transfer/http/held_body.h"
#include "transfer/http/http_texts.h"
#include "transfer/http/status_text.h"
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
    case ReplyFailure::HeaderBlockTooLarge:
      throw Exception(LoadResString(http::SHeaderBlockTooLarge));
    case ReplyFailure::LengthTooLarge:
      throw Exception(LoadResString(http::SContentLengthTooLarge));
    case ReplyFailure::BadChunkSize:
      throw Exception(LoadResString(http::SInvalidChunkSize));
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
  responseText_ = http::StatusLineText(reply.statusLine);

  if (AllowCookies) {
    const std::int64_t now = http::CookieClock();
    // Expired cookies make room before any others are evicted.
    cookies_.RemoveExpired(now);
    for (const std::string& setCookie : reply.FindAll("Set-Cookie")) {
      cookies_.Receive(setCookie, url, now);
    }
  }

  const int code = reply.code;
  const bool success = code >= 200 && code <= 299;
  bool hasBody = !(code >= 100 && code <= 199) && code != 204 && code != 304;
  std::int64_t announced = -1;
  const bool announcedEmpty = reply.ContentLength(announced).Ok() && announced == 0;
  if (hasBody && code >= 300 && code <= 399 && !announcedEmpty) {
    // A redirect often comes without a body and without saying so.
    if (ReplyStatus status = reader.WaitForData(kRedirectBodyWaitMs, hasBody); !status.Ok()) {
      Fail(status);
    }
  }
  if (hasBody) {
    DiscardDestination discard;
    http::HeldBody html(destination);
    http::IBodyDestination* sink = success ? &destination : &discard;
    const bool hold = success && IsHtml(reply);
    if (ReplyStatus status = reader.ReadBody(reply, hold ? html : *sink); !status.Ok())
      Fail(status);
    if (hold) {
      if (const int error = html.Release())
        Fail({ReplyFailure::System, error});
    }
  }

  if (reader.PeerClosed() || AsksToClose(reply, "Connection") ||
      AsksToClose(reply, "Proxy-Connection")) {
    Disconnect();
  }
  if (!success)
    throw Exception(http::ShownStatusLine(responseText_));
}

}  // namespace zephora
