// Against real peers on loopback: nginx serving the packages with
// keep-alive, and tinyproxy in front of it (started by peers.sh).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/exception.h"
#include "tests/support/test_support.h"
#include "transfer/http/download_file.h"

namespace zephora {
namespace {

class HttpPeersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("ZEPHORA_HTTP_PEERS_DIR");
    ASSERT_NE(dir, nullptr) << "run through ctest: the peers fixture sets this";
    peers = test::HostPath(dir);
    std::ifstream ports(peers / "ports");
    ASSERT_TRUE(ports >> nginxPort >> proxyPort);
    std::ofstream(peers / "access.log", std::ios::trunc).close();
  }

  Text PackageUrl(const std::string& name) const {
    return FromUtf8("http://127.0.0.1:" + std::to_string(nginxPort) + "/zephora/Files/" + name);
  }
  std::string Served(const std::string& name) const {
    return test::ReadFile(peers / "www" / "zephora" / "Files" / name);
  }
  // nginx logs a request after its reply went out: wait for the lines.
  std::vector<std::string> AccessLog(std::size_t expected) const {
    std::vector<std::string> lines;
    for (int tries = 0; tries < 100; ++tries) {
      lines.clear();
      std::ifstream in(peers / "access.log");
      for (std::string line; std::getline(in, line);)
        lines.push_back(line);
      if (lines.size() >= expected)
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return lines;
  }
  Text Download(const Text& url, const std::filesystem::path& file) {
    try {
      DownloadUrl(client, url, test::ToText(file));
    } catch (const Exception& error) {
      return error.Message();
    }
    return u"";
  }

  std::filesystem::path peers;
  int nginxPort = 0;
  int proxyPort = 0;
  test::TempDir dir;
  THttpClient client;
};

TEST_F(HttpPeersTest, FetchesBothPackagesOverOneConnectionWithTheCookie) {
  EXPECT_EQ(Download(PackageUrl("main.zip"), dir / "main.zip"), u"");
  EXPECT_EQ(Download(PackageUrl("upgrade.zip"), dir / "upgrade.zip"), u"");
  EXPECT_TRUE(test::ReadFile(dir / "main.zip") == Served("main.zip"));
  EXPECT_TRUE(test::ReadFile(dir / "upgrade.zip") == Served("upgrade.zip"));
  client.Disconnect();
  const std::vector<std::string> log = AccessLog(2);
  ASSERT_EQ(log.size(), 2u);
  const std::string connection = log[0].substr(0, log[0].find(' '));
  EXPECT_EQ(log[0], connection + " 1 \"GET /zephora/Files/main.zip HTTP/1.1\" \"-\" 200");
  EXPECT_EQ(log[1],
            connection + " 2 \"GET /zephora/Files/upgrade.zip HTTP/1.1\" \"session=peer42\" 200");
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
