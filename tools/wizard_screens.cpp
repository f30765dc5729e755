// Shows the wizard in one of the states a user can see, for screenshots:
//   wizard_screens PAGE     the page as the wizard leaves it (1-4, 6-8)
//   wizard_screens confirm  the Cancel question over the start page
// and keeps it on screen until the process is ended.
#include <objbase.h>
#include <windows.h>

#include <cwchar>
#include <string>

#include "app/dialogs.h"
#include "app/ufrmMain.h"
#include "i18n/translation.h"

namespace {

void ShowState(zephora::TfrmMain& form, int page) {
  using namespace zephora;
  form.SetPageIndex(page);
  switch (page) {
    case kInstallMain:  // during the installation run
      form.btNEXT.SetEnabled(false);
      break;
    case kInstallData:  // the run ended on a failure it did not handle
      form.btNEXT.SetEnabled(false);
      form.btFINISH.BringToFront();
      break;
    case kEinde:  // the run succeeded
    case kAbort:  // the run failed, or the user cancelled
      form.btNEXT.SetEnabled(false);
      form.btCANCEL.SetVisible(false);
      form.btFINISH.BringToFront();
      break;
    default:
      break;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  zephora::TranslationLayer translation;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring state = argc > 1 ? argv[1] : L"1";
  {
    zephora::TfrmMain form{zephora::Text()};  // never downloads
    form.SetMainForm(true);
    if (state != L"confirm")
      ShowState(form, std::wcstol(state.c_str(), nullptr, 10));
    form.Show();
    if (state == L"confirm") {
      PostMessageW(form.btCANCEL.Handle(), BM_CLICK, 0, 0);
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (form.TranslateDialogMessage(message))
        continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  CoUninitialize();
  return 0;
}
