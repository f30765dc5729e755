#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <optional>

#include "app/application.h"
#include "app/install_steps.h"
#include "app/ufrmMain.h"
#include "platform/exception.h"
#include "platform/path.h"
#include "platform/turns.h"

namespace zephora {
namespace {

// The progress bar in bar units: each package has an equal share, most of
// it for the download, which is what takes long; the settings file and the
// shortcut fill the last bit, so that the bar is full only when all is done.
constexpr int kBarRange = 1000;
constexpr int kPackageShare = 475;
constexpr int kDownloadShare = 285;
constexpr int kSettingsDone = 975;
// A reply that announces no length fills its share ever more slowly, half
// of it at this many bytes.
constexpr double kUnannouncedHalf = 1024.0 * 1024.0;

}  // namespace

bool TfrmMain::Turn() {
  ProcessMessages();
  return !stopRequested_;
}

void TfrmMain::Advance(int from, int to, double fraction) {
  const int position = from + static_cast<int>((to - from) * std::clamp(fraction, 0.0, 1.0));
  if (position <= progress_)
    return;
  progress_ = position;
  SendMessageW(ProgressBar.Handle(), PBM_SETPOS, static_cast<WPARAM>(progress_), 0);
}

void TfrmMain::ConnectRunEvents(int package) {
  const int base = package * kPackageShare;
  HttpClient1.OnTurn = [this] { return Turn(); };
  HttpClient1.OnWork = [this, base](std::int64_t done, std::int64_t total) {
    const double d = static_cast<double>(done);
    Advance(base, base + kDownloadShare,
            total > 0 ? d / static_cast<double>(total) : d / (d + kUnannouncedHalf));
  };
  UnZipper1.OnTurn = [this] { return Turn(); };
  UnZipper1.OnProgress = [this, base](std::uint64_t done, std::uint64_t total) {
    if (total > 0) {
      Advance(base + kDownloadShare, base + kPackageShare,
              static_cast<double>(done) / static_cast<double>(total));
    }
  };
}

void TfrmMain::DisconnectRunEvents() {
  HttpClient1.OnTurn = nullptr;
  HttpClient1.OnWork = nullptr;
  UnZipper1.OnTurn = nullptr;
  UnZipper1.OnProgress = nullptr;
}

// Next on the proxy page: downloads and unpacks both packages, writes
// SETUP.INI and the desktop shortcut, and leaves the wizard on Einde, on
// Abort with the failure's message, or on InstallData when the failure came
// before the package work.
//
// The run keeps to this thread but gives the window a turn at least every
// few dozen milliseconds wherever it waits or works, so that Windows never
// takes the window for hung, the bar shows how far it got, and Cancel and
// the close box can stop it. A stop is the user's choice: it ends on Abort
// with nothing to report.
void TfrmMain::RunInstallation() {
  btNEXT.SetEnabled(false);
  SetPageIndex(kInstallMain);
  SetWaitCursor(true);
  running_ = true;
  stopRequested_ = false;
  progress_ = 0;
  SendMessageW(ProgressBar.Handle(), PBM_SETRANGE32, 0, kBarRange);
  SendMessageW(ProgressBar.Handle(), PBM_SETPOS, 0, 0);
  struct EndRun {
    TfrmMain& form;
    ~EndRun() {
      form.running_ = false;
      form.DisconnectRunEvents();
      ShutdownBlockReasonDestroy(form.Handle());
    }
  } endRun{*this};
  ProcessMessages();  // page 4 and the cursor are drawn before the work starts

  std::optional<Text> failure;
  bool stopped = false;
  try {
    if (PROXY_USE.Checked()) {
      HttpClient1.ProxyParams.ProxyServer = PROXY_SERVER.GetText();
      HttpClient1.ProxyParams.ProxyPort = static_cast<std::int32_t>(
          static_cast<std::uint32_t>(static_cast<std::uint64_t>(PROXY_POORT->Value())));
    }
    const Text installFolder = InstallFolderOf(InstallDrive->Drive());
    GegevensLocatie->SetText(installFolder);
    InstallWork.MakeFolder(installFolder);

    // A stop asked for between two steps is taken before the next.
    const auto turn = [this] {
      if (!Turn())
        throw TStopped();
    };
    try {
      int index = 0;
      for (const char16_t* package : {u"main.zip", u"upgrade.zip"}) {
        const Text localFile = installFolder + package;
        ConnectRunEvents(index++);
        turn();
        InstallWork.Download(HttpClient1, DownloadBaseUrl, Text(u"Files/") + package, localFile);
        turn();
        InstallWork.Unpack(UnZipper1, localFile);
      }
      DisconnectRunEvents();
      Advance(0, kBarRange, 2.0 * kPackageShare / kBarRange);
      turn();
      const Text language = rbNEDERLANDS.Checked() ? u"N" : rbENGELS.Checked() ? u"E" : u"G";
      WriteSettingsLanguage(installFolder + u"SETUP.INI", language);
      Advance(0, kBarRange, static_cast<double>(kSettingsDone) / kBarRange);
      turn();
      ShellLink.Description = u"ZEPHORA";
      ShellLink.ProgramFile = installFolder + u"ZEPHORA.EXE";
      const Text linkName = u"ZEPHORA.lnk";
      ShellLink.LinkFile = JoinPath(DesktopFolderFor(InstallWork, linkName), linkName);
      ShellLink.Write();
      Advance(0, kBarRange, 1.0);
    } catch (const TStopped&) {
      stopped = true;
    } catch (...) {
      failure = MessageOf(std::current_exception());
    }
  } catch (...) {
    running_ = false;
    ShowEndPage(kInstallData);
    throw;
  }
  // The error box and the end page belong to no run: Cancel is Cancel again.
  running_ = false;
  // Yes to a question asked after the last turn still means Abort.
  ShowEndPage(failure || stopped || stopRequested_ ? kAbort : kEinde, failure);
}

}  // namespace zephora
