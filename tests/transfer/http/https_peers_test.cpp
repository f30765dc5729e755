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

using test::OnWindowsElse;

// Each TLS text ends in the system's code behind it, so that support can
// tell the causes apart: on Windows the chain's error bits, the SSL policy's
// error or SChannel's protocol; with OpenSSL its verification result or
// error code.

TEST_F(HttpsPeersTest, FetchesBothPackagesOverOneConnectionWithTheCookie) {
  client.CaFile = CaFile();
  FetchBothPackagesOverOneConnection(SecureFiles(tls.good));
}

// A server that asks for a client certificate (nginx's ssl_verify_client
// optional) and does without one. SChannel on Windows answers its request
// with SEC_I_INCOMPLETE_CREDENTIALS, which Wine's never does; that path is
// proven through a seam in sspi_seam_test.cpp.
TEST_F(HttpsPeersTest, FetchesFromAServerThatAsksForAClientCertificate) {
  client.CaFile = CaFile();
  FetchBothPackagesOverOneConnection(SecureFiles(tls.asksClient));
}

TEST_F(HttpsPeersTest, RefusesEveryCertificateProblem) {
  client.CaFile = CaFile();
  const struct {
    int port;
    const char16_t* message;
  } cases[] = {
      // CERT_E_CN_NO_MATCH; X509_V_ERR_HOSTNAME_MISMATCH
      {tls.otherHost, OnWindowsElse(u"The server's certificate names another host. (0x800B010F)",
                                    u"The server's certificate names another host. (0x0000003E)")},
      // CERT_TRUST_IS_NOT_TIME_VALID alone: that its revocation could not be
      // checked (it names no list) passes, so the code leaves it out;
      // X509_V_ERR_CERT_HAS_EXPIRED
      {tls.expired, OnWindowsElse(u"The server's certificate has expired. (0x00000001)",
                                  u"The server's certificate has expired. (0x0000000A)")},
      // CERT_TRUST_IS_UNTRUSTED_ROOT; X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
      {tls.selfSigned, OnWindowsElse(u"The server's certificate is not trusted. (0x00000020)",
                                     u"The server's certificate is not trusted. (0x00000012)")},
  };
  for (const auto& c : cases) {
    test::WriteFile(dir / "upgrade.zip", "old");
    EXPECT_EQ(Download(SecureUrl(c.port), dir / "upgrade.zip"), c.message);
    EXPECT_EQ(test::ReadFile(dir / "upgrade.zip"), "");
    EXPECT_FALSE(client.Connected());
  }
  EXPECT_EQ(AccessLog(0), std::vector<std::string>{});  // no request reached a server
}

// With turns, the handshake's waits are sliced and the chain check runs on a
// thread of its own; what the user gets is the same.
TEST_F(HttpsPeersTest, GivesTurnsAndKeepsItsAnswersWithThem) {
  client.CaFile = CaFile();
  int turns = 0;
  client.OnTurn = [&] {
    ++turns;
    return true;
  };
  FetchBothPackagesOverOneConnection(SecureFiles(tls.good));
  EXPECT_GE(turns, 1);
  EXPECT_EQ(Download(SecureUrl(tls.otherHost), dir / "upgrade.zip"),
            OnWindowsElse(u"The server's certificate names another host. (0x800B010F)",
                          u"The server's certificate names another host. (0x0000003E)"));
  EXPECT_FALSE(client.Connected());
}

// The throw-away authority is in no system store. The chain's own status
// catches that: Wine's SSL policy alone would pass a chain that ends in an
// unknown root.
TEST_F(HttpsPeersTest, TrustsOnlyTheSystemStoreWithoutTheSetting) {
  // CERT_TRUST_IS_PARTIAL_CHAIN; X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY
  EXPECT_EQ(Download(SecureUrl(tls.good), dir / "upgrade.zip"),
            OnWindowsElse(u"The server's certificate is not trusted. (0x00010000)",
                          u"The server's certificate is not trusted. (0x00000014)"));
}

// Through the user's proxy, a chain that ends in no trusted root or stops
// short: Windows looked for what was missing through the system's own
// network settings, not through that proxy, and the message says so.
TEST_F(HttpsPeersTest, AChainNotCompletedThroughTheProxySaysWhereWindowsLooked) {
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = proxyPort;
  EXPECT_EQ(Download(SecureUrl(tls.good), dir / "upgrade.zip"),
            OnWindowsElse(u"Windows could not complete the check of the server's certificate "
                          u"through the system's network settings. (0x00010000)",
                          u"The server's certificate is not trusted. (0x00000014)"));
  EXPECT_FALSE(client.Connected());
}

// The certificates of these servers name the authority's revocation list,
// which nginx serves on loopback. Windows checks every certificate of the
// chain but the root; OpenSSL, as this program uses it elsewhere, checks
// none.
TEST_F(HttpsPeersTest, ARevokedCertificateIsRefusedWithItsOwnMessage) {
  client.CaFile = CaFile();
  test::WriteFile(dir / "upgrade.zip", "old");
  // CERT_TRUST_IS_REVOKED
  EXPECT_EQ(Download(SecureUrl(tls.revoked), dir / "upgrade.zip"),
            OnWindowsElse(u"The server's certificate has been revoked. (0x00000004)", u""));
#ifdef _WIN32
  EXPECT_EQ(test::ReadFile(dir / "upgrade.zip"), "");
  EXPECT_FALSE(client.Connected());
#endif
  client.Disconnect();
  // A certificate that the same list does not name.
  EXPECT_EQ(Download(SecureUrl(tls.listed), dir / "upgrade.zip"), u"");
  EXPECT_TRUE(test::ReadFile(dir / "upgrade.zip") == Served("upgrade.zip"));
}

// A revocation list that cannot be had (nothing answers where it is said to
// be): the certificate passes, as in browsers.
TEST_F(HttpsPeersTest, ARevocationListThatCannotBeFetchedLetsTheCertificatePass) {
  client.CaFile = CaFile();
  EXPECT_EQ(Download(SecureUrl(tls.unlisted), dir / "upgrade.zip"), u"");
  EXPECT_TRUE(test::ReadFile(dir / "upgrade.zip") == Served("upgrade.zip"));
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
  // Wine's SChannel agrees to TLS 1.0 (SP_PROT_TLS1_0_CLIENT), which the
  // engine then refuses; OpenSSL gets the server's protocol_version alert.
  EXPECT_EQ(
      Download(SecureUrl(tls.onlyTls10), dir / "upgrade.zip"),
      OnWindowsElse(u"The server and this program have no TLS version in common. (0x00000080)",
                    u"The server and this program have no TLS version in common. (0x0A00042E)"));
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
