// The program's entry point: the translation layer first, then the
// application object and the wizard window; torn down in reverse order.
#include <windows.h>

#include "app/application.h"
#include "app/failure_report.h"
#include "app/ufrmMain.h"
#include "i18n/translation.h"
#include "platform/process.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    zephora::TranslationLayer translation;
    int exitCode = 0;
    {
      zephora::TApplication application(zephora::ExecutablePath());
      application.MainFormOnTaskbar = true;
      // The download server is fixed when this executable is built.
      zephora::TfrmMain frmMain(ZEPHORA_DOWNLOAD_BASE_URL);
      frmMain.HttpClient1.CaFile = ZEPHORA_DOWNLOAD_CA_FILE;
      exitCode = application.Run(frmMain);
    }
    return exitCode;
  } catch (...) {
    zephora::ShowFailureReport(nullptr, std::current_exception());
    return 1;
  }
}
