// Shows the wizard in one of the states a user can see, for screenshots:
//   SETUP PAGE     the page as the wizard leaves it (1-3, 6-8); page 4
//                  part-way through a run, the first package downloaded
//                  and half unpacked
//   SETUP confirm  the Cancel question over the start page
//   SETUP error    the error box of a run that finds no download server
// and keeps it on screen until the process is ended. A second argument
// "dark" first sets the system's window and window-text colours to those of
// a dark contrast theme (black and white), for this Wine session; run it
// in a Wine session of its own. It is built as a
// SETUP.EXE of its own, since the error box's caption comes from the name.
#include <windows.h>

#include <cwchar>
#include <string>

#include "app/application.h"
#include "app/ufrmMain.h"
#include "i18n/translation.h"
#include "platform/exception.h"
#include "platform/process.h"
#include "transfer/http/http_texts.h"

namespace {

void ShowState(zephora::TfrmMain& form, int page) {
  using namespace zephora;
  switch (page) {
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
  if (argc > 2 && std::wstring(argv[2]) == L"dark") {
    const INT elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    const COLORREF colours[] = {RGB(0, 0, 0), RGB(255, 255, 255)};
    SetSysColors(2, elements, colours);
  }
  zephora::TApplication application(zephora::ExecutablePath());
  zephora::TfrmMain form{zephora::Text()};  // never downloads
  if (state == L"confirm") {
    // Asked once the window is shown and the message loop runs.
    PostMessageW(form.btCANCEL.Handle(), BM_CLICK, 0, 0);
  } else if (state == L"error") {
    // The run as it ends when nothing answers at the server; it makes no
    // folder and writes nothing.
    form.SetPageIndex(zephora::kProxySettings);
    form.InstallWork.MakeFolder = [](const zephora::Text&) {};
    form.InstallWork.Download = [](zephora::THttpClient&, const zephora::Text&,
                                   const zephora::Text&, const zephora::Text&) {
      throw zephora::Exception(zephora::http::SocketErrorMessage(10061));
    };
    PostMessageW(form.btNEXT.Handle(), BM_CLICK, 0, 0);
  } else if (state == L"4") {
    // A real run whose work stands still half-way through the first
    // package's unpacking, answering its window until the process ends.
    form.SetPageIndex(zephora::kProxySettings);
    form.InstallWork.MakeFolder = [](const zephora::Text&) {};
    form.InstallWork.Download = [](zephora::THttpClient& client, const zephora::Text&,
                                   const zephora::Text&,
                                   const zephora::Text&) { client.OnWork(20 << 20, 20 << 20); };
    form.InstallWork.Unpack = [](zephora::TUnZipper& unzipper, const zephora::Text&) {
      unzipper.OnProgress(10 << 20, 20 << 20);
      while (unzipper.OnTurn())
        Sleep(20);
      throw zephora::TStopped();
    };
    PostMessageW(form.btNEXT.Handle(), BM_CLICK, 0, 0);
  } else {
    ShowState(form, std::wcstol(state.c_str(), nullptr, 10));
  }
  return application.Run(form);
}
