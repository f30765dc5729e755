#include "tests/support/ui_test_support.h"

#include <chrono>

namespace zephora::test {

void PumpMessages(const std::function<bool(MSG&)>& filter) {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (filter && filter(message))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  // WM_GETTEXT reaches the owning thread while it runs a modal loop.
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                      nullptr);
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[128] = {};
  GetClassNameW(window, name, 128);
  return name;
}

SeenChild SeenDialog::Child(int id) const {
  for (const SeenChild& child : children) {
    if (child.id == id)
      return child;
  }
  return SeenChild{};
}

DialogAnswerer::DialogAnswerer(const std::wstring& className, std::vector<UINT> keys)
    : uiThread_(GetCurrentThreadId()) {
  thread_ = std::thread([this, className, keys] { Run(className, keys); });
}

DialogAnswerer::~DialogAnswerer() {
  if (thread_.joinable())
    thread_.join();
}

const SeenDialog& DialogAnswerer::ResultAfterModalStep() {
  stop_ = true;
  return Result();
}

const SeenDialog& DialogAnswerer::Result() {
  if (thread_.joinable())
    thread_.join();
  return seen_;
}

namespace {

struct Search {
  const std::wstring* className;
  HWND found;
};

BOOL CALLBACK FindByClass(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  if (IsWindowVisible(window) && ClassName(window) == *search->className) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK RecordChild(HWND window, LPARAM data) {
  auto* seen = reinterpret_cast<SeenDialog*>(data);
  SeenChild child{ClassName(window), WindowText(window), GetDlgCtrlID(window),
                  IsWindowVisible(window) != FALSE};
  RECT rect{};
  GetWindowRect(window, &rect);
  child.width = rect.right - rect.left;
  DWORD_PTR font = 0;
  LOGFONTW logical{};
  if (SendMessageTimeoutW(window, WM_GETFONT, 0, 0, SMTO_BLOCK, 5000, &font) && font != 0 &&
      GetObjectW(reinterpret_cast<HFONT>(font), sizeof logical, &logical) != 0) {
    child.fontHeight = logical.lfHeight;
  }
  DWORD_PTR icon = 0;
  ICONINFO iconInfo{};
  BITMAP bitmap{};
  if (_wcsicmp(child.className.c_str(), L"Static") == 0) {
    if ((GetWindowLongPtrW(window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageTimeoutW(window, STM_GETICON, 0, 0, SMTO_BLOCK, 5000, &icon) && icon != 0 &&
        GetIconInfo(reinterpret_cast<HICON>(icon), &iconInfo)) {
      HBITMAP shape = iconInfo.hbmColor != nullptr ? iconInfo.hbmColor : iconInfo.hbmMask;
      if (GetObjectW(shape, sizeof bitmap, &bitmap) != 0)
        child.iconWidth = bitmap.bmWidth;
      if (iconInfo.hbmColor != nullptr)
        DeleteObject(iconInfo.hbmColor);
      DeleteObject(iconInfo.hbmMask);
    }
  }
  seen->children.push_back(child);
  return TRUE;
}

}  // namespace

void DialogAnswerer::Run(std::wstring className, std::vector<UINT> keys) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  Search search{&className, nullptr};
  while (search.found == nullptr && Clock::now() < deadline) {
    const bool last = stop_;
    EnumThreadWindows(uiThread_, &FindByClass, reinterpret_cast<LPARAM>(&search));
    if (last)
      break;
    if (search.found == nullptr)
      Sleep(20);
  }
  if (search.found == nullptr)
    return;
  // Let the dialog settle: its buttons exist and one has the focus.
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  // Another program on the display may hold the focus: then the keys go to
  // the dialog itself, whose navigation handles them the same way.
  const auto focusDeadline = Clock::now() + std::chrono::seconds(2);
  while (Clock::now() < focusDeadline) {
    if (GetGUIThreadInfo(uiThread_, &info) && info.hwndFocus != nullptr &&
        GetAncestor(info.hwndFocus, GA_ROOT) == search.found) {
      break;
    }
    Sleep(20);
  }
  seen_.found = true;
  seen_.window = search.found;
  seen_.owner = GetWindow(search.found, GW_OWNER);
  seen_.exStyle = GetWindowLongPtrW(search.found, GWL_EXSTYLE);
  seen_.caption = WindowText(search.found);
  EnumChildWindows(search.found, &RecordChild, reinterpret_cast<LPARAM>(&seen_));
  for (UINT key : keys) {
    GetGUIThreadInfo(uiThread_, &info);
    HWND target = info.hwndFocus != nullptr && GetAncestor(info.hwndFocus, GA_ROOT) == search.found
                      ? info.hwndFocus
                      : search.found;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    Sleep(20);
  }
}

}  // namespace zephora::test
