// TSpeedBar: the bar along the bottom of the window that hosts the wizard's
// buttons, with a two-pixel etched line along its top edge.
#pragma once

#include "controls/window.h"

namespace zephora {

class TSpeedBar : public TPanel {
 public:
  struct Args {
    HWND parent = nullptr;
    RECT rect{};
  };
  explicit TSpeedBar(const Args& args);

  // Children aligned inside the bar start this far down, below the line.
  static constexpr int kBoundLineHeight = 2;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace zephora
