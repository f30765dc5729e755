#include "tests/transfer/http/scripted_server.h"

#include <chrono>
#include <functional>
#include <stdexcept>

namespace zephora::test {
namespace {

constexpr int kPatienceMs = 20000;

constexpr int kSliceMs = 20;

enum class Got { Request, Closed, Broken };

// Reads up to the empty line. Closed: the client let go of the connection
// before sending anything on it.
Got ReadRequest(TcpConnection& connection, std::string& request,
                const std::function<bool(TcpConnection&)>& waitReadable) {
  request.clear();
  char byte;
  while (request.size() < 4 || request.compare(request.size() - 4, 4, "\r\n\r\n") != 0) {
    if (!waitReadable(connection))
      return Got::Broken;
    std::size_t done = 0;
    if (connection.Receive(&byte, 1, done) != 0)
      return Got::Broken;
    if (done == 0)
      return request.empty() ? Got::Closed : Got::Broken;
    request += byte;
  }
  return Got::Request;
}

}  // namespace

ScriptedServer::ScriptedServer(std::initializer_list<ScriptStep> steps) : steps_(steps) {
  if (listener_.Listen(0) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  thread_ = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
  stopping_ = true;
  Finish();
}

bool ScriptedServer::WaitReadable(TcpConnection& connection) {
  for (int waited = 0; waited < kPatienceMs && !stopping_; waited += kSliceMs) {
    bool ready = false;
    if (connection.WaitReadable(kSliceMs, ready) != 0)
      return false;
    if (ready)
      return true;
  }
  return false;
}

bool ScriptedServer::Accept(TcpConnection& connection) {
  for (int waited = 0; waited < kPatienceMs && !stopping_; waited += kSliceMs) {
    if (listener_.Accept(connection, kSliceMs) != 0)
      return false;
    if (connection.IsOpen())
      return true;
  }
  return false;
}

void ScriptedServer::Finish() {
  if (thread_.joinable())
    thread_.join();
}

std::vector<std::string> ScriptedServer::Requests() {
  Finish();
  std::lock_guard guard(lock_);
  return requests_;
}

void ScriptedServer::WaitForStep(int count) {
  std::unique_lock guard(lock_);
  stepDone_.wait_for(guard, std::chrono::milliseconds(kPatienceMs),
                     [&] { return stepsDone_ >= count; });
}

int ScriptedServer::Connections() {
  Finish();
  std::lock_guard guard(lock_);
  return connections_;
}

void ScriptedServer::Run() {
  TcpConnection connection;
  RunSteps(connection);
  // A client still waiting gets a reset rather than silence.
  listener_.Close();
}

void ScriptedServer::RunSteps(TcpConnection& connection) {
  for (const ScriptStep& step : steps_) {
    std::string request;
    for (;;) {
      if (!connection.IsOpen()) {
        if (!Accept(connection))
          return;
        std::lock_guard guard(lock_);
        ++connections_;
      }
      const Got got =
          ReadRequest(connection, request, [this](TcpConnection& c) { return WaitReadable(c); });
      if (got == Got::Request)
        break;
      if (got == Got::Broken) {
        std::lock_guard guard(lock_);
        requests_.push_back("broken request: " + request);
        return;
      }
      connection.Close();
    }
    {
      std::lock_guard guard(lock_);
      requests_.push_back(request);
    }
    if (!step.reply.empty() && connection.Send(step.reply.data(), step.reply.size()) != 0)
      return;
    if (step.pauseMs > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
    if (step.duringPause)
      step.duringPause();
    if (!step.lateReply.empty() &&
        connection.Send(step.lateReply.data(), step.lateReply.size()) != 0) {
      return;
    }
    if (step.after == ScriptStep::After::Close)
      connection.Close();
    if (step.after == ScriptStep::After::Reset)
      connection.Abort();
    {
      std::lock_guard guard(lock_);
      ++stepsDone_;
    }
    stepDone_.notify_all();
  }
  // Hold a kept connection until the client lets go, so that it is the
  // client's close that ends it.
  if (connection.IsOpen()) {
    if (WaitReadable(connection)) {
      char byte;
      std::size_t done = 0;
      if (connection.Receive(&byte, 1, done) == 0 && done == 1) {
        std::lock_guard guard(lock_);
        requests_.push_back("unexpected bytes after the script");
      }
    }
  }
}

std::string ExpectedRequest(const std::string& target, const std::string& host,
                            const std::string& cookie) {
  std::string request =
      "GET " + target + " HTTP/1.1\r\nHost: " + host +
      "\r\nAccept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"
      "\r\nAccept-Encoding: identity"
      "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)\r\n";
  if (!cookie.empty())
    request += "Cookie: " + cookie + "\r\n";
  return request + "\r\n";
}

}  // namespace zephora::test
