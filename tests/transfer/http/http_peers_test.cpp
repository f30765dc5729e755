// Against real peers on loopback: nginx serving the packages with
// keep-alive, and tinyproxy in front of it (started by peers.sh).
#include <string>
#include <vector>

#include "tests/transfer/http/peers_fixture.h"

namespace zephora {
namespace {

using HttpPeersTest = test::PeersTest;

TEST_F(HttpPeersTest, FetchesBothPackagesOverOneConnectionWithTheCookie) {
  FetchBothPackagesOverOneConnection("http://127.0.0.1:" + std::to_string(nginxPort) +
                                     "/zephora/Files/");
}

TEST_F(HttpPeersTest, ReportsTheServersStatusLine) {
  test::WriteFile(dir / "missing.zip", "old bytes");
  EXPECT_EQ(Download(PackageUrl("missing.zip"), dir / "missing.zip"), u"HTTP/1.1 404 Not Found");
  EXPECT_EQ(test::ReadFile(dir / "missing.zip"), "");
  // The 404 body was consumed: the connection carries the next request.
  EXPECT_EQ(Download(PackageUrl("upgrade.zip"), dir / "upgrade.zip"), u"");
  client.Disconnect();
  const std::vector<std::string> log = AccessLog(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].substr(log[1].find(' ') + 1, 2), "2 ");
}

TEST_F(HttpPeersTest, FetchesThroughTheProxy) {
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = proxyPort;
  EXPECT_EQ(Download(PackageUrl("main.zip"), dir / "main.zip"), u"");
  EXPECT_TRUE(test::ReadFile(dir / "main.zip") == Served("main.zip"));
  EXPECT_EQ(Download(PackageUrl("upgrade.zip"), dir / "upgrade.zip"), u"");
  EXPECT_TRUE(test::ReadFile(dir / "upgrade.zip") == Served("upgrade.zip"));
  EXPECT_EQ(Download(PackageUrl("missing.zip"), dir / "missing.zip"), u"HTTP/1.1 404 Not Found");
  client.Disconnect();
  const std::vector<std::string> log = AccessLog(3);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_NE(log[1].find("\"GET /zephora/Files/upgrade.zip HTTP/1.1\" \"session=peer42\" 200"),
            std::string::npos)
      << log[1];
}

TEST_F(HttpPeersTest, ReportsARefusedProxy) {
  client.ProxyParams.ProxyServer = u"127.0.0.1";
  client.ProxyParams.ProxyPort = 1;
  EXPECT_EQ(Download(PackageUrl("main.zip"), dir / "main.zip"),
            u"Socket Error # 10061\r\nConnection refused.");
}

}  // namespace
}  // namespace zephora
