// What the command-line tools show while they work, and how Ctrl+C stops
// them: through the same turns that the wizard's window gets, so that a stop
// leaves what Cancel leaves.
#pragma once

#include <chrono>
#include <cstdint>

namespace zephora {

// From now on Ctrl+C (and, on Windows, closing the console) asks the work to
// stop at its next turn instead of ending the process.
void CatchInterrupt();
// Whether Ctrl+C has been pressed since CatchInterrupt.
bool Interrupted();

// One line on the error stream, rewritten in place as the work goes on, and
// only when that stream is a terminal: a log or a pipe gets nothing.
class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `total` is -1 when not known.
  void Show(std::int64_t done, std::int64_t total);

 private:
  bool shown_ = false;
  bool enabled_;
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace zephora
