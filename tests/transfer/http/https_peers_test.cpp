// Downloads over TLS from real peers on loopback (started by peers.sh):
// nginx with certificates of a throw-away authority, tinyproxy's tunnel,
// and the TLS peer that splits its records and cuts bodies short.
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/transfer/http/peers_fixture.h"

namespace zephora {
namespace {

using HttpsPeersTest = test::PeersTest;

TEST_F(HttpsPeersTest, FetchesBothPackagesOverOneConnectionWithTheCookie) {
  client.CaFile = CaFile();
  FetchBothPackagesOverOneConnection(SecureFiles(tls.good));
}

TEST_F(HttpsPeersTest, RefusesEveryCertificateProblem) {
  client.CaFile = CaFile();
  const struct {
    int port;
    const char16_t* message;
  } cases[] = {
      {tls.otherHost, u"The server's certificate names another host."},
      {tls.expired, u"The server's certificate has expired."},
      {tls.selfSigned, u"The server's certificate is not trusted."},
  };
  for (const auto& c : cases) {
    test::WriteFile(dir / "upgrade.zip", "old");
    EXPECT_EQ(Download(SecureUrl(c.port), dir / "upgrade.zip"), c.message);
    EXPECT_EQ(test::ReadFile(dir / "upgrade.zip"), "");
    EXPECT_FALSE(client.Connected());
  }
  EXPECT_EQ(AccessLog(0), std::vector<std::string>{});  // no request reached a server
}

// The throw-away authority is in no system store. The chain's own status
// catches that: Wine's SSL policy alone would pass a chain that ends in an
// unknown root.
TEST_F(HttpsPeersTest, TrustsOnlyTheSystemStoreWithoutTheSetting) {
  EXPECT_EQ(Download(SecureUrl(tls.good), dir / "upgrade.zip"),
            u"The server's certificate is not trusted.");
}

#ifndef _WIN32
TEST_F(HttpsPeersTest, TrustsTheAuthorityNamedBySslCertFile) {
  ASSERT_EQ(setenv("SSL_CERT_FILE", ToUtf8(CaFile()).c_str(), 1), 0);
  EXPECT_EQ(Download(SecureUrl(tls.good), dir / "upgrade.zip"), u"");
  unsetenv("SSL_CERT_FILE");
  EXPECT_TRUE(test::ReadFile(dir / "upgrade.zip") == Served("upgrade.zip"));
}
#endif

TEST_F(HttpsPeersTest, RefusesAServerThatOffersOnlyTls10) {
  client.CaFile = CaFile();
  EXPECT_EQ(Download(SecureUrl(tls.onlyTls10), dir / "upgrade.zip"),
            u"The server and this program have no TLS version in common.");
  EXPECT_EQ(AccessLog(0), std::vector<std::string>{});
}

TEST_F(HttpsPeersTest, NeverFallsBackToPlainHttp) {
  client.CaFile = CaFile();
  EXPECT_EQ(Download(SecureUrl(nginxPort), dir / "upgrade.zip"),
            u"The TLS handshake with the server failed.");
  EXPECT_FALSE(client.Connected());
  // What the plain server got was a TLS hello, which it refused; no GET.
  const std::vector<std::string> log = AccessLog(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind(" 400"), log[0].size() - 4) << log[0];
  EXPECT_NE(log[0].find("\"\\x16\\x03"), std::string::npos) << log[0];
}

TEST_F(HttpsPeersTest, FetchesThroughTheProxysTunnel) {
  client.CaFile = CaFile();
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = proxyPort;
  std::ofstream(peers / "tinyproxy.log", std::ios::trunc).close();
  // Inside the tunnel the server gets the requests as if sent directly.
  FetchBothPackagesOverOneConnection(SecureFiles(tls.good));
  const std::string proxyLog = test::ReadFile(peers / "tinyproxy.log");
  EXPECT_NE(proxyLog.find("CONNECT localhost:" + std::to_string(tls.good) + " HTTP/1.1"),
            std::string::npos)
      << proxyLog;
}

TEST_F(HttpsPeersTest, ReportsTheProxyRefusingTheTunnel) {
  client.CaFile = CaFile();
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = proxyPort;
  // tinyproxy tunnels to the good server's port only.
  EXPECT_EQ(Download(SecureUrl(tls.expired), dir / "upgrade.zip"),
            u"HTTP/1.1 403 Access violation");
  EXPECT_EQ(client.ResponseCode(), 403);
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(test::ReadFile(dir / "upgrade.zip"), "");
}

// The TLS peer splits every record into pieces of five bytes.
TEST_F(HttpsPeersTest, ReadsSplitRecordsAndFailsAShortBody) {
  client.CaFile = CaFile();
  const auto file = dir / "main.zip";
  EXPECT_EQ(Download(SecureUrl(tls.cutOff, "/zephora/whole"), file), u"");
  EXPECT_EQ(test::ReadFile(file), std::string(5000, 'd'));
  // 600 of 1000 bytes, then close_notify: as a short body over plain HTTP.
  EXPECT_EQ(Download(SecureUrl(tls.cutOff, "/zephora/short-notify"), file),
            u"Connection Closed Gracefully.");
  EXPECT_EQ(test::ReadFile(file), std::string(600, 'p'));
  EXPECT_FALSE(client.Connected());
  // The same without close_notify: the bytes may have been cut off by anyone.
  EXPECT_EQ(Download(SecureUrl(tls.cutOff, "/zephora/short-abrupt"), file),
            u"The secure connection was cut off.");
  EXPECT_EQ(test::ReadFile(file), std::string(600, 'p'));
  EXPECT_FALSE(client.Connected());
}

}  // namespace
}  // namespace zephora
