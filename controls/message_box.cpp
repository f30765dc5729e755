#include "controls/message_box.h"

#include "platform/exception.h"
#include "platform/process.h"
#include "platform/wide.h"
#include "platform/win_handles.h"

namespace zephora {
namespace {

constexpr ResourceText kDialogTexts[] = {
    {0x1000, N_(u"OK")},
    // TRANSLATORS: "&" marks the access key; Yes and No share a dialog, so
    // their keys must differ.
    {0x1001, N_(u"&Yes")},
    // TRANSLATORS: "&" marks the access key, which must differ from Yes's.
    {0x1002, N_(u"&No")},
};
const ResourceModule kDialogModule{kDialogTexts};

Text MessageOf(const std::exception& failure) {
  if (const auto* own = dynamic_cast<const Exception*>(&failure))
    return own->Message();
  return FromUtf8(failure.what());
}

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

Text ApplicationTitle(TextView executablePath) {
  std::size_t slash = executablePath.find_last_of(u"\\/:");
  TextView name = slash == TextView::npos ? executablePath : executablePath.substr(slash + 1);
  Text title(name.substr(0, name.find(u'.')));
  for (std::size_t i = 1; i < title.size(); ++i) {
    if (title[i] >= u'A' && title[i] <= u'Z')
      title[i] = static_cast<char16_t>(title[i] + 32);
  }
  return title;
}

Text ApplicationTitle() {
  return ApplicationTitle(ExecutablePath());
}

Text FailureReportText(std::exception_ptr failure) {
  Text message;
  while (failure) {
    std::exception_ptr inner;
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& caught) {
      Text own = MessageOf(caught);
      if (!own.empty())
        message = std::move(own);
      if (const auto* nested = dynamic_cast<const std::nested_exception*>(&caught)) {
        inner = nested->nested_ptr();
      }
    } catch (...) {
    }
    failure = inner;
  }
  if (!message.empty() && message.back() > u'.')
    message += u'.';
  return message;
}

void ShowFailureReport(std::exception_ptr failure) noexcept {
  try {
    ShowMessageBox(GetActiveWindow(), FailureReportText(failure), ApplicationTitle(),
                   MB_OK | MB_ICONERROR);
  } catch (...) {
    MessageBeep(MB_ICONERROR);
  }
}

int ShowMessageBox(HWND owner, const Text& text, const Text& caption, UINT flags) {
  unique_hhook hook(SetWindowsHookExW(WH_CBT, &CaptionHook, nullptr, GetCurrentThreadId()));
  return MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption).c_str(), flags);
}

}  // namespace zephora
