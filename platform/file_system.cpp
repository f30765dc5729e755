#include "platform/file_system.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <numeric>
#include <thread>

namespace zephora {
namespace {

// Short at first, since most holds end within a few milliseconds.
constexpr std::array<int, 7> kWaitsMs = {10, 20, 40, 80, 150, 300, 400};
static_assert(std::accumulate(kWaitsMs.begin(), kWaitsMs.end(), 0) == HoldWaits::kPerFileMs);

}  // namespace

bool HoldWaits::Sleep(int milliseconds) {
  if (turns_ == nullptr) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return true;
  }
  while (milliseconds > 0) {
    const int slice = std::min(milliseconds, kTurnSliceMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    milliseconds -= slice;
    if (!turns_->PassNow())
      return false;
  }
  return true;
}

int HoldWaits::Replace(const Text& source, const Text& target) {
  int error = ReplaceFileWith(source, target);
  for (const int planned : kWaitsMs) {
    const int wait = std::min(planned, leftMs_);
    if (error == 0 || !IsBriefHold(error) || wait <= 0)
      break;
    if (!Sleep(wait))
      break;
    leftMs_ -= wait;
    spentMs_ += wait;
    error = ReplaceFileWith(source, target);
  }
  return error;
}

}  // namespace zephora
