#include "transfer/http/http_client.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#ifndef _WIN32
#include <netdb.h>
#endif
#include <string>

#include "platform/exception.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "tests/support/test_support.h"
#include "tests/transfer/http/scripted_server.h"
#include "transfer/http/download_file.h"
#include "transfer/http/held_body.h"
#include "transfer/http/http_texts.h"

namespace zephora {
namespace {

using test::ExpectedRequest;
using test::ScriptedServer;
using test::ScriptStep;
using After = ScriptStep::After;

std::string Local(const ScriptedServer& server) {
  return "127.0.0.1:" + std::to_string(server.Port());
}

Text UrlOf(const ScriptedServer& server, const std::string& path = "/zephora/Files/main.zip") {
  return FromUtf8("http://" + Local(server) + path);
}

// Runs the download and gives the failure message, or "" on success.
Text Download(THttpClient& client, const Text& url, const std::filesystem::path& file) {
  try {
    DownloadUrl(client, url, test::ToText(file));
  } catch (const Exception& error) {
    return error.Message();
  }
  return u"";
}

std::string Ok(const std::string& body, const std::string& extra = "") {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
         "\r\n" + body;
}

std::string Hex(std::size_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "%zx", value);
  return text;
}

class HttpClientTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::filesystem::path file = dir / "main.zip";
  THttpClient client;
};

TEST_F(HttpClientTest, StoresTheBodyAndSendsExactlyTheListedHeaders) {
  ScriptedServer server{{Ok("package bytes")}};
  test::WriteFile(file, std::string(100, 'o'));  // emptied first
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(client.ResponseCode(), 200);
  EXPECT_EQ(client.ResponseText(), u"HTTP/1.1 200 OK");
  EXPECT_EQ(test::ReadFile(file), "package bytes");
  EXPECT_TRUE(client.Connected());
  client.Disconnect();
  EXPECT_EQ(server.Requests(),
            std::vector<std::string>{ExpectedRequest("/zephora/Files/main.zip", Local(server))});
}

TEST_F(HttpClientTest, ReusesTheKeptConnectionAndSendsBackCookies) {
  ScriptedServer server{
      {Ok("one",
          "Set-Cookie: session=abc; Path=/zephora\r\nSet-Cookie: lang=nl; Path=/\r\n"
          "Set-Cookie: other=1; Path=/elsewhere\r\n")},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\ntwo\r\n0\r\n\r\n"},
  };
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  const auto second = dir / "upgrade.zip";
  EXPECT_EQ(Download(client, UrlOf(server, "/zephora/Files/upgrade.zip"), second), u"");
  EXPECT_EQ(test::ReadFile(file), "one");
  EXPECT_EQ(test::ReadFile(second), "two");
  client.Disconnect();
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_EQ(
      server.Requests(),
      (std::vector<std::string>{
          ExpectedRequest("/zephora/Files/main.zip", Local(server)),
          ExpectedRequest("/zephora/Files/upgrade.zip", Local(server), "session=abc; lang=nl"),
      }));
}

TEST_F(HttpClientTest, OpensANewConnectionWhenTheReplyAsksToClose) {
  for (const char* header : {"Connection: close\r\n", "Proxy-Connection:  CLOSE \r\n"}) {
    ScriptedServer server{{Ok("a", header)}, {Ok("b")}};
    EXPECT_EQ(Download(client, UrlOf(server), file), u"");
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(Download(client, UrlOf(server), file), u"");
    client.Disconnect();
    EXPECT_EQ(server.Connections(), 2) << header;
  }
}

TEST_F(HttpClientTest, ReconnectsWhenThePeerClosedTheIdleConnection) {
  ScriptedServer server{{Ok("a"), After::Close}, {Ok("b")}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  server.WaitForStep(1);
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(test::ReadFile(file), "b");
  client.Disconnect();
  EXPECT_EQ(server.Connections(), 2);
}

TEST_F(HttpClientTest, FailsWhenAKeptConnectionClosesAfterTheRequest) {
  ScriptedServer server{{Ok("a")}, {"", After::Close}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(Download(client, UrlOf(server), file), u"Connection Closed Gracefully.");
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(server.Connections(), 1);
}

TEST_F(HttpClientTest, SkipsInterimContinue) {
  ScriptedServer server{{"HTTP/1.1 100 Continue\r\n\r\n" + Ok("real")}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(test::ReadFile(file), "real");
}

TEST_F(HttpClientTest, ReadsToTheCloseWithoutLength) {
  ScriptedServer server{{"HTTP/1.1 200 OK\r\n\r\nuntil the end", After::Close}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(test::ReadFile(file), "until the end");
  EXPECT_FALSE(client.Connected());
}

TEST_F(HttpClientTest, CollectsHtmlAndStoresIt) {
  const std::string page = "<html>" + std::string(100000, 'h') + "</html>";
  ScriptedServer server{{Ok(page, "Content-Type: text/HTML; charset=utf-8\r\n")}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(test::ReadFile(file), page);
}

TEST_F(HttpClientTest, ReportsEveryCodeOutside200To299ByItsStatusLine) {
  const struct {
    std::string reply;
    const char16_t* message;
  } cases[] = {
      {"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here!", u"HTTP/1.1 404 Not Found"},
      {"HTTP/1.0 404  Niet gevonden \r\nContent-Length: 0\r\n\r\n",
       u"HTTP/1.0 404  Niet gevonden "},
      {"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/x\r\nContent-Length: 5\r\n\r\nmoved",
       u"HTTP/1.1 302 Found"},
      {"HTTP/1.1 304 Not Modified\r\n\r\n", u"HTTP/1.1 304 Not Modified"},
      {"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n",
       u"HTTP/1.1 407 Proxy Authentication Required"},
      {"HTTP/1.1 500 Internal Server Error\r\nTransfer-Encoding: "
       "chunked\r\n\r\n2\r\nno\r\n0\r\n\r\n",
       u"HTTP/1.1 500 Internal Server Error"},
      {"HTTP/1.1 101 Switching Protocols\r\n\r\n", u"HTTP/1.1 101 Switching Protocols"},
      {"HTTP/1.1 OK 200\r\nContent-Length: 2\r\n\r\nno", u"HTTP/1.1 OK 200"},
  };
  for (const auto& c : cases) {
    // The body is consumed and dropped: the next request on the same
    // connection reads its own reply.
    ScriptedServer server{{c.reply}, {Ok("next")}};
    EXPECT_EQ(Download(client, UrlOf(server), file), c.message);
    EXPECT_EQ(test::ReadFile(file), "");
    EXPECT_EQ(Download(client, UrlOf(server), file), u"");
    EXPECT_EQ(test::ReadFile(file), "next");
    client.Disconnect();
    EXPECT_EQ(server.Connections(), 1) << c.reply;
    EXPECT_EQ(server.Requests().size(), 2u);
  }
}

TEST_F(HttpClientTest, RedirectBodyIsReadOnlyWhenItArrivesInTime) {
  {
    ScriptedServer server{
        {"HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n", After::Close, 200, "late body"}};
    EXPECT_EQ(Download(client, UrlOf(server), file), u"HTTP/1.1 302 Found");
    EXPECT_FALSE(client.Connected());  // read to the close
  }
  {
    ScriptedServer server{{"HTTP/1.1 301 Moved Permanently\r\nLocation: /x\r\n\r\n"}, {Ok("next")}};
    EXPECT_EQ(Download(client, UrlOf(server), file), u"HTTP/1.1 301 Moved Permanently");
    EXPECT_TRUE(client.Connected());  // no body came: nothing was read
    EXPECT_EQ(Download(client, UrlOf(server), file), u"");
    EXPECT_EQ(test::ReadFile(file), "next");
  }
}

TEST_F(HttpClientTest, Codes201To299FailAfterStoringTheBody) {
  {
    ScriptedServer server{{"HTTP/1.1 204 No Content\r\n\r\n"}};
    EXPECT_EQ(Download(client, UrlOf(server), file), u"HTTP Error:204: HTTP/1.1 204 No Content");
    EXPECT_EQ(test::ReadFile(file), "");
  }
  {
    ScriptedServer server{{"HTTP/1.1 201 Created\r\nContent-Length: 4\r\n\r\nmade"}};
    EXPECT_EQ(Download(client, UrlOf(server), file), u"HTTP Error:201: HTTP/1.1 201 Created");
    EXPECT_EQ(test::ReadFile(file), "made");
  }
}

TEST_F(HttpClientTest, ShortCountedBodyFailsAndKeepsWhatCame) {
  ScriptedServer server{
      {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(600, 'p'), After::Close}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"Connection Closed Gracefully.");
  EXPECT_EQ(test::ReadFile(file), std::string(600, 'p'));
  EXPECT_FALSE(client.Connected());
}

TEST_F(HttpClientTest, ReportsBrokenReplies) {
  const struct {
    std::string reply;
    const char16_t* message;
  } cases[] = {
      {"", u"Connection Closed Gracefully."},
      {"HTTP/1.1 200 OK\r\n", u"Connection Closed Gracefully."},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nabc",
       u"Connection Closed Gracefully."},
      {"HTTP/1.1 200 " + std::string(16400, 'x') + "\r\n\r\n", u"Max line length exceeded."},
      {"HTTP/1.1 200 OK\r\nServer: " + std::string(16400, 'x') + "\r\n\r\n",
       u"Max line length exceeded."},
  };
  for (const auto& c : cases) {
    ScriptedServer server{{c.reply, After::Close}};
    EXPECT_EQ(Download(client, UrlOf(server), file), c.message);
    EXPECT_FALSE(client.Connected());
  }
  // A close right after the first header line ends the head; no length: empty body.
  ScriptedServer server{{"HTTP/1.1 200 OK\r\nServer: s\r\n", After::Close}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_FALSE(client.Connected());
}

TEST_F(HttpClientTest, HeaderBlockOverTheBoundFails) {
  std::string reply = "HTTP/1.1 200 OK\r\n";
  for (std::size_t i = 0; i < http::kMaxHeaderLines; ++i)
    reply += "Set-Cookie: c" + std::to_string(i) + "=1\r\n";
  ScriptedServer server{{reply + "\r\nbody"}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"Header block too large.");
  EXPECT_EQ(test::ReadFile(file), "");
  EXPECT_FALSE(client.Connected());
}

TEST_F(HttpClientTest, HtmlPastTheBoundGoesOnIntoTheFile) {
  std::string page = "<html>";
  while (page.size() < 3 * http::kMaxHeldBody)
    page += "<p>" + std::to_string(page.size()) + "</p>";
  page += "</html>";
  std::string chunked;
  for (std::size_t at = 0; at < page.size(); at += 50000) {
    const std::string piece = page.substr(at, 50000);
    chunked += Hex(piece.size()) + "\r\n" + piece + "\r\n";
  }
  ScriptedServer server{
      {Ok(page, "Content-Type: text/html\r\n")},
      {"HTTP/1.1 200 OK\r\nContent-Type: application/xhtml+xml\r\nTransfer-Encoding: "
       "chunked\r\n\r\n" +
       chunked + "0\r\n\r\n"},
  };
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(test::ReadFile(file), page);
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(test::ReadFile(file), page);
}

TEST_F(HttpClientTest, HtmlCutShortLeavesTheFileEmptyUpToTheBound) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                           std::to_string(4 * http::kMaxHeldBody) + "\r\n\r\n";
  {
    ScriptedServer server{{head + "<html>cut", After::Close}};
    EXPECT_EQ(Download(client, UrlOf(server), file), u"Connection Closed Gracefully.");
    EXPECT_EQ(test::ReadFile(file), "");
  }
  // Past the bound it is a body like any other: what came stays.
  const std::string part(2 * http::kMaxHeldBody, 'h');
  ScriptedServer server{{head + part, After::Close}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"Connection Closed Gracefully.");
  EXPECT_EQ(test::ReadFile(file), part);
}

TEST_F(HttpClientTest, LengthBeyondAnyCountFails) {
  ScriptedServer server{
      {"HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\n123456789", After::Close}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"Content-Length too large.");
  EXPECT_EQ(test::ReadFile(file), "");
  EXPECT_FALSE(client.Connected());
}

TEST_F(HttpClientTest, LargeReadableLengthNeverEndsInSuccess) {
  // A count can hold it: the file is set to that size first, which a file
  // system refuses (or, sparse, allows, and the short body then fails).
  ScriptedServer server{
      {"HTTP/1.1 200 OK\r\nContent-Length: 922337203685477581\r\n\r\n123456789", After::Close}};
  const Text message = Download(client, UrlOf(server), file);
  EXPECT_TRUE(message.starts_with(u"System Error.  Code: ") ||
              message == u"Connection Closed Gracefully.")
      << ToUtf8(message);
  EXPECT_LE(test::ReadFile(file).size(), 9u);
}

TEST_F(HttpClientTest, UnreadableChunkSizeFails) {
  ScriptedServer server{
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nPK\x03\x04\r\n"
       "ZZZ\r\nrest\r\n0\r\n\r\n"}};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"Invalid chunk size.");
  EXPECT_EQ(test::ReadFile(file), "PK\x03\x04");
  EXPECT_FALSE(client.Connected());
}

TEST_F(HttpClientTest, StatusLinesShowWhatIsThereAndNeverNothing) {
  const struct {
    std::string statusLine;
    const char16_t* message;
  } cases[] = {
      {"", u"Empty status line."},
      {"   ", u"Empty status line."},
      {" \xC2\xA0\xE2\x80\x8B", u"Empty status line."},  // blank, no-break and zero-width space
      {"\t", u"<U+0009>"},
      {std::string(1, '\0'), u"<U+0000>"},
      {"HTTP/1.1 404 \x1B[2J\aNot Found", u"HTTP/1.1 404 <U+001B>[2J<U+0007>Not Found"},
      {"HTTP/1.1 404 \xE2\x80\xAE"
       "dnuof toN",
       u"HTTP/1.1 404 <U+202E>dnuof toN"},
      {std::string("HTTP/1.1 404 Not\0Found", 22), u"HTTP/1.1 404 Not<U+0000>Found"},
      {"HTTP/1.1 503 Dienst niet beschikbaar \xE2\x80\x94 \xC3\xA9\xC3\xA9n moment",
       u"HTTP/1.1 503 Dienst niet beschikbaar \u2014 \u00e9\u00e9n moment"},
  };
  // A line of 16 KB shows its first 200 characters; a character outside
  // the basic plane that straddles the cut is left out whole, one that ends
  // at it stays.
  const std::string padding(186, 'x');
  const std::u16string shownPadding(186, u'x');
  const struct {
    std::string statusLine;
    std::u16string message;
  } longLines[] = {
      {"HTTP/1.1 404 " + std::string(16000, 'x'),
       u"HTTP/1.1 404 " + std::u16string(187, u'x') + u"..."},
      {"HTTP/1.1 404 " + padding + "\xF0\x9F\x93\xA6rest",
       u"HTTP/1.1 404 " + shownPadding + u"..."},
      {"HTTP/1.1 404 " + padding.substr(1) + "\xF0\x9F\x93\xA6",
       u"HTTP/1.1 404 " + shownPadding.substr(1) + u"\U0001F4E6"},
  };
  for (const auto& c : cases) {
    ScriptedServer server{{c.statusLine + "\r\n\r\n", After::Close}};
    EXPECT_EQ(Download(client, UrlOf(server), file), c.message);
    EXPECT_EQ(test::ReadFile(file), "");
  }
  for (const auto& c : longLines) {
    ScriptedServer server{{c.statusLine + "\r\n\r\n", After::Close}};
    EXPECT_EQ(Download(client, UrlOf(server), file), c.message);
  }
  ScriptedServer server{{"HTTP/1.1 201 \x1B]0;x\aCreated\r\nContent-Length: 0\r\n\r\n"}};
  EXPECT_EQ(Download(client, UrlOf(server), file),
            u"HTTP Error:201: HTTP/1.1 201 <U+001B>]0;x<U+0007>Created");
}

TEST_F(HttpClientTest, ReportsSocketErrorsWithWinsockNumbers) {
#ifndef _WIN32
  // Wine closes a lingering-zero socket in an orderly way, so the peer
  // can reset a connection only natively.
  {
    ScriptedServer server{
        {"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\npartial", After::Reset}};
    EXPECT_EQ(Download(client, UrlOf(server), file),
              u"Socket Error # 10054\r\nConnection reset by peer.");
    EXPECT_EQ(test::ReadFile(file), "partial");
    EXPECT_FALSE(client.Connected());
  }
#endif
  std::uint16_t closedPort = 0;
  {
    TcpListener listener;
    ASSERT_EQ(listener.Listen(0), 0);
    closedPort = listener.Port();
  }
  EXPECT_EQ(
      Download(client, FromUtf8("http://127.0.0.1:" + std::to_string(closedPort) + "/x"), file),
      u"Socket Error # 10061\r\nConnection refused.");
}

TEST_F(HttpClientTest, GoesThroughTheProxyWithTheAbsoluteTarget) {
  ScriptedServer proxy{{Ok("via proxy", "Set-Cookie: p=1\r\n")}, {Ok("again")}};
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = proxy.Port();
  // DownloadFile with this build's download server, whose name is never
  // resolved when a proxy is used.
  const Text baseUrl = FromUtf8(ZEPHORA_TEST_DOWNLOAD_BASE_URL);
  EXPECT_NO_THROW(DownloadFile(client, baseUrl, u"Files/main.zip", test::ToText(file)));
  EXPECT_EQ(test::ReadFile(file), "via proxy");
  EXPECT_NO_THROW(DownloadFile(client, baseUrl, u"Files/upgrade.zip", test::ToText(file)));
  http::Url base;
  ASSERT_TRUE(http::SplitUrl(baseUrl, base));
  client.Disconnect();
  EXPECT_EQ(proxy.Connections(), 1);
  EXPECT_EQ(proxy.Requests(),
            (std::vector<std::string>{
                ExpectedRequest(ToUtf8(baseUrl) + "Files/main.zip", base.HostAndPort()),
                ExpectedRequest(ToUtf8(baseUrl) + "Files/upgrade.zip", base.HostAndPort(), "p=1"),
            }));
  EXPECT_EQ(base.path, "/zephora/");
}

TEST_F(HttpClientTest, ProxyTargetNamesAPortOtherThan80) {
  ScriptedServer proxy{{Ok("x")}};
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = proxy.Port();
  EXPECT_EQ(Download(client, u"http://pkg.example:8080/zephora/a.zip", file), u"");
  client.Disconnect();
  EXPECT_EQ(proxy.Requests(), std::vector<std::string>{ExpectedRequest(
                                  "http://pkg.example:8080/zephora/a.zip", "pkg.example:8080")});
}

// An https URL through the proxy: CONNECT first, and nothing of the request
// (target, cookies) for the proxy to read.
TEST_F(HttpClientTest, AsksTheProxyForATunnelAndReportsItsRefusal) {
  const std::string connect =
      "CONNECT pkg.example:443 HTTP/1.1\r\nHost: pkg.example:443\r\n"
      "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)\r\n\r\n";
  ScriptedServer proxy{
      {"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 5\r\n\r\nlogin",
       After::Close},
      {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n"}};
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = proxy.Port();
  test::WriteFile(file, "old");
  EXPECT_EQ(Download(client, u"https://pkg.example/zephora/Files/main.zip", file),
            u"HTTP/1.1 407 Proxy Authentication Required");
  EXPECT_EQ(client.ResponseCode(), 407);
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(test::ReadFile(file), "");
  EXPECT_EQ(Download(client, u"https://pkg.example:8443/zephora/Files/main.zip", file),
            u"HTTP/1.1 302 Found");
  EXPECT_FALSE(client.Connected());
  proxy.Finish();
  EXPECT_EQ(proxy.Connections(), 2);
  std::string second = connect;
  second.replace(second.find(":443"), 4, ":8443");
  second.replace(second.find(":443"), 4, ":8443");
  EXPECT_EQ(proxy.Requests(), (std::vector<std::string>{connect, second}));
}

// A peer that answers in anything but TLS is never read as plain HTTP.
TEST_F(HttpClientTest, FailsTheHandshakeWithAPeerThatSpeaksNoTls) {
  ScriptedServer proxy{{"HTTP/1.1 200 Connection established\r\n\r\n", After::Keep, 50,
                        "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody"}};
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = proxy.Port();
  EXPECT_EQ(Download(client, u"https://pkg.example/zephora/Files/main.zip", file),
            u"The TLS handshake with the server failed.");
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(test::ReadFile(file), "");
  EXPECT_EQ(client.ResponseCode(), -1);
}

TEST_F(HttpClientTest, ReportsAServerThatRefusesOurTlsVersions) {
  // A fatal protocol_version alert in answer to the client's hello.
  ScriptedServer proxy{{"HTTP/1.1 200 Connection established\r\n\r\n", After::Keep, 50,
                        std::string("\x15\x03\x01\x00\x02\x02\x46", 7)}};
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = proxy.Port();
  // Wine's SChannel: SEC_E_INTERNAL_ERROR; OpenSSL: its alert's error code.
  EXPECT_EQ(Download(client, u"https://pkg.example/zephora/Files/main.zip", file),
            test::OnWindowsElse(
                u"The server and this program have no TLS version in common. (0x80090304)",
                u"The server and this program have no TLS version in common. (0x0A00042E)"));
  EXPECT_FALSE(client.Connected());
}

TEST_F(HttpClientTest, RefusesAProxyPortOutOfRangeBeforeConnecting) {
  ScriptedServer unused{};
  for (const std::int32_t port : {0, 65536, 65537, -1, 70000}) {
    client.ProxyParams.ProxyServer = u"127.0.0.1";
    client.ProxyParams.ProxyPort = port;
    test::WriteFile(file, "old");
    EXPECT_EQ(Download(client, UrlOf(unused), file), u"Invalid proxy port: " + ToText(port));
    EXPECT_EQ(test::ReadFile(file), "");  // created first, nothing more
    EXPECT_FALSE(client.Connected());
  }
  EXPECT_EQ(unused.Connections(), 0);
}

TEST_F(HttpClientTest, EmptyProxyHostMeansDirect) {
  ScriptedServer server{{Ok("direct")}};
  client.ProxyParams.ProxyServer = u"";
  client.ProxyParams.ProxyPort = 0;
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(test::ReadFile(file), "direct");
}

TEST_F(HttpClientTest, ClosesTheConnectionToAnotherPeer) {
  ScriptedServer first{{Ok("1")}};
  ScriptedServer second{{Ok("2")}};
  EXPECT_EQ(Download(client, UrlOf(first), file), u"");
  EXPECT_EQ(Download(client, UrlOf(second), file), u"");
  // `first` ends its script only because the client let go of it.
  EXPECT_EQ(first.Requests().size(), 1u);
  client.Disconnect();
  EXPECT_EQ(second.Requests().size(), 1u);
}

TEST_F(HttpClientTest, ReportsAFileThatCannotBeCreated) {
  const auto missing = dir / "no such folder" / "main.zip";
  ScriptedServer unused{};
#ifdef _WIN32
  const int expected = 3;  // ERROR_PATH_NOT_FOUND
#else
  const int expected = ENOENT;
#endif
  EXPECT_EQ(Download(client, UrlOf(unused), missing), u"Cannot create file \"" +
                                                          test::ToText(missing) + u"\". " +
                                                          TrimErrorText(SystemErrorText(expected)));
  EXPECT_EQ(unused.Connections(), 0);
}

#ifdef _WIN32
TEST_F(HttpClientTest, ReportsAFileInUse) {
  test::WriteFile(file, "held");
  File holder;
  ASSERT_EQ(holder.Open(test::ToText(file), FileMode::ReadShareAll), 0);
  ScriptedServer unused{};
  EXPECT_EQ(Download(client, UrlOf(unused), file),
            u"Cannot create file \"" + test::ToText(file) + u"\". " +
                TrimErrorText(SystemErrorText(32)));  // ERROR_SHARING_VIOLATION
  EXPECT_EQ(unused.Connections(), 0);
}

TEST_F(HttpClientTest, HoldsThePackageFileWithNoSharingWhileItArrives) {
  int openError = -1;
  ScriptStep step("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\nhalf", After::Keep, 100, "done");
  step.duringPause = [&] {
    File other;
    openError = other.Open(test::ToText(file), FileMode::ReadShareAll);
  };
  ScriptedServer server{step};
  EXPECT_EQ(Download(client, UrlOf(server), file), u"");
  EXPECT_EQ(openError, 32);  // ERROR_SHARING_VIOLATION
  EXPECT_EQ(test::ReadFile(file), "halfdone");
}
#endif

// Fails to make room for an announced length, as a full disk does.
class FullDisk : public http::IBodyDestination {
 public:
  int Write(const void*, std::size_t) override { return 0; }
  int Reserve(std::int64_t) override { return 112; }
  int Truncate() override { return 0; }
};

TEST_F(HttpClientTest, ReportsADestinationThatCannotGrow) {
  ScriptedServer server{{Ok("body")}};
  FullDisk destination;
  try {
    client.Get(UrlOf(server), destination);
    ADD_FAILURE() << "no failure";
  } catch (const Exception& error) {
    EXPECT_EQ(error.Message(),
              u"System Error.  Code: 112.\r\n" + TrimErrorText(SystemErrorText(112)));
  }
}

TEST(HttpTexts, WordsSocketErrors) {
  EXPECT_EQ(http::SocketErrorMessage(11001), u"Socket Error # 11001\r\nHost not found.");
  EXPECT_EQ(http::SocketErrorMessage(11002), u"Socket Error # 11002\r\n");
  EXPECT_EQ(http::SocketErrorMessage(11004), u"Socket Error # 11004\r\n");
  EXPECT_EQ(http::SocketErrorMessage(10060), u"Socket Error # 10060\r\nConnection timed out.");
  EXPECT_EQ(http::SocketErrorMessage(10066), u"Socket Error # 10066\r\nDirectory not empty");
  EXPECT_EQ(http::SocketErrorMessage(10004), u"Socket Error # 10004\r\nInterrupted system call.");
  EXPECT_EQ(http::SocketErrorMessage(12345), u"Socket Error # 12345\r\n");
  // A number that is the identifier of another of the client's texts.
  EXPECT_EQ(http::SocketErrorMessage(0x2000), u"Socket Error # 8192\r\n");
  EXPECT_EQ(http::SocketErrorMessage(10061), u"Socket Error # 10061\r\nConnection refused.");
}

#ifndef _WIN32
TEST(SocketErrors, MapPosixNumbersOntoWinsock) {
  EXPECT_EQ(SocketErrorFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(SocketErrorFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(SocketErrorFromErrno(EPIPE), 10054);
  EXPECT_EQ(SocketErrorFromErrno(ECONNABORTED), 10053);
  EXPECT_EQ(SocketErrorFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(SocketErrorFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(SocketErrorFromErrno(ENETUNREACH), 10051);
  EXPECT_EQ(SocketErrorFromErrno(EHOSTDOWN), 10064);
  EXPECT_EQ(SocketErrorFromErrno(ENOTEMPTY), 10066);
  EXPECT_EQ(SocketErrorFromResolver(EAI_NONAME), 11001);
  EXPECT_EQ(SocketErrorFromResolver(EAI_AGAIN), 11002);
  EXPECT_EQ(SocketErrorFromResolver(EAI_FAIL), 11003);
  EXPECT_EQ(SocketErrorFromResolver(EAI_NODATA), 11004);
}
#endif

}  // namespace
}  // namespace zephora
