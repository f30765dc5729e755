#include <exception>

#include "app/application.h"
#include "app/dialogs.h"
#include "app/install_steps.h"
#include "app/ufrmMain.h"
#include "platform/exception.h"
#include "transfer/http/download_file.h"
#include "transfer/zip/unpack_archive.h"

namespace zephora {
namespace {

// The message a caught failure carries, shown unchanged.
Text MessageOf(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Exception& error) {
    return error.Message();
  } catch (const std::exception& error) {
    return FromUtf8(error.what());
  } catch (...) {
    return Text();
  }
}

}  // namespace

// Next on the proxy page: downloads and unpacks both packages, writes
// SETUP.INI and the desktop shortcut, and leaves the wizard on Einde, on
// Abort with the failure's message, or on InstallData when the failure came
// before the package work.
void TfrmMain::RunInstallation() {
  btNEXT.SetEnabled(false);
  SetPageIndex(kInstallMain);
  SetWaitCursor(true);
  ProcessMessages();  // page 4 and the cursor are drawn before the run blocks

  bool succeeded = false;
  auto finish = [&](int page) {
    SetWaitCursor(false);
    btFINISH.BringToFront();
    SetPageIndex(page);
  };
  try {
    if (PROXY_USE.Checked()) {
      HttpClient1.ProxyParams.ProxyServer = PROXY_SERVER.GetText();
      HttpClient1.ProxyParams.ProxyPort = static_cast<std::int32_t>(
          static_cast<std::uint32_t>(static_cast<std::uint64_t>(PROXY_POORT->Value())));
    }
    const Text installFolder = InstallFolderOf(InstallDrive->Drive());
    GegevensLocatie->SetText(installFolder);
    if (!FolderExistsForInstall(installFolder))
      ForceDirectories(installFolder);

    try {
      for (const char16_t* package : {u"main.zip", u"upgrade.zip"}) {
        const Text localFile = installFolder + package;
        DownloadFile(HttpClient1, DownloadBaseUrl, Text(u"Files/") + package, localFile);
        UnpackArchive(UnZipper1, localFile);
      }
      const Text language = rbNEDERLANDS.Checked() ? u"N" : rbENGELS.Checked() ? u"E" : u"G";
      WriteSettingsLanguage(installFolder + u"SETUP.INI", language);
      if (const auto stored = ReadShellFoldersDesktop()) {
        ShellLink.Description = u"ZEPHORA";
        ShellLink.ProgramFile = installFolder + u"ZEPHORA.EXE";
        // A missing or empty value would put the shortcut at the root of the
        // current drive; the shell knows the real desktop.
        const std::optional<Text> desktop = stored->empty() ? ShellDesktopFolder() : stored;
        if (desktop) {
          ShellLink.LinkFile =
              *desktop + (desktop->ends_with(u'\\') ? u"" : u"\\") + u"ZEPHORA.lnk";
          ShellLink.Write();
        }
      }
      succeeded = true;
    } catch (...) {
      SetPageIndex(PageCount() - 1);
      btFINISH.BringToFront();
      btCANCEL.SetVisible(false);
      ErrorDialog(MessageOf(std::current_exception()));
    }
  } catch (...) {
    finish(kInstallData);
    throw;
  }
  if (succeeded) {
    // Abort would tell the user that the program is not installed when it
    // is, so Cancel goes with success too.
    btCANCEL.SetVisible(false);
    finish(kEinde);
  } else {
    finish(kAbort);
  }
}

}  // namespace zephora
