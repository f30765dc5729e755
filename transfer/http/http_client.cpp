#include "transfer/http/http_client.h"

#include "platform/exception.h"
#include "transfer/http/held_body.h"
#include "transfer/http/http_texts.h"
#include "transfer/http/status_text.h"
#include "transfer/http/text_util.h"
#include "transfer/http/tls_texts.h"

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

// The proxy's answer to CONNECT, read a byte at a time, so that no byte from
// inside the tunnel lands in a reader's buffer.
class ByteByByte : public http::IByteStream {
 public:
  explicit ByteByByte(http::IByteStream& stream) : stream_(stream) {}
  int Read(void* buffer, std::size_t size, std::size_t& done) override {
    return stream_.Read(buffer, size > 0 ? 1 : 0, done);
  }
  int Write(const void* data, std::size_t size) override { return stream_.Write(data, size); }
  int WaitReadable(int milliseconds, bool& ready) override {
    return stream_.WaitReadable(milliseconds, ready);
  }

 private:
  http::IByteStream& stream_;
};

// The 2xx body on its way to the caller's destination, counted for OnWork.
class CountingDestination : public http::IBodyDestination {
 public:
  CountingDestination(http::IBodyDestination& inner,
                      const std::function<void(std::int64_t, std::int64_t)>& onWork)
      : inner_(inner), onWork_(onWork) {}
  int Write(const void* data, std::size_t size) override {
    if (const int error = inner_.Write(data, size))
      return error;
    done_ += static_cast<std::int64_t>(size);
    onWork_(done_, total_);
    return 0;
  }
  int Reserve(std::int64_t length) override {
    total_ = done_ + length;
    return inner_.Reserve(length);
  }
  int Truncate() override { return inner_.Truncate(); }

 private:
  http::IBodyDestination& inner_;
  const std::function<void(std::int64_t, std::int64_t)>& onWork_;
  std::int64_t done_ = 0;
  std::int64_t total_ = -1;
};

}  // namespace

void THttpClient::Disconnect() {
  connection_.Close();
}

void THttpClient::Fail(const ReplyStatus& status) {
  const std::uint32_t tlsCode = connection_.TlsFailureCode();
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
      throw Exception(http::ConnectionErrorMessage(status.code, tlsCode));
    case ReplyFailure::System:
    case ReplyFailure::None:
      break;
  }
  throw Exception(http::SystemErrorMessage(status.code));
}

void THttpClient::Open(const http::Url& url, const Route& route) {
  if (const int error = connection_.Connect(route.host, route.port))
    throw Exception(http::SocketErrorMessage(error));
  if (!route.tlsServer.empty()) {
    if (route.viaProxy)
      OpenTunnel(route.tlsServer);
    if (const int error = connection_.StartTls(url.host, TlsOptions{CaFile})) {
      const std::uint32_t tlsCode = connection_.TlsFailureCode();
      Disconnect();
      throw Exception(http::ConnectionErrorMessage(error, tlsCode, route.viaProxy));
    }
  }
  connected_ = route;
}

// TLS runs inside the tunnel, so the proxy sees neither the request nor the
// cookies. Any answer but 2xx fails with its status line.
void THttpClient::OpenTunnel(const std::string& server) {
  const std::string head = "CONNECT " + server + " HTTP/1.1\r\nHost: " + server +
                           "\r\nUser-Agent: " + ToUtf8(Request.UserAgent) + "\r\n\r\n";
  if (const int error = connection_.Write(head.data(), head.size()))
    Fail({ReplyFailure::Socket, error});
  ByteByByte stream(connection_);
  http::ReplyReader reader(stream);
  http::ReplyHead reply;
  if (ReplyStatus status = reader.ReadHead(reply); !status.Ok())
    Fail(status);
  if (reply.code < 200 || reply.code > 299) {
    responseCode_ = reply.code;
    responseText_ = http::StatusLineText(reply.statusLine);
    Disconnect();
    throw Exception(http::ShownStatusLine(responseText_));
  }
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
  TurnGate turns(&OnTurn);
  connection_.SetTurns(&turns);
  struct Unset {
    http::Connection& connection;
    ~Unset() { connection.SetTurns(nullptr); }
  } unset{connection_};
  // Whatever a stop broke off on the way reads as the stop itself: the
  // user chose it, and the connection is in no state to carry on.
  try {
    if (OnWork) {
      CountingDestination counted(destination, OnWork);
      Exchange(urlText, counted);
    } else {
      Exchange(urlText, destination);
    }
  } catch (const Exception&) {
    if (!turns.Stopped())
      throw;
  }
  if (turns.Stopped()) {
    Disconnect();
    throw TStopped();
  }
}

void THttpClient::Exchange(const Text& urlText, http::IBodyDestination& destination) {
  responseCode_ = -1;
  responseText_.clear();
  http::Url url;
  if (!http::SplitUrl(urlText, url))
    throw Exception(FormatResString(http::SInvalidUrl, {urlText}));

  Route route{url.host, url.port, url.Secure() ? url.host + ":" + std::to_string(url.port) : "",
              false};
  std::string target = url.Target();
  if (!ProxyParams.ProxyServer.empty()) {
    // Checked before anything else: a port out of range must not be cut
    // down to another port.
    if (ProxyParams.ProxyPort < 1 || ProxyParams.ProxyPort > 65535) {
      throw Exception(FormatResString(http::SInvalidProxyPort, {ProxyParams.ProxyPort}));
    }
    route.host = ToUtf8(ProxyParams.ProxyServer);
    route.port = static_cast<std::uint16_t>(ProxyParams.ProxyPort);
    route.viaProxy = true;
    // Through a tunnel the server gets the request as if sent directly.
    if (!url.Secure())
      target = url.Absolute();
  }

  if (connection_.IsOpen() && (route != connected_ || connection_.PeerClosed()))
    Disconnect();
  if (!connection_.IsOpen())
    Open(url, route);

  const std::string head = RequestHead(url, target);
  if (const int error = connection_.Write(head.data(), head.size())) {
    Fail({ReplyFailure::Socket, error});
  }

  http::ReplyReader reader(connection_);
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
