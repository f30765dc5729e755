// A loopback HTTP peer for the tests that plays a fixed script: for each
// step it reads one request head, records its exact bytes, sends the reply
// and then keeps, closes or resets the connection.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/tcp_connection.h"

namespace zephora::test {

struct ScriptStep {
  enum class After { Keep, Close, Reset };
  ScriptStep(std::string reply_, After after_ = After::Keep, int pauseMs_ = 0,
             std::string lateReply_ = "")
      : reply(std::move(reply_)),
        after(after_),
        pauseMs(pauseMs_),
        lateReply(std::move(lateReply_)) {}

  std::string reply;  // sent at once after the request
  After after;
  int pauseMs;  // then a pause before `lateReply`
  std::string lateReply;
  std::function<void()> duringPause;  // runs on the server's thread
};

class ScriptedServer {
 public:
  ScriptedServer(std::initializer_list<ScriptStep> steps);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::uint16_t Port() const { return listener_.Port(); }
  // Waits for the script to end (or give up), then tells what came in.
  void Finish();
  std::vector<std::string> Requests();
  int Connections();
  // Blocks until `count` steps have been played out.
  void WaitForStep(int count);

 private:
  void Run();
  bool WaitReadable(TcpConnection& connection);
  bool Accept(TcpConnection& connection);
  void RunSteps(TcpConnection& connection);

  std::vector<ScriptStep> steps_;
  TcpListener listener_;
  std::thread thread_;
  std::mutex lock_;
  std::vector<std::string> requests_;
  int connections_ = 0;
  int stepsDone_ = 0;
  std::condition_variable stepDone_;
  std::atomic<bool> stopping_{false};
};

// The exact request head the client must send for `target` to `host`.
std::string ExpectedRequest(const std::string& target, const std::string& host,
                            const std::string& cookie = "");

}  // namespace zephora::test
