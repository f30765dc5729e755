#include "tools/console/progress.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zephora {
namespace {

std::atomic<bool> interrupted{false};

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    interrupted = true;
    // Windows ends the process once this returns for a closed console; the
    // work stops within a slice, so give it that long.
    if (event == CTRL_CLOSE_EVENT)
      Sleep(1000);
    return TRUE;
  }
  return FALSE;
}

bool ErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
#else
extern "C" void OnInterrupt(int) {
  interrupted = true;
}

bool ErrorIsTerminal() {
  return isatty(STDERR_FILENO) != 0;
}
#endif

}  // namespace

void CatchInterrupt() {
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  // Without SA_RESTART, so that a wait the signal breaks into comes back
  // and the next turn sees the stop.
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

bool Interrupted() {
  return interrupted;
}

ProgressLine::ProgressLine() : enabled_(ErrorIsTerminal()) {}

ProgressLine::~ProgressLine() {
  if (shown_)
    std::fputs("\n", stderr);
}

void ProgressLine::Show(std::int64_t done, std::int64_t total) {
  if (!enabled_)
    return;
  // A few times a second is all a reader can follow.
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && done != total && now - last_ < std::chrono::milliseconds(100))
    return;
  last_ = now;
  shown_ = true;
  if (total > 0) {
    std::fprintf(stderr, "\r%lld / %lld bytes (%d%%)  ", static_cast<long long>(done),
                 static_cast<long long>(total), static_cast<int>(done * 100 / total));
  } else {
    std::fprintf(stderr, "\r%lld bytes  ", static_cast<long long>(done));
  }
  std::fflush(stderr);
}

}  // namespace zephora
