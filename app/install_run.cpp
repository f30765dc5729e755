#include <exception>
#include <optional>

#include "app/application.h"
#include "app/install_steps.h"
#include "app/ufrmMain.h"
#include "platform/exception.h"
#include "platform/path.h"

namespace zephora {

// Next on the proxy page: downloads and unpacks both packages, writes
// SETUP.INI and the desktop shortcut, and leaves the wizard on Einde, on
// Abort with the failure's message, or on InstallData when the failure came
// before the package work.
void TfrmMain::RunInstallation() {
  btNEXT.SetEnabled(false);
  SetPageIndex(kInstallMain);
  SetWaitCursor(true);
  ProcessMessages();  // page 4 and the cursor are drawn before the run blocks

  std::optional<Text> failure;
  try {
    if (PROXY_USE.Checked()) {
      HttpClient1.ProxyParams.ProxyServer = PROXY_SERVER.GetText();
      HttpClient1.ProxyParams.ProxyPort = static_cast<std::int32_t>(
          static_cast<std::uint32_t>(static_cast<std::uint64_t>(PROXY_POORT->Value())));
    }
    const Text installFolder = InstallFolderOf(InstallDrive->Drive());
    GegevensLocatie->SetText(installFolder);
    InstallWork.MakeFolder(installFolder);

    try {
      for (const char16_t* package : {u"main.zip", u"upgrade.zip"}) {
        const Text localFile = installFolder + package;
        InstallWork.Download(HttpClient1, DownloadBaseUrl, Text(u"Files/") + package, localFile);
        InstallWork.Unpack(UnZipper1, localFile);
      }
      const Text language = rbNEDERLANDS.Checked() ? u"N" : rbENGELS.Checked() ? u"E" : u"G";
      WriteSettingsLanguage(installFolder + u"SETUP.INI", language);
      ShellLink.Description = u"ZEPHORA";
      ShellLink.ProgramFile = installFolder + u"ZEPHORA.EXE";
      const Text linkName = u"ZEPHORA.lnk";
      ShellLink.LinkFile = JoinPath(DesktopFolderFor(InstallWork, linkName), linkName);
      ShellLink.Write();
    } catch (...) {
      failure = MessageOf(std::current_exception());
    }
  } catch (...) {
    ShowEndPage(kInstallData);
    throw;
  }
  ShowEndPage(failure ? kAbort : kEinde, failure);
}

}  // namespace zephora
