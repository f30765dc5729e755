#include "controls/window.h"

#include <commctrl.h>

#include <exception>

#include "controls/common_controls.h"
#include "platform/exception.h"
#include "platform/system_error.h"
#include "platform/wide.h"

namespace zephora {

RECT ScaleRect(const RECT& design, UINT dpi) {
  // Position and size scale apart, so a control keeps its scaled size.
  const int left = Scale(design.left, dpi);
  const int top = Scale(design.top, dpi);
  return RECT{left, top, left + Scale(design.right - design.left, dpi),
              top + Scale(design.bottom - design.top, dpi)};
}

UINT WindowDpi(HWND window) {
  UINT dpi = window != nullptr ? GetDpiForWindow(window) : GetDpiForSystem();
  return dpi != 0 ? dpi : 96;
}

unique_hfont CreateTahoma(int designHeight, UINT dpi) {
  LOGFONTW font{};
  // Negative: the character height, without the internal leading.
  font.lfHeight = -Scale(designHeight, dpi);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  wcscpy(font.lfFaceName, L"Tahoma");
  return unique_hfont(CreateFontIndirectW(&font));
}

LRESULT SystemColoursFor(HDC dc, int background, int text) {
  SetTextColor(dc, GetSysColor(text));
  SetBkColor(dc, GetSysColor(background));
  // Themed radio buttons and check boxes draw their text on what lies
  // behind them.
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

LRESULT EraseInSystemColour(HWND window, HDC dc, int colour) {
  RECT client{};
  GetClientRect(window, &client);
  FillRect(dc, &client, GetSysColorBrush(colour));
  return TRUE;
}

void RepaintForNewColours(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SYSCOLORCHANGE)
    ForwardToDescendants(window, message, wParam, lParam);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

Text WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return FromWide(text);
}

namespace {

FailureHandler gFailureHandler = nullptr;

void ReportFailure(HWND window, std::exception_ptr failure) noexcept {
  if (gFailureHandler != nullptr) {
    gFailureHandler(window, failure);
  } else {
    MessageBeep(MB_ICONERROR);
  }
}

// Handles one message at the boundary that no exception may cross.
template <typename Handle>
LRESULT Guarded(HWND window, Handle handle) noexcept {
  try {
    return handle();
  } catch (...) {
    ReportFailure(window, std::current_exception());
    return 0;
  }
}

BOOL CALLBACK ForwardToChild(HWND child, LPARAM data) noexcept {
  const auto* forwarded = reinterpret_cast<const MSG*>(data);
  SendMessageW(child, forwarded->message, forwarded->wParam, forwarded->lParam);
  return TRUE;
}

void RegisterOnce(const wchar_t* name, HBRUSH background, HICON icon, UINT style,
                  WNDPROC procedure) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, name, &existing))
    return;
  WNDCLASSEXW info{};
  info.cbSize = sizeof info;
  info.style = style;
  info.lpfnWndProc = procedure;
  info.hInstance = instance;
  info.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  info.hbrBackground = background;
  info.hIcon = icon;
  info.lpszClassName = name;
  if (RegisterClassExW(&info) == 0) {
    throw Exception(SystemErrorText(static_cast<int>(GetLastError())));
  }
}

void ThrowLastError() {
  throw Exception(SystemErrorText(static_cast<int>(GetLastError())));
}

}  // namespace

void SetFailureHandler(FailureHandler handler) {
  gFailureHandler = handler;
}

Window::~Window() {
  if (HWND window = hwnd_.get())
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

void Window::Create(const ClassInfo& info, DWORD exStyle, DWORD style, const wchar_t* text,
                    const RECT& rect, HWND parent, int id) {
  RegisterOnce(info.name, info.background, info.icon, info.style, &Window::WindowProcedure);
  HMENU menu =
      (style & WS_CHILD) != 0 ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr;
  HWND window =
      CreateWindowExW(exStyle, info.name, text, style, rect.left, rect.top, rect.right - rect.left,
                      rect.bottom - rect.top, parent, menu, GetModuleHandleW(nullptr), this);
  if (window == nullptr)
    ThrowLastError();
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return Default(message, wParam, lParam);
}

bool Window::ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  HWND child = nullptr;
  switch (message) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
      child = reinterpret_cast<HWND>(lParam);
      break;
    case WM_NOTIFY:
      child = reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
      break;
    case WM_DRAWITEM:
      child = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem;
      break;
    default:
      return false;
  }
  // Only direct children: a grandchild's notification passed up by a panel
  // has been reflected once already.
  if (child == nullptr || GetParent(child) != Handle())
    return false;
  result = SendMessageW(child, kReflectedMessage + message, wParam, lParam);
  return result != 0;
}

LRESULT CALLBACK Window::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    auto* self = static_cast<Window*>(create->lpCreateParams);
    self->hwnd_.reset(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr)
    return DefWindowProcW(window, message, wParam, lParam);
  const LRESULT result =
      Guarded(window, [&] { return self->HandleMessage(message, wParam, lParam); });
  if (message == WM_NCDESTROY) {
    // The window is gone: the owner must not destroy it a second time.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->hwnd_.release();
  }
  return result;
}

SubclassedControl::~SubclassedControl() {
  if (HWND window = hwnd_.get()) {
    comctl::RemoveWindowSubclass(window, &SubclassedControl::SubclassProcedure, 0);
  }
}

void SubclassedControl::Create(const wchar_t* className, DWORD exStyle, DWORD style,
                               const wchar_t* text, const RECT& rect, HWND parent, int id) {
  HWND window = CreateWindowExW(exStyle, className, text, style, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr)
    ThrowLastError();
  hwnd_.reset(window);
  comctl::SetWindowSubclass(window, &SubclassedControl::SubclassProcedure, 0,
                            reinterpret_cast<DWORD_PTR>(this));
}

LRESULT SubclassedControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return Default(message, wParam, lParam);
}

LRESULT SubclassedControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  return comctl::DefSubclassProc(Handle(), message, wParam, lParam);
}

LRESULT CALLBACK SubclassedControl::SubclassProcedure(HWND window, UINT message, WPARAM wParam,
                                                      LPARAM lParam, UINT_PTR,
                                                      DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<SubclassedControl*>(data);
  const LRESULT result =
      Guarded(window, [&] { return self->HandleMessage(message, wParam, lParam); });
  if (message == WM_NCDESTROY) {
    comctl::RemoveWindowSubclass(window, &SubclassedControl::SubclassProcedure, 0);
    self->hwnd_.release();
  }
  return result;
}

void ForwardToDescendants(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG forwarded{window, message, wParam, lParam, 0, {}};
  EnumChildWindows(window, &ForwardToChild, reinterpret_cast<LPARAM>(&forwarded));
}

TPanel::TPanel(const Args& args) {
  CreatePanel(args, ClassInfo{L"ZephoraPanel", WindowBrush()});
}

void TPanel::CreatePanel(const Args& args, const ClassInfo& info) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | args.extraStyle | (args.visible ? WS_VISIBLE : 0);
  if (args.parent == nullptr)
    style = WS_OVERLAPPEDWINDOW | args.extraStyle;
  Create(info, WS_EX_CONTROLPARENT, style, args.caption, args.rect, args.parent);
}

LRESULT TPanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
      if (ReflectToChild(message, wParam, lParam, result))
        return result;
      if (HWND parent = GetParent(Handle()))
        return SendMessageW(parent, message, wParam, lParam);
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (ReflectToChild(message, wParam, lParam, result))
        return result;
      return SystemColoursFor(reinterpret_cast<HDC>(wParam), backgroundColour_, textColour_);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      if (ReflectToChild(message, wParam, lParam, result))
        return result;
      break;
    case WM_ERASEBKGND:
      return EraseInSystemColour(Handle(), reinterpret_cast<HDC>(wParam), backgroundColour_);
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      // A test's host window; pages and the page container are drawn anew
      // by the window they lie in.
      if (GetParent(Handle()) == nullptr)
        RepaintForNewColours(Handle(), message, wParam, lParam);
      break;
    case WM_DEVICECHANGE:
      if (GetParent(Handle()) == nullptr) {
        ForwardToDescendants(Handle(), message, wParam, lParam);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace zephora
