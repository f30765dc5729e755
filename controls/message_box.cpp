#include "controls/message_box.h"

#include "platform/wide.h"
#include "platform/win_handles.h"

namespace zephora {
namespace {

constexpr ResourceText kDialogTexts[] = {
    {0x1000, u"OK"},
    {0x1001, u"&Yes"},
    {0x1002, u"&No"},
};
const ResourceModule kDialogModule{kDialogTexts};

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

extern const ResStringRec SMsgDlgOK{&kDialogModule, 0x1000};
extern const ResStringRec SMsgDlgYes{&kDialogModule, 0x1001};
extern const ResStringRec SMsgDlgNo{&kDialogModule, 0x1002};

int ShowMessageBox(HWND owner, const Text& text, const Text& caption, UINT flags) {
  unique_hhook hook(SetWindowsHookExW(WH_CBT, &CaptionHook, nullptr, GetCurrentThreadId()));
  return MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption).c_str(), flags);
}

}  // namespace zephora
