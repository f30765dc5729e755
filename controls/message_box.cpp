#include "controls/message_box.h"

#include "controls/dialog_texts.h"
#include "platform/wide.h"
#include "platform/win_handles.h"

namespace zephora {
namespace {

// Runs while a message box of ours is being shown: gives its buttons the
// library texts once the box exists.
LRESULT CALLBACK CaptionHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t className[16] = {};
    GetClassNameW(box, className, 16);
    if (wcscmp(className, L"#32770") == 0) {
      try {
        const std::pair<int, const ResStringRec*> buttons[] = {
            {IDOK, &SMsgDlgOK}, {IDYES, &SMsgDlgYes}, {IDNO, &SMsgDlgNo}};
        for (const auto& [id, record] : buttons) {
          if (HWND button = GetDlgItem(box, id)) {
            SetWindowTextW(button, ToWide(LoadResString(*record)).c_str());
          }
        }
      } catch (...) {
        // A caption that cannot be loaded leaves the system's own.
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int ShowMessageBox(HWND owner, const Text& text, const Text& caption, UINT flags) {
  unique_hhook hook(SetWindowsHookExW(WH_CBT, &CaptionHook, nullptr, GetCurrentThreadId()));
  return MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption).c_str(), flags);
}

}  // namespace zephora
