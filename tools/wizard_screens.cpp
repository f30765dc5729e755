// Shows the wizard in one of the states a user can see, for screenshots:
//   wizard_screens PAGE     the page as the wizard leaves it (1-4, 6-8)
//   wizard_screens confirm  the Cancel question over the start page
// and keeps it on screen until the process is ended.
#include <windows.h>

#include <cwchar>
#include <string>

#include "app/application.h"
#include "app/ufrmMain.h"
#include "i18n/translation.h"
#include "platform/process.h"

namespace {

void ShowState(zephora::TfrmMain& form, int page) {
  using namespace zephora;
  switch (page) {
    case kInstallMain:  // during the installation run
      form.btNEXT.SetEnabled(false);
      form.SetPageIndex(page);
      break;
    case kInstallData:  // the run ended on a failure it did not handle
    case kEinde:        // the run succeeded
    case kAbort:        // the run failed, or the user cancelled
      form.btNEXT.SetEnabled(false);
      form.ShowEndPage(static_cast<TPage>(page));
      break;
    default:
      form.SetPageIndex(page);
      break;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  zephora::TranslationLayer translation;
  const std::wstring state = argc > 1 ? argv[1] : L"1";
  zephora::TApplication application(zephora::ExecutablePath());
  zephora::TfrmMain form;
  if (state == L"confirm") {
    // Asked once the window is shown and the message loop runs.
    PostMessageW(form.btCANCEL.Handle(), BM_CLICK, 0, 0);
  } else {
    ShowState(form, std::wcstol(state.c_str(), nullptr, 10));
  }
  return application.Run(form);
}
