#include "platform/tcp_connection.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace zephora {

int TcpConnection::RunAside(std::function<void()> work) {
  if (turns_ == nullptr || !turns_->Active()) {
    work();
    return 0;
  }
  if (!turns_->Pass())
    return kSocketStopped;
  // Shared with the thread, so that a wait given up by a stop leaves it
  // nothing dangling.
  struct Finish {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
  };
  auto finish = std::make_shared<Finish>();
  std::thread([finish, work = std::move(work)] {
    work();
    const std::lock_guard<std::mutex> lock(finish->mutex);
    finish->done = true;
    finish->finished.notify_one();
  }).detach();
  for (;;) {
    std::unique_lock<std::mutex> lock(finish->mutex);
    if (finish->finished.wait_for(lock, std::chrono::milliseconds(kTurnSliceMs),
                                  [&] { return finish->done; })) {
      return 0;
    }
    lock.unlock();
    if (!turns_->PassNow())
      return kSocketStopped;
  }
}

int TcpConnection::Connect(const std::string& host, std::uint16_t port) {
  Close();
  // A name service that does not answer keeps the resolving thread for as
  // long as the system's own limits say; the run does not wait for it after
  // a stop.
  struct Resolution {
    int error = 0;
    std::uint32_t address = 0;
  };
  auto found = std::make_shared<Resolution>();
  if (const int error = RunAside([found, host] { found->error = Resolve(host, found->address); }))
    return error;
  if (found->error != 0)
    return found->error;
  return ConnectTo(found->address, port);
}

int TcpConnection::WaitReadable(int milliseconds, bool& ready) {
  ready = false;
  if (turns_ == nullptr || !turns_->Active())
    return Poll(false, milliseconds, ready);
  if (turns_->Stopped())
    return kSocketStopped;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    int slice = kTurnSliceMs;
    if (milliseconds >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      slice = static_cast<int>(std::clamp<long long>(left.count(), 0, kTurnSliceMs));
    }
    if (const int error = Poll(false, slice, ready))
      return error;
    if (ready || (milliseconds >= 0 && std::chrono::steady_clock::now() >= deadline))
      return 0;
    if (!turns_->PassNow())
      return kSocketStopped;
  }
}

int TcpConnection::WaitInTurns(bool writable) {
  if (turns_ == nullptr)
    return 0;
  if (!turns_->Pass())
    return kSocketStopped;
  if (!turns_->Active())
    return 0;
  for (;;) {
    bool ready = false;
    if (const int error = Poll(writable, kTurnSliceMs, ready))
      return error;
    if (ready)
      return 0;
    if (!turns_->PassNow())
      return kSocketStopped;
  }
}

}  // namespace zephora
