// The program's entry point: the translation layer first, then the
// application object and the wizard window; torn down in reverse order.
#include <windows.h>

#include "app/application.h"
#include "app/failure_report.h"
#include "app/ufrmMain.h"
#include "i18n/translation.h"
#include "platform/process.h"
#include "transfer/verify/signed_download.h"

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
      // So are the vendor's package keys; with none, packages are taken as
      // the server sends them.
      const zephora::verify::PackageKeys keys =
          zephora::verify::ParseBuiltInKeys(ZEPHORA_PACKAGE_KEYS);
      if (!keys.empty()) {
        frmMain.InstallWork.Download =
            [keys](zephora::THttpClient& client, const zephora::Text& baseUrl,
                   const zephora::Text& packagePath, const zephora::Text& localFile) {
              zephora::DownloadSignedFile(client, baseUrl, packagePath, localFile, keys);
            };
      }
      exitCode = application.Run(frmMain);
    }
    return exitCode;
  } catch (...) {
    zephora::ShowFailureReport(nullptr, std::current_exception());
    return 1;
  }
}
