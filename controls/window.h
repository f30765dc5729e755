// The base of every window and control of the wizard: one owner of the
// window handle, one dispatch boundary that no exception crosses.
#pragma once

#include <windows.h>

#include <exception>

#include "platform/text.h"
#include "platform/win_handles.h"

namespace zephora {

// A parent sends its own child controls the notifications it receives from
// them with this offset added, so that a control handles its own.
constexpr UINT kReflectedMessage = WM_USER + 0x1C00;

// Sizes are given in the design's pixels at 120 pixels per inch.
constexpr int kDesignDpi = 120;
inline int Scale(int designPixels, UINT dpi) {
  return MulDiv(designPixels, dpi, kDesignDpi);
}
RECT ScaleRect(const RECT& design, UINT dpi);
// The resolution the window is shown at (96 when the system cannot say).
UINT WindowDpi(HWND window);
// Passes a broadcast that reaches top-level windows only (a volume came or
// went) on to every window inside `window`.
void ForwardToDescendants(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// "Tahoma" at a character height given in design pixels.
unique_hfont CreateTahoma(int designHeight, UINT dpi);
// The answer to WM_CTLCOLORSTATIC and WM_CTLCOLORBTN for a label, radio
// button or check box on a page: the system's window colour behind the
// system's window-text colour. Both come from the system, so that a contrast
// theme never puts its light text on a white of our own; in the normal look
// they are white and black. A panel of another system colour (the button
// bar's) passes its own pair.
LRESULT SystemColoursFor(HDC dc, int background = COLOR_WINDOW, int text = COLOR_WINDOWTEXT);
// The brush of the system's window colour, for a class's registration.
// Windows' brush follows a change of the colour; Wine replaces it by a new
// one, so the drawing asks for it anew (EraseInSystemColour).
inline HBRUSH WindowBrush() {
  return GetSysColorBrush(COLOR_WINDOW);
}
// The answer to WM_ERASEBKGND of a window in a system colour (the window
// colour unless said), the brush of the day rather than the one the class
// was registered with.
LRESULT EraseInSystemColour(HWND window, HDC dc, int colour = COLOR_WINDOW);
// After the system's colours or theme changed: the common controls inside
// `window` are told (Windows tells top-level windows only), and all of it is
// drawn anew.
void RepaintForNewColours(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The text of a window of this thread: a label's or button's caption, an
// edit field's contents.
Text WindowText(HWND window);

// Where an exception that reaches a window procedure goes, since none may
// cross one: the application object sets its failure report here, and
// learns the window whose procedure it reached. Without a handler the
// failure is only sounded.
using FailureHandler = void (*)(HWND window, std::exception_ptr failure) noexcept;
void SetFailureHandler(FailureHandler handler);

// A window of a class of our own. Stores `this` at WM_NCCREATE and forwards
// every message to HandleMessage.
class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return hwnd_.get(); }

 protected:
  struct ClassInfo {
    const wchar_t* name;
    HBRUSH background = nullptr;
    HICON icon = nullptr;
    UINT style = 0;
  };
  void Create(const ClassInfo& info, DWORD exStyle, DWORD style, const wchar_t* text,
              const RECT& rect, HWND parent, int id = 0);

  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(Handle(), message, wParam, lParam);
  }
  // Sends a notification from one of our own children back to it; true
  // when the child handled it.
  bool ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) noexcept;
  unique_hwnd hwnd_;
};

// A control of a system class (EDIT, COMBOBOX) whose messages pass through
// HandleMessage first.
class SubclassedControl {
 public:
  SubclassedControl() = default;
  virtual ~SubclassedControl();
  SubclassedControl(const SubclassedControl&) = delete;
  SubclassedControl& operator=(const SubclassedControl&) = delete;

  HWND Handle() const { return hwnd_.get(); }

 protected:
  void Create(const wchar_t* className, DWORD exStyle, DWORD style, const wchar_t* text,
              const RECT& rect, HWND parent, int id);
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR self) noexcept;
  unique_hwnd hwnd_;
};

// A plain container in the system's window colour: pages, the page
// container, a test's host window.
// Passes its children's notifications on to its parent after reflecting
// them, so the top-level window sees every click.
class TPanel : public Window {
 public:
  struct Args {
    HWND parent = nullptr;
    RECT rect{};
    const wchar_t* caption = L"";
    bool visible = true;
    DWORD extraStyle = 0;
  };
  explicit TPanel(const Args& args);
  TPanel() = default;

 protected:
  void CreatePanel(const Args& args, const ClassInfo& info);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The system colours of its background and of its labels' text.
  int backgroundColour_ = COLOR_WINDOW;
  int textColour_ = COLOR_WINDOWTEXT;
};

}  // namespace zephora
