// The real peers that peers.sh starts on loopback (nginx over HTTP and TLS,
// tinyproxy, the TLS peer), as a test fixture: their ports, their files and
// nginx's access log, and a download by the wizard's code path.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/exception.h"
#include "tests/support/test_support.h"
#include "transfer/http/download_file.h"

namespace zephora::test {

class PeersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("ZEPHORA_HTTP_PEERS_DIR");
    ASSERT_NE(dir, nullptr) << "run through ctest: the peers fixture sets this";
    peers = HostPath(dir);
    std::ifstream ports(peers / "ports");
    ASSERT_TRUE(ports >> nginxPort >> proxyPort);
    std::ifstream tlsPorts(peers / "tls-ports");
    ASSERT_TRUE(tlsPorts >> tls.good >> tls.otherHost >> tls.expired >> tls.selfSigned >>
                tls.onlyTls10 >> tls.cutOff >> tls.asksClient >> tls.listed >> tls.revoked >>
                tls.unlisted);
    std::ofstream(peers / "access.log", std::ios::trunc).close();
  }

  Text PackageUrl(const std::string& name) const {
    return FromUtf8("http://127.0.0.1:" + std::to_string(nginxPort) + "/zephora/Files/" + name);
  }
  Text SecureUrl(int port, const std::string& path = "/zephora/Files/upgrade.zip") const {
    return FromUtf8("https://localhost:" + std::to_string(port) + path);
  }
  std::string SecureFiles(int port) const {
    return "https://localhost:" + std::to_string(port) + "/zephora/Files/";
  }
  // The throw-away authority that issued the TLS servers' certificates.
  Text CaFile() const { return ToText(peers / "certs" / "ca.pem"); }
  std::string Served(const std::string& name) const {
    return ReadFile(peers / "www" / "zephora" / "Files" / name);
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
  // Fetches main.zip and upgrade.zip from below `files` and checks what
  // arrived and nginx's log: both requests on one connection, the second
  // with the cookie that the first reply set.
  void FetchBothPackagesOverOneConnection(const std::string& files) {
    EXPECT_EQ(Download(FromUtf8(files + "main.zip"), dir / "main.zip"), u"");
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(Download(FromUtf8(files + "upgrade.zip"), dir / "upgrade.zip"), u"");
    EXPECT_TRUE(ReadFile(dir / "main.zip") == Served("main.zip"));
    EXPECT_TRUE(ReadFile(dir / "upgrade.zip") == Served("upgrade.zip"));
    client.Disconnect();
    const std::vector<std::string> log = AccessLog(2);
    ASSERT_EQ(log.size(), 2u);
    const std::string connection = log[0].substr(0, log[0].find(' '));
    EXPECT_EQ(log[0], connection + " 1 \"GET /zephora/Files/main.zip HTTP/1.1\" \"-\" 200");
    EXPECT_EQ(log[1],
              connection + " 2 \"GET /zephora/Files/upgrade.zip HTTP/1.1\" \"session=peer42\" 200");
  }
  // The failure message, or "" on success.
  Text Download(const Text& url, const std::filesystem::path& file) {
    try {
      DownloadUrl(client, url, ToText(file));
    } catch (const Exception& error) {
      return error.Message();
    }
    return u"";
  }

  std::filesystem::path peers;
  int nginxPort = 0;
  int proxyPort = 0;
  struct {
    int good = 0, otherHost = 0, expired = 0, selfSigned = 0, onlyTls10 = 0, cutOff = 0,
        asksClient = 0, listed = 0, revoked = 0, unlisted = 0;
  } tls;
  TempDir dir;
  THttpClient client;
};

}  // namespace zephora::test
