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

int HoldWaits::Replace(const Text& source, const Text& target) {
  int error = ReplaceFileWith(source, target);
  for (const int planned : kWaitsMs) {
    const int wait = std::min(planned, leftMs_);
    if (error == 0 || !IsBriefHold(error) || wait <= 0)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    leftMs_ -= wait;
    spentMs_ += wait;
    error = ReplaceFileWith(source, target);
  }
  return error;
}

}  // namespace zephora
