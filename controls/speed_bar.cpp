#include "controls/speed_bar.h"

namespace zephora {

TSpeedBar::TSpeedBar(const Args& args) {
  // The colours of buttons, as a dialog's bar of buttons has them.
  backgroundColour_ = COLOR_BTNFACE;
  textColour_ = COLOR_BTNTEXT;
  CreatePanel(TPanel::Args{args.parent, args.rect, L"SpeedBar1"},
              ClassInfo{L"ZephoraSpeedBar", GetSysColorBrush(COLOR_BTNFACE)});
}

LRESULT TSpeedBar::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    paint_dc dc(Handle());
    RECT client{};
    GetClientRect(Handle(), &client);
    // Etched: shadow on the top row, highlight on the row below.
    RECT row{client.left, 0, client.right, 1};
    FillRect(dc.get(), &row, GetSysColorBrush(COLOR_BTNSHADOW));
    row.top = 1;
    row.bottom = 2;
    FillRect(dc.get(), &row, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    return 0;
  }
  if (message == WM_SIZE) {
    // The line spans the full width; repaint it when the width changes.
    InvalidateRect(Handle(), nullptr, TRUE);
  }
  return TPanel::HandleMessage(message, wParam, lParam);
}

}  // namespace zephora
