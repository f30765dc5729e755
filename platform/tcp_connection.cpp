#include "platform/tcp_connection.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace zephora {
namespace {

// What the resolving thread and the waiting one share. The thread owns a
// share of it, so that a wait given up by a stop leaves it nothing dangling.
struct Resolution {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  int error = 0;
  std::uint32_t address = 0;
};

}  // namespace

int TcpConnection::Connect(const std::string& host, std::uint16_t port) {
  Close();
  std::uint32_t address = 0;
  if (turns_ == nullptr || !turns_->Active()) {
    if (const int error = Resolve(host, address))
      return error;
    return ConnectTo(address, port);
  }
  if (!turns_->Pass())
    return kSocketStopped;
  auto resolution = std::make_shared<Resolution>();
  // A name service that does not answer keeps the thread for as long as the
  // system's own limits say; the run does not wait for it after a stop.
  std::thread([resolution, host] {
    std::uint32_t found = 0;
    const int error = Resolve(host, found);
    const std::lock_guard<std::mutex> lock(resolution->mutex);
    resolution->error = error;
    resolution->address = found;
    resolution->done = true;
    resolution->finished.notify_one();
  }).detach();
  for (;;) {
    std::unique_lock<std::mutex> lock(resolution->mutex);
    if (resolution->finished.wait_for(lock, std::chrono::milliseconds(kTurnSliceMs),
                                      [&] { return resolution->done; })) {
      if (resolution->error != 0)
        return resolution->error;
      address = resolution->address;
      break;
    }
    lock.unlock();
    if (!turns_->PassNow())
      return kSocketStopped;
  }
  return ConnectTo(address, port);
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
