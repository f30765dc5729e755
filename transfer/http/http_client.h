// The wizard's HTTP/1.1 client: GET of a URL into a destination, directly or
// through a proxy, with an in-memory cookie store and the reuse of a
// kept-alive connection. It follows no redirects, sends no credentials and
// offers no content encoding but identity. An https URL goes over TLS,
// through a proxy by CONNECT; all else is as for http.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/text.h"
#include "platform/turns.h"
#include "transfer/http/byte_stream.h"
#include "transfer/http/connection.h"
#include "transfer/http/cookies.h"
#include "transfer/http/reply_reader.h"
#include "transfer/http/url.h"

namespace zephora {

enum class THttpProtocolVersion { pv1_0, pv1_1 };

struct THttpRequestSettings {
  Text Accept = u"text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  Text UserAgent = u"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";
};

struct TProxyParams {
  Text ProxyServer;            // empty: no proxy
  std::int32_t ProxyPort = 0;  // as typed; must be 1 to 65535 when a proxy is set
};

class THttpClient {
 public:
  THttpClient() = default;
  THttpClient(const THttpClient&) = delete;
  THttpClient& operator=(const THttpClient&) = delete;

  THttpProtocolVersion ProtocolVersion = THttpProtocolVersion::pv1_1;
  THttpRequestSettings Request;
  TProxyParams ProxyParams;
  bool AllowCookies = true;
  // Empty: TLS trusts the system's certificate store. Otherwise a PEM file
  // whose certificates are the only trusted roots, for development builds,
  // tools/fetch and the tests; a release never sets it.
  Text CaFile;
  // Called at least every few dozen milliseconds while a request waits or
  // reads, and never for longer than a slice apart. When it answers false,
  // the connection is closed and Get throws TStopped.
  TurnCallback OnTurn;
  // The body's bytes stored so far and the announced length (-1 when the
  // reply announces none), after every piece of a 2xx reply's body.
  std::function<void(std::int64_t done, std::int64_t total)> OnWork;

  // Sends a GET of `url` and stores a 2xx reply's body in `destination`.
  // Throws Exception with the user's message for every failure, including a
  // reply code outside 200 to 299 (the status line is the message), and
  // TStopped when a turn asked to stop.
  void Get(const Text& url, http::IBodyDestination& destination);

  // The last reply's code (-1 when none or not a number) and status line.
  int ResponseCode() const { return responseCode_; }
  const Text& ResponseText() const { return responseText_; }

  bool Connected() const { return connection_.IsOpen(); }
  void Disconnect();
  const http::CookieStore& CookieManager() const { return cookies_; }

 private:
  // Where a connection goes: the peer, and over TLS the server behind it.
  struct Route {
    std::string host;
    std::uint16_t port = 0;
    std::string tlsServer;  // "host:port"; empty for plain HTTP
    bool viaProxy = false;
    bool operator==(const Route&) const = default;
  };

  void Exchange(const Text& url, http::IBodyDestination& destination);
  [[noreturn]] void Fail(const http::ReplyStatus& status);
  void Open(const http::Url& url, const Route& route);
  void OpenTunnel(const std::string& server);
  std::string RequestHead(const http::Url& url, const std::string& target);

  http::Connection connection_;
  Route connected_;
  http::CookieStore cookies_;
  int responseCode_ = -1;
  Text responseText_;
};

}  // namespace zephora
