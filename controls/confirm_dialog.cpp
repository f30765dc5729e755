#include "controls/confirm_dialog.h"

#include <commctrl.h>

#include <algorithm>

#include "controls/common_controls.h"
#include "controls/dialog_accessible.h"
#include "controls/dialog_texts.h"
#include "controls/window.h"
#include "i18n/translation.h"
#include "platform/wide.h"

namespace zephora {
namespace {

// Sizes in pixels at 96 pixels per inch.
constexpr int kMargin = 12;
constexpr int kGap = 8;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kMaxTextWidth = 360;

// The system's question icon at `size` pixels. LoadImage fails for a system
// icon without LR_SHARED, and a shared one comes at the system's size; this
// one is drawn for the window's resolution, and is ours to destroy.
HICON LoadQuestionIcon(int size) {
  HICON icon = nullptr;
  if (FAILED(comctl::LoadIconWithScaleDown(nullptr, IDI_QUESTION, size, size, &icon)))
    return nullptr;
  return icon;
}

class TConfirmDialog : public Window {
 public:
  TConfirmDialog(HWND owner, const Text& text) : owner_(owner), message_(ToWide(text)) {
    UINT dpi = WindowDpi(owner);
    auto px = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
    // The system's message font and icon size at the window's resolution,
    // scaled once, by the system: the plain metrics are at the system's
    // resolution already, and scaling them again made the text 1.5 and 2
    // times too large at 144 and 192 dpi.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
    const int icon = GetSystemMetricsForDpi(SM_CXICON, dpi);
    icon_.reset(LoadQuestionIcon(icon));

    Create(ClassInfo{kConfirmDialogClass, GetSysColorBrush(COLOR_BTNFACE)},
           WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, WS_POPUP | WS_CAPTION | WS_SYSMENU,
           ToWide(_(u"WAARSCHUWING")).c_str(), RECT{0, 0, 100, 100}, owner);

    std::wstring wide = ToWide(text);
    RECT textRect{0, 0, px(kMaxTextWidth), 0};
    {
      window_dc dc(Handle());
      select_object selected(dc.get(), font_.get());
      DrawTextW(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &textRect,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }
    const int textLeft = px(kMargin) + icon + px(kMargin);
    const int textHeight = std::max<int>(textRect.bottom, icon);
    const int buttonsWidth = 2 * px(kButtonWidth) + px(kGap);
    const int clientWidth =
        std::max<int>(textLeft + textRect.right + px(kMargin), buttonsWidth + 2 * px(kMargin));
    const int buttonTop = px(kMargin) + textHeight + px(kMargin);
    const int clientHeight = buttonTop + px(kButtonHeight) + px(kMargin);

    Child(L"STATIC", L"", SS_ICON, px(kMargin), px(kMargin), icon, icon, 0);
    SendMessageW(GetDlgItem(Handle(), kIconId), STM_SETICON, reinterpret_cast<WPARAM>(icon_.get()),
                 0);
    Child(L"STATIC", wide.c_str(), SS_LEFT | SS_NOPREFIX, textLeft,
          px(kMargin) + (textHeight - textRect.bottom) / 2, textRect.right, textRect.bottom,
          kTextId);
    const int buttonsLeft = (clientWidth - buttonsWidth) / 2;
    Child(L"BUTTON", ToWide(LoadResString(SMsgDlgYes)).c_str(),
          WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, buttonsLeft, buttonTop, px(kButtonWidth),
          px(kButtonHeight), IDYES);
    Child(L"BUTTON", ToWide(LoadResString(SMsgDlgNo)).c_str(), WS_TABSTOP | BS_PUSHBUTTON,
          buttonsLeft + px(kButtonWidth) + px(kGap), buttonTop, px(kButtonWidth), px(kButtonHeight),
          IDNO);

    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectExForDpi(&frame, WS_POPUP | WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_DLGMODALFRAME,
                             dpi);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT over{};
    if (owner != nullptr && IsWindowVisible(owner)) {
      GetWindowRect(owner, &over);
    } else {
      SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    }
    SetWindowPos(Handle(), nullptr, (over.left + over.right - width) / 2,
                 (over.top + over.bottom - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }

  bool ShowModal() {
    HWND window = Handle();
    const bool ownerWasEnabled = owner_ != nullptr && IsWindowEnabled(owner_);
    if (ownerWasEnabled)
      EnableWindow(owner_, FALSE);
    ShowWindow(window, SW_SHOW);
    SetFocus(GetDlgItem(window, IDYES));
    MSG message{};
    bool quit = false;
    while (!done_ && IsWindow(window)) {
      BOOL got = GetMessageW(&message, nullptr, 0, 0);
      if (got <= 0) {
        quit = got == 0;
        break;
      }
      if (!IsDialogMessageW(window, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    // Give the owner back its input before this window goes, so the
    // activation returns to it.
    if (ownerWasEnabled)
      EnableWindow(owner_, TRUE);
    if (IsWindow(window))
      DestroyWindow(window);
    if (quit)
      PostQuitMessage(static_cast<int>(message.wParam));
    return answer_;
  }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
          switch (LOWORD(wParam)) {
            case IDYES:
              Finish(true);
              return 0;
            case IDNO:
            case IDCANCEL:
              Finish(false);
              return 0;
            default:
              break;
          }
        }
        break;
      case DM_GETDEFID:
        return MAKELRESULT(IDYES, DC_HASDEFID);
      // The question in the system's pair of dialog colours; the default
      // answer pairs the window-text colour with the dialog's background,
      // which a contrast theme need not make readable together.
      case WM_CTLCOLORSTATIC:
        return SystemColoursFor(reinterpret_cast<HDC>(wParam), COLOR_BTNFACE, COLOR_BTNTEXT);
      case WM_ERASEBKGND:
        return EraseInSystemColour(Handle(), reinterpret_cast<HDC>(wParam), COLOR_BTNFACE);
      case WM_GETOBJECT:
        // A screen reader reads the question when the dialog opens, not
        // only the focused button.
        if (const LRESULT answer = AnswerAsDialog(Handle(), wParam, lParam, message_))
          return answer;
        break;
      case WM_CLOSE:
        Finish(false);
        return 0;
      default:
        break;
    }
    return Default(message, wParam, lParam);
  }

 private:
  static constexpr int kIconId = 100;
  static constexpr int kTextId = 101;

  void Child(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
             int height, int id) {
    if (id == 0)
      id = kIconId;
    HWND child = CreateWindowExW(
        0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, Handle(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  }

  void Finish(bool answer) {
    answer_ = answer;
    done_ = true;
  }

  HWND owner_;
  std::wstring message_;
  unique_hfont font_;
  unique_hicon icon_;
  bool done_ = false;
  bool answer_ = false;
};

}  // namespace

bool ConfirmDialog(HWND owner, const Text& text) {
  TConfirmDialog dialog(owner, text);
  return dialog.ShowModal();
}

}  // namespace zephora
