// A view of a plain system control (label, button, radio button, check box,
// edit field, progress bar). The control belongs to its parent window,
// which destroys it; this view only reads and changes its state.
#pragma once

#include <windows.h>

#include "controls/window.h"
#include "platform/text.h"
#include "platform/wide.h"

namespace zephora {

class TWinControl {
 public:
  TWinControl() = default;
  explicit TWinControl(HWND window) : hwnd_(window) {}

  HWND Handle() const { return hwnd_; }
  bool Visible() const { return (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }
  void SetVisible(bool visible) { ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }
  bool Enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
  void SetEnabled(bool enabled) { EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
  bool Checked() const { return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void SetChecked(bool checked) {
    SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  Text GetText() const { return WindowText(hwnd_); }
  void SetText(const Text& text) { SetWindowTextW(hwnd_, ToWide(text).c_str()); }
  // In front of its siblings.
  void BringToFront() {
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }

 private:
  HWND hwnd_ = nullptr;
};

}  // namespace zephora
