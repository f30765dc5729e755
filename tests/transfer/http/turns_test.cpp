// The client gives its caller turns while it waits on a slow server, and a
// turn that asks to stop ends the download cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/tcp_connection.h"
#include "platform/turns.h"
#include "tests/support/test_support.h"
#include "transfer/http/download_file.h"
#include "transfer/http/http_client.h"

namespace zephora {
namespace {

using Clock = std::chrono::steady_clock;

// A server that sends the head of a 200 reply with `length` bytes announced,
// then one body byte every `everyMs` (never, for 0), until the client goes
// away or `bytes` are sent.
class TrickleServer {
 public:
  TrickleServer(int length, int bytes, int everyMs) {
    EXPECT_EQ(listener_.Listen(0), 0);
    thread_ = std::thread([this, length, bytes, everyMs] { Run(length, bytes, everyMs); });
  }
  ~TrickleServer() {
    stopping_ = true;
    thread_.join();
  }
  std::uint16_t Port() const { return listener_.Port(); }
  // Whether the server saw the client close its connection.
  bool SawClose() const { return sawClose_; }

 private:
  void Run(int length, int bytes, int everyMs) {
    TcpConnection connection;
    while (!stopping_ && !connection.IsOpen()) {
      if (listener_.Accept(connection, 50) != 0)
        return;
    }
    std::string request;
    char buffer[4096];
    while (!stopping_ && request.find("\r\n\r\n") == std::string::npos) {
      bool ready = false;
      if (connection.WaitReadable(50, ready) != 0)
        return;
      std::size_t got = 0;
      if (ready && (connection.Receive(buffer, sizeof buffer, got) != 0 || got == 0))
        return;
      request.append(buffer, got);
    }
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
    if (connection.Send(head.data(), head.size()) != 0)
      return;
    auto next = Clock::now();
    int sent = 0;
    while (!stopping_) {
      // A close by the client shows as readable with nothing to read.
      bool ready = false;
      if (connection.WaitReadable(20, ready) != 0)
        return;
      if (ready) {
        std::size_t got = 0;
        sawClose_ = connection.Receive(buffer, sizeof buffer, got) != 0 || got == 0;
        if (sawClose_)
          return;
      }
      if (everyMs > 0 && sent < bytes && Clock::now() >= next) {
        if (connection.Send("x", 1) != 0)
          return;
        ++sent;
        next += std::chrono::milliseconds(everyMs);
      }
    }
  }

  TcpListener listener_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> sawClose_{false};
};

// Records the turns: how many, the longest time between two, and those
// between the body's bytes.
struct TurnLog {
  int count = 0;
  Clock::time_point last = Clock::now();
  Clock::duration longest{};

  void Note() {
    const auto now = Clock::now();
    longest = std::max(longest, now - last);
    last = now;
    ++count;
  }
  long long LongestMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(longest).count();
  }
};

TEST(ClientTurns, TurnsComeWhileAServerTricklesOneByteASecond) {
  TrickleServer server(3, 3, 1000);
  test::TempDir dir;
  THttpClient client;
  TurnLog log;
  std::int64_t received = 0;
  std::vector<int> turnsBetweenBytes;
  int turnsAtLastByte = 0;
  client.OnTurn = [&] {
    log.Note();
    return true;
  };
  client.OnWork = [&](std::int64_t done, std::int64_t total) {
    EXPECT_EQ(total, 3);
    received = done;
    turnsBetweenBytes.push_back(log.count - turnsAtLastByte);
    turnsAtLastByte = log.count;
  };
  DownloadUrl(client, u"http://127.0.0.1:" + FromUtf8(std::to_string(server.Port())) + u"/f",
              test::ToText(dir / "f.bin"));
  EXPECT_EQ(received, 3);
  EXPECT_EQ(test::ReadFile(dir / "f.bin"), "xxx");
  ASSERT_EQ(turnsBetweenBytes.size(), 3u);
  // A second between the bytes: at a turn every slice that is a dozen or
  // more turns; a client that waited in the system would give none.
  EXPECT_GE(turnsBetweenBytes[1], 10);
  EXPECT_GE(turnsBetweenBytes[2], 10);
  EXPECT_LT(log.LongestMs(), 1000);
  RecordProperty("longest_gap_ms", static_cast<int>(log.LongestMs()));
  std::printf("longest gap between turns: %lld ms over %d turns\n", log.LongestMs(), log.count);
}

TEST(ClientTurns, AStopWhileTheServerIsSilentClosesAndDeletesThePackage) {
  TrickleServer server(1000, 0, 0);  // the head, then nothing
  test::TempDir dir;
  THttpClient client;
  int turns = 0;
  client.OnTurn = [&] { return ++turns < 20; };
  EXPECT_THROW(
      DownloadUrl(client, u"http://127.0.0.1:" + FromUtf8(std::to_string(server.Port())) + u"/f",
                  test::ToText(dir / "main.zip")),
      TStopped);
  EXPECT_EQ(turns, 20);  // no turn is asked for after the stop
  EXPECT_FALSE(client.Connected());
  EXPECT_TRUE(test::Listing(dir).empty());
  // The server learns of it: the connection is closed, not left hanging.
  for (int i = 0; i < 100 && !server.SawClose(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(server.SawClose());
}

TEST(ClientTurns, AStopDuringTheConnectGivesUpAtOnce) {
  // A listener that never accepts still completes the connect; a stop asked
  // at the very first turn must not even get that far.
  TcpListener listener;
  ASSERT_EQ(listener.Listen(0), 0);
  test::TempDir dir;
  THttpClient client;
  client.OnTurn = [] { return false; };
  EXPECT_THROW(
      DownloadUrl(client, u"http://127.0.0.1:" + FromUtf8(std::to_string(listener.Port())) + u"/f",
                  test::ToText(dir / "main.zip")),
      TStopped);
  EXPECT_FALSE(client.Connected());
  EXPECT_TRUE(test::Listing(dir).empty());
}

}  // namespace
}  // namespace zephora
