#include "app/application.h"

#include <objbase.h>
#include <windows.h>

#include <commctrl.h>

#include "app/failure_report.h"
#include "app/ufrmMain.h"
#include "controls/common_controls.h"
#include "controls/window.h"
#include "platform/path.h"
#include "platform/process.h"

namespace zephora {

TApplication::TApplication(const Text& executablePath) : title_(ApplicationTitle(executablePath)) {
  // The shell link object needs COM on this thread; it is undone at exit
  // only if this call is the one that set it up.
  comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  // The classes of the common controls (version 6, by the manifest; loaded
  // here, first of all their uses) that the windows use: the standard ones and the progress bar.
  // Windows' documentation asks for this before the first such control is created; Wine registers
  // them on its own.
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS;
  comctl::InitCommonControlsEx(&controls);
  SetFailureHandler(&ShowFailureReport);
}

TApplication::~TApplication() {
  SetFailureHandler(nullptr);
  if (comInitialised_)
    CoUninitialize();
}

Text ApplicationTitle(TextView executablePath) {
  const Text name = ExtractFileName(executablePath);
  Text title = name.substr(0, name.find(u'.'));
  for (std::size_t i = 1; i < title.size(); ++i) {
    if (title[i] >= u'A' && title[i] <= u'Z')
      title[i] = static_cast<char16_t>(title[i] + 32);
  }
  return title;
}

Text ApplicationTitle() {
  return ApplicationTitle(ExecutablePath());
}

void ProcessMessages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

int TApplication::Run(TfrmMain& mainForm) {
  mainForm.SetMainForm(true);
  if (MainFormOnTaskbar) {
    SetWindowLongPtrW(mainForm.Handle(), GWL_EXSTYLE,
                      GetWindowLongPtrW(mainForm.Handle(), GWL_EXSTYLE) | WS_EX_APPWINDOW);
  }
  mainForm.Show();
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (mainForm.TranslateDialogMessage(message))
      continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace zephora
