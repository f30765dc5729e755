// Long work on a window's thread (a download, an unpacking) hands the
// window a turn now and then, so that it repaints and answers its user,
// and learns from each turn whether it is to go on.
#pragma once

#include <chrono>
#include <exception>
#include <functional>

namespace zephora {

// Gives the caller's window a turn; false asks the work to stop.
using TurnCallback = std::function<bool()>;

// The longest a blocking wait lasts before the next turn: short enough that
// the window answers at once, long enough that the turns cost nothing.
constexpr int kTurnSliceMs = 50;

// Rations the turns of one piece of work: at most one per interval while
// bytes flow, one after every slice of waiting. Once the callback has asked
// to stop, every later question says stop without asking again.
class TurnGate {
 public:
  static constexpr std::chrono::milliseconds kInterval{20};

  TurnGate() = default;
  explicit TurnGate(const TurnCallback* callback) : callback_(callback) {}

  // Whether anyone is asked at all; without a callback nothing is sliced.
  bool Active() const { return callback_ != nullptr && *callback_; }
  // A turn when the last one is an interval or more ago; false: stop.
  [[nodiscard]] bool Pass() {
    if (stopped_)
      return false;
    if (!Active())
      return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kInterval)
      return true;
    return Ask(now);
  }
  // A turn now, after a wait.
  [[nodiscard]] bool PassNow() {
    if (stopped_)
      return false;
    return !Active() || Ask(std::chrono::steady_clock::now());
  }
  bool Stopped() const { return stopped_; }

 private:
  bool Ask(std::chrono::steady_clock::time_point now) {
    last_ = now;
    stopped_ = !(*callback_)();
    return !stopped_;
  }

  const TurnCallback* callback_ = nullptr;
  std::chrono::steady_clock::time_point last_{};
  bool stopped_ = false;
};

// Thrown when a turn asked the work to stop: the user chose to, so there is
// nothing to report. It is no Exception, so that no handler of failures
// mistakes it for one with an empty message.
class TStopped : public std::exception {
 public:
  const char* what() const noexcept override { return "stopped"; }
};

}  // namespace zephora
