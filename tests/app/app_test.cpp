// The wizard window in this process: real windows, real messages, and the
// real confirmation and error boxes answered by a helper thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "app/application.h"
#include "app/error_dialog.h"
#include "app/failure_report.h"
#include "app/ufrmMain.h"
#include "controls/confirm_dialog.h"
#include "i18n/translation.h"
#include "platform/exception.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "platform/wide.h"
#include "tests/app/wizard_test.h"
#include "tests/support/test_support.h"
#include "tests/support/ui_test_support.h"

namespace zephora {
namespace {

using test::DialogAnswerer;
using test::FontOf;
using test::PumpMessages;
using test::SeenDialog;

class Wizard : public test::WizardTest {
 protected:
  // Cancel, with the confirmation answered by the given keys.
  SeenDialog Cancel(std::vector<UINT> keys) {
    DialogAnswerer answerer(kConfirmDialogClass, std::move(keys));
    Click(form->btCANCEL);
    return answerer.Result();
  }
  // The button the user sees where Next and Finish share their place.
  HWND FrontButton() {
    RECT rect{};
    GetWindowRect(form->btNEXT.Handle(), &rect);
    POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ScreenToClient(form->SpeedBar1->Handle(), &centre);
    return ChildWindowFromPointEx(form->SpeedBar1->Handle(), centre, CWP_SKIPINVISIBLE);
  }
  struct State {
    int page;
    bool finishInFront;
    bool cancelVisible;
    bool nextEnabled;
    bool wait;
    bool operator==(const State&) const = default;
  };
  State Now() {
    return State{form->PageIndex(), form->FinishInFront(), form->btCANCEL.Visible(),
                 form->btNEXT.Enabled(), form->WaitCursor()};
  }
};

RECT ClientRectOf(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect;
}

RECT RectInParent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void ExpectRect(HWND window, RECT design, UINT dpi) {
  RECT actual = RectInParent(window);
  EXPECT_EQ(actual.left, Scale(design.left, dpi));
  EXPECT_EQ(actual.top, Scale(design.top, dpi));
  EXPECT_EQ(actual.right - actual.left, Scale(design.right - design.left, dpi));
  EXPECT_EQ(actual.bottom - actual.top, Scale(design.bottom - design.top, dpi));
}

TEST(ApplicationTitle, KeepsTheFirstCharacterAndLowersTheRest) {
  EXPECT_EQ(ApplicationTitle(u"C:\\x\\Setup.exe"), u"Setup");
  EXPECT_EQ(ApplicationTitle(u"C:\\x\\SETUP.EXE"), u"Setup");
  EXPECT_EQ(ApplicationTitle(u"C:\\x\\setup.exe"), u"setup");
  EXPECT_EQ(ApplicationTitle(u"D:\\a.b\\MY.SETUP.EXE"), u"My");
  EXPECT_EQ(ApplicationTitle(u"SETUP"), u"Setup");
}

TEST(FailureReport, ShowsTheInnermostNonEmptyMessageWithItsFullStop) {
  auto nested = [](const char16_t* outer, const char16_t* inner) {
    try {
      try {
        throw Exception(inner);
      } catch (...) {
        std::throw_with_nested(Exception(outer));
      }
    } catch (...) {
      return std::current_exception();
    }
    return std::exception_ptr();
  };
  EXPECT_EQ(FailureReportText(nested(u"outer", u"inner")), u"inner.");
  EXPECT_EQ(FailureReportText(nested(u"outer", u"")), u"outer.");
  EXPECT_EQ(FailureReportText(std::make_exception_ptr(Exception(u"done."))), u"done.");
  EXPECT_EQ(FailureReportText(std::make_exception_ptr(Exception(u"why?"))), u"why?.");
  // "!" and ")" come before "." in the character table; "/" after it.
  EXPECT_EQ(FailureReportText(std::make_exception_ptr(Exception(u"stop!"))), u"stop!");
  EXPECT_EQ(FailureReportText(std::make_exception_ptr(Exception(u"(x)"))), u"(x)");
  EXPECT_EQ(FailureReportText(std::make_exception_ptr(Exception(u"a/"))), u"a/.");
  EXPECT_EQ(FailureReportText(std::make_exception_ptr(std::runtime_error("plain"))), u"plain.");
  EXPECT_EQ(FailureReportText(std::make_exception_ptr(Exception(u""))), u"");
}

TEST_F(Wizard, OpensOnStartWithNextInFrontAndCancelVisible) {
  EXPECT_EQ(Now(), (State{kStart, false, true, true, false}));
  EXPECT_EQ(FrontButton(), form->btNEXT.Handle());
  EXPECT_TRUE(form->btFINISH.Visible());
  EXPECT_TRUE(form->btFINISH.Enabled());
  for (int page = 0; page < form->PageCount(); ++page) {
    EXPECT_EQ(IsWindowVisible(form->Notebook1->PageHandle(page)) != FALSE, page == kStart) << page;
  }
  EXPECT_EQ(form->InstallDrive->Drive(), u'C');
}

TEST_F(Wizard, IsAFixedCentredWhiteDialogOfTheDesignSize) {
  const UINT dpi = form->Dpi();
  EXPECT_EQ(test::WindowText(form->Handle()), L"Programma - Setup");
  RECT client = ClientRectOf(form->Handle());
  EXPECT_EQ(client.right, Scale(700, dpi));
  EXPECT_EQ(client.bottom, Scale(513, dpi));
  const LONG_PTR style = GetWindowLongPtrW(form->Handle(), GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_NE(style & WS_CAPTION, 0);
  EXPECT_NE(GetWindowLongPtrW(form->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
  RECT frame{};
  GetWindowRect(form->Handle(), &frame);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_NEAR(frame.left + frame.right, screenWidth, 1);
  EXPECT_NEAR(frame.top + frame.bottom, screenHeight, 1);

  ExpectRect(form->Image1.Handle(), RECT{0, 0, 169, 460}, dpi);
  ExpectRect(form->SpeedBar1->Handle(), RECT{0, 460, 700, 513}, dpi);
  ExpectRect(form->Notebook1->Handle(), RECT{169, 0, 700, 460}, dpi);
  ExpectRect(form->btFINISH.Handle(), RECT{596, 10, 694, 43}, dpi);
  ExpectRect(form->btCANCEL.Handle(), RECT{10, 10, 109, 43}, dpi);
  ExpectRect(form->btNEXT.Handle(), RECT{596, 10, 694, 43}, dpi);
  ExpectRect(form->ProgressBar.Handle(), RECT{21, 167, 503, 190}, dpi);

  // The page's colour behind a label is white.
  HDC dc = GetDC(form->Handle());
  EXPECT_EQ(GetPixel(dc, Scale(100, dpi), Scale(300, dpi)), RGB(255, 255, 255));
  ReleaseDC(form->Handle(), dc);
}

TEST_F(Wizard, ScalesItsDesignToTheScreenResolution) {
  const UINT systemDpi = form->Dpi();
  for (UINT dpi : {systemDpi, 144u, 120u}) {
    // As Windows moves the window to a screen of that resolution: it asks
    // for the size there, then suggests a rectangle of that size.
    SIZE size{};
    SendMessageW(form->Handle(), WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(&size));
    RECT suggested{10, 10, 10 + size.cx, 10 + size.cy};
    SendMessageW(form->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(form->Dpi(), dpi);
    RECT frame{};
    GetWindowRect(form->Handle(), &frame);
    EXPECT_EQ(frame.right - frame.left, size.cx) << dpi;
    EXPECT_EQ(frame.bottom - frame.top, size.cy) << dpi;
    // Wine draws the frame at the system's resolution whatever the
    // window's, so the client area has the design's size at that one only.
    if (dpi == systemDpi) {
      RECT client = ClientRectOf(form->Handle());
      EXPECT_EQ(client.right, Scale(700, dpi)) << dpi;
      EXPECT_EQ(client.bottom, Scale(513, dpi)) << dpi;
    }
    ExpectRect(form->btNEXT.Handle(), RECT{596, 10, 694, 43}, dpi);
    const RECT drive = RectInParent(form->InstallDrive->Handle());
    EXPECT_EQ(drive.left, Scale(21, dpi));
    EXPECT_EQ(drive.top, Scale(126, dpi));
    EXPECT_EQ(drive.right - drive.left, Scale(409, dpi));
    EXPECT_EQ(FontOf(form->Titles[1].Handle()).lfHeight, -Scale(17, dpi));
    EXPECT_EQ(FontOf(form->btNEXT.Handle()).lfHeight, -Scale(15, dpi));
    EXPECT_EQ(FontOf(form->rbNEDERLANDS.Handle()).lfHeight, -Scale(14, dpi));
    EXPECT_EQ(std::wstring(FontOf(form->Titles[1].Handle()).lfFaceName), L"Tahoma");
  }
}

TEST_F(Wizard, ButtonsCarryTheirCaptionsAndTabOrder) {
  EXPECT_EQ(form->btFINISH.GetText(), u"Voltooien");
  EXPECT_EQ(form->btCANCEL.GetText(), u"&Annuleer");
  EXPECT_EQ(form->btNEXT.GetText(), u"Volgende >");
  // The first child of the bar comes first in the tab order.
  HWND first = GetWindow(form->SpeedBar1->Handle(), GW_CHILD);
  EXPECT_EQ(first, form->btCANCEL.Handle());
  EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), form->btNEXT.Handle());
  EXPECT_EQ(GetWindow(form->btNEXT.Handle(), GW_HWNDNEXT), form->btFINISH.Handle());
}

TEST_F(Wizard, PageTitlesKeepTheirExactSpacing) {
  const char16_t* expected[] = {u"Programma Setup",
                                u"Welkom bij het installatie programma ",
                                u"Locatie",
                                u"Proxy Instellingen",
                                u"Vooruitgang",
                                u"Gegevens installeren",
                                u"Gegevens Installeren",
                                u"Installatie voltooid",
                                u"Installatie is niet voltooid"};
  const char16_t* captions[] = {u"SelectTaal",    u"Start",       u"Locatie",
                                u"ProxySettings", u"InstallMain", u"Data",
                                u"InstallData",   u"Einde",       u"Abort"};
  ASSERT_EQ(form->PageCount(), 9);
  for (int page = 0; page < 9; ++page) {
    EXPECT_EQ(form->Titles[static_cast<std::size_t>(page)].GetText(), expected[page]);
    EXPECT_EQ(FromWide(test::WindowText(form->Notebook1->PageHandle(page))), captions[page]);
    RECT title = RectInParent(form->Titles[static_cast<std::size_t>(page)].Handle());
    EXPECT_EQ(title.left, Scale(21, form->Dpi()));
    EXPECT_EQ(title.top, Scale(21, form->Dpi()));
  }
}

TEST_F(Wizard, PagesHoldTheirTextsAndInitialValues) {
  std::vector<std::wstring> texts;
  for (int page = 0; page < 9; ++page) {
    for (HWND child = GetWindow(form->Notebook1->PageHandle(page), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      texts.push_back(test::WindowText(child));
    }
  }
  auto has = [&](const wchar_t* text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  };
  EXPECT_TRUE(has(L"Kies uw taal"));
  EXPECT_TRUE(
      has(L"Het installatie programma vereist hiervoor toegang tot het internet .  "
          L"Schakel eventueel uw firewall programma uit."));
  EXPECT_TRUE(has(L"De gegevens zijn aanwezig of  staan op een andere PC/Server"));
  EXPECT_TRUE(has(L"De componenten worden gedownload en ge\u00efnstalleerd"));
  EXPECT_TRUE(has(L"Neem contact op met Orvelin BVBA indien het probleem zich blijft voordoen."));
  // Every customer whose installation fails reads this one: "progamma" was
  // misspelt.
  EXPECT_TRUE(
      has(L"Het programma is niet succesvol ge\u00efnstalleerd op uw PC. Het programma "
          L"zal mogelijk niet correct werken."));

  EXPECT_TRUE(form->rbNEDERLANDS.Checked());
  EXPECT_FALSE(form->rbENGELS.Checked());
  EXPECT_EQ(form->rbFRANS.GetText(), u"Fran\u00e7ais");
  EXPECT_FALSE(form->rbITALIAANS.Visible());
  EXPECT_FALSE(form->rbSPAANS.Visible());
  EXPECT_TRUE(form->rbDUITS.Visible());
  // Tab order on the language page: Nederlands, Français, Deutsch, English, ...
  HWND order[] = {form->rbNEDERLANDS.Handle(), form->rbFRANS.Handle(),     form->rbDUITS.Handle(),
                  form->rbENGELS.Handle(),     form->rbITALIAANS.Handle(), form->rbSPAANS.Handle()};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
    EXPECT_EQ(GetWindow(order[i], GW_HWNDNEXT), order[i + 1]) << i;
  }
  EXPECT_TRUE(form->rbSERVER.Checked());
  EXPECT_FALSE(form->rbWORKSTATION.Checked());
  EXPECT_FALSE(form->PROXY_USE.Checked());
  EXPECT_EQ(form->PROXY_USE.GetText(), u"Een proxyserver gebruiken");
  EXPECT_EQ(form->PROXY_SERVER.GetText(), u"");
  EXPECT_EQ(form->PROXY_POORT->DisplayedText(), u"0");
  EXPECT_EQ(form->PROXY_POORT->Value(), 0);
  EXPECT_EQ(form->GegevensLocatie->GetText(), u"GegevensLocatie");
  EXPECT_EQ(SendMessageW(form->ProgressBar.Handle(), PBM_GETPOS, 0, 0), 0);
}

// With a font wider than Tahoma, the one-line contact label on Abort ran
// past the page and was cut off.
TEST_F(Wizard, NoLabelRunsPastItsPage) {
  for (int page = 0; page < form->PageCount(); ++page) {
    HWND pageWindow = form->Notebook1->PageHandle(page);
    const RECT bounds = ClientRectOf(pageWindow);
    for (HWND child = GetWindow(pageWindow, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      EXPECT_LE(RectInParent(child).right, bounds.right)
          << page << " " << ToUtf8(FromWide(test::WindowText(child)));
    }
  }
}

TEST_F(Wizard, NextWalksFromStartToLocatieToProxySettings) {
  Click(form->btNEXT);
  EXPECT_EQ(Now(), (State{kLocatie, false, true, true, false}));
  Click(form->btNEXT);
  EXPECT_EQ(Now(), (State{kProxySettings, false, true, true, false}));
  // Next here starts the installation run, which the end-to-end tests drive.
}

TEST_F(Wizard, NextShowsTheFollowingPageExceptOnTheLast) {
  const std::pair<int, int> steps[] = {{kInstallMain, kData}, {kEinde, kAbort}, {kAbort, kAbort}};
  for (auto [from, to] : steps) {
    form->SetPageIndex(from);
    Click(form->btNEXT);
    EXPECT_EQ(form->PageIndex(), to) << from;
  }
}

// The installation run with its download and unpacking replaced: what each
// of its three outcomes leaves in the window, without a server. SETUP.INI
// and the shortcut are written for real, into the test's Wine prefix.
class InstallationRun : public Wizard {
 protected:
  void SetUp() override {
    RemoveSettingsFile();
    Wizard::SetUp();
    form->InstallWork.Download = [this](THttpClient&, const Text& baseUrl, const Text& packagePath,
                                        const Text& localFile) {
      work.push_back(u"download " + baseUrl + packagePath + u" " + localFile);
      if (packagePath == failingDownload)
        throw Exception(u"HTTP/1.1 404 Not Found");
    };
    form->InstallWork.Unpack = [this](zip::TUnZipper&, const Text& localFile) {
      work.push_back(u"unpack " + localFile);
    };
    Click(form->btNEXT);
    Click(form->btNEXT);
    ASSERT_EQ(form->PageIndex(), kProxySettings);
  }
  void TearDown() override {
    if (!form->ShellLink.LinkFile.empty())
      (void)RemoveFile(form->ShellLink.LinkFile);
    RemoveSettingsFile();
    Wizard::TearDown();
  }
  static void RemoveSettingsFile() {
    DeleteFileW(kSettingsFile);
    RemoveDirectoryW(L"C:\\ZEPHORA");  // only when nothing else is in it
  }
  // Runs the installation; gives the text of the error box it shows, which
  // must carry the application title, and answers it.
  std::wstring RunAnsweringTheErrorBox() {
    DialogAnswerer answerer(L"#32770", {VK_RETURN});
    Click(form->btNEXT);
    const SeenDialog& seen = answerer.Result();
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(FromWide(seen.caption), ApplicationTitle());
    return seen.Child(0xFFFF).text;
  }
  static std::wstring Language() {
    wchar_t value[8] = {};
    GetPrivateProfileStringW(L"SETUP", L"TAAL", L"", value, 8, kSettingsFile);
    return value;
  }

  // Runs the installation with that answer from "Shell Folders" (nothing
  // when the key cannot be opened) and a shell that names a folder of ours.
  void ExpectTheShortcutInTheShellsDesktop(std::optional<Text> stored) {
    test::TempDir desktop;
    form->InstallWork.ReadDesktop = [&stored] { return stored; };
    form->InstallWork.ShellDesktop = [&desktop] {
      return TShellFolder{test::ToText(desktop.Path()), S_OK};
    };
    Click(form->btNEXT);
    EXPECT_EQ(Now(), (State{kEinde, true, false, false, false}));
    EXPECT_EQ(form->ShellLink.LinkFile, test::ToText(desktop / "ZEPHORA.lnk"));
    EXPECT_TRUE(FileExists(form->ShellLink.LinkFile));
  }

  static constexpr const wchar_t* kSettingsFile = L"C:\\ZEPHORA\\SETUP.INI";
  TApplication application{ExecutablePath()};  // reports what the run lets through
  std::vector<Text> work;
  Text failingDownload;
};

TEST_F(InstallationRun, SuccessEndsOnEindeWithFinishInFrontAndCancelHidden) {
  Click(form->btNEXT);
  EXPECT_EQ(Now(), (State{kEinde, true, false, false, false}));
  EXPECT_EQ(FrontButton(), form->btFINISH.Handle());
  EXPECT_EQ(
      work,
      (std::vector<Text>{
          u"download http://downloads.zephora.invalid/zephora/Files/main.zip C:\\ZEPHORA\\main.zip",
          u"unpack C:\\ZEPHORA\\main.zip",
          u"download http://downloads.zephora.invalid/zephora/Files/upgrade.zip "
          u"C:\\ZEPHORA\\upgrade.zip",
          u"unpack C:\\ZEPHORA\\upgrade.zip"}));
  EXPECT_EQ(form->GegevensLocatie->GetText(), u"C:\\ZEPHORA\\");
  EXPECT_EQ(Language(), L"N");
  EXPECT_TRUE(form->ShellLink.LinkFile.ends_with(u"\\ZEPHORA.lnk"));
  EXPECT_TRUE(FileExists(form->ShellLink.LinkFile));
  EXPECT_EQ(form->ShellLink.ProgramFile, u"C:\\ZEPHORA\\ZEPHORA.EXE");
}

TEST_F(InstallationRun, AFailedPackageEndsOnAbortAfterTheErrorBox) {
  failingDownload = u"Files/upgrade.zip";
  EXPECT_EQ(RunAnsweringTheErrorBox(), L"HTTP/1.1 404 Not Found");
  EXPECT_EQ(Now(), (State{kAbort, true, false, false, false}));
  EXPECT_EQ(FrontButton(), form->btFINISH.Handle());
  // What was done before the failure stays done; nothing after it happens.
  EXPECT_EQ(
      work,
      (std::vector<Text>{
          u"download http://downloads.zephora.invalid/zephora/Files/main.zip C:\\ZEPHORA\\main.zip",
          u"unpack C:\\ZEPHORA\\main.zip",
          u"download http://downloads.zephora.invalid/zephora/Files/upgrade.zip "
          u"C:\\ZEPHORA\\upgrade.zip"}));
  EXPECT_EQ(Language(), L"");
  EXPECT_EQ(form->ShellLink.LinkFile, u"");
}

// Where "Shell Folders" gives no desktop, the shell is asked; the shortcut
// lands in the folder it names.
TEST_F(InstallationRun, WithoutTheKeyTheShellsDesktopTakesTheShortcut) {
  ExpectTheShortcutInTheShellsDesktop(std::nullopt);
}

// "Shell Folders" closed to the user for the scope's length: its access
// list grants nothing, so it cannot be opened, as Windows (and Wine) refuse
// such a key. The owner may still give the list back.
class ClosedShellFoldersKey {
 public:
  ClosedShellFoldersKey() {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, READ_CONTROL | WRITE_DAC, &key_) !=
        ERROR_SUCCESS) {
      return;
    }
    DWORD size = 0;
    RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    original_.resize(size);
    SECURITY_DESCRIPTOR closed;
    ACL empty;
    closedNow_ = RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data(), &size) ==
                     ERROR_SUCCESS &&
                 InitializeSecurityDescriptor(&closed, SECURITY_DESCRIPTOR_REVISION) &&
                 InitializeAcl(&empty, sizeof empty, ACL_REVISION) &&
                 SetSecurityDescriptorDacl(&closed, TRUE, &empty, FALSE) &&
                 RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &closed) == ERROR_SUCCESS;
  }
  ~ClosedShellFoldersKey() {
    if (closedNow_)
      RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data());
    if (key_ != nullptr)
      RegCloseKey(key_);
  }
  ClosedShellFoldersKey(const ClosedShellFoldersKey&) = delete;
  ClosedShellFoldersKey& operator=(const ClosedShellFoldersKey&) = delete;
  bool Closed() const { return closedNow_; }

 private:
  static constexpr const wchar_t* kShellFolders =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  HKEY key_ = nullptr;
  std::vector<BYTE> original_;
  bool closedNow_ = false;
};

TEST_F(InstallationRun, AShellFoldersKeyThatCannotBeOpenedLeavesTheShortcutToTheShell) {
  const Text desktop = ShellDesktopFolder().Path;
  ASSERT_FALSE(desktop.empty());
  {
    ClosedShellFoldersKey closed;
    ASSERT_TRUE(closed.Closed());
    EXPECT_EQ(ReadShellFoldersDesktop(), std::nullopt);
    Click(form->btNEXT);
  }
  EXPECT_EQ(Now(), (State{kEinde, true, false, false, false}));
  EXPECT_EQ(form->ShellLink.LinkFile, JoinPath(desktop, u"ZEPHORA.lnk"));
  EXPECT_TRUE(FileExists(form->ShellLink.LinkFile));
}

// The "Desktop" value of "Shell Folders" set for the scope's length, and put
// back as it was.
class StoredDesktopValue {
 public:
  explicit StoredDesktopValue(const Text& folder) {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &key_) != ERROR_SUCCESS) {
      return;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key_, L"Desktop", nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      original_.resize(size);
      had_ = RegQueryValueExW(key_, L"Desktop", nullptr, &type_, original_.data(), &size) ==
             ERROR_SUCCESS;
    }
    const std::wstring value = ToWide(folder);
    set_ =
        RegSetValueExW(key_, L"Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  }
  ~StoredDesktopValue() {
    if (key_ == nullptr)
      return;
    if (had_) {
      RegSetValueExW(key_, L"Desktop", 0, type_, original_.data(),
                     static_cast<DWORD>(original_.size()));
    } else {
      RegDeleteValueW(key_, L"Desktop");
    }
    RegCloseKey(key_);
  }
  StoredDesktopValue(const StoredDesktopValue&) = delete;
  StoredDesktopValue& operator=(const StoredDesktopValue&) = delete;
  bool Set() const { return set_; }

 private:
  static constexpr const wchar_t* kShellFolders =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  HKEY key_ = nullptr;
  DWORD type_ = REG_SZ;
  std::vector<BYTE> original_;
  bool had_ = false;
  bool set_ = false;
};

// A stale "Shell Folders" value, as a redirected or moved desktop leaves
// behind, that names an old folder which still exists: the real registry
// and the real shell of the test's Wine prefix. The shell's folder takes the
// shortcut, and nothing lands in the old one.
TEST_F(InstallationRun, AStaleDesktopValueNamingAnExistingFolderLosesToTheShell) {
  const Text desktop = ShellDesktopFolder().Path;
  ASSERT_FALSE(desktop.empty());
  test::TempDir old;
  {
    StoredDesktopValue stale(test::ToText(old.Path()));
    ASSERT_TRUE(stale.Set());
    ASSERT_EQ(ReadShellFoldersDesktop(), test::ToText(old.Path()));
    Click(form->btNEXT);
  }
  EXPECT_EQ(Now(), (State{kEinde, true, false, false, false}));
  EXPECT_EQ(form->ShellLink.LinkFile, JoinPath(desktop, u"ZEPHORA.lnk"));
  EXPECT_TRUE(FileExists(form->ShellLink.LinkFile));
  EXPECT_TRUE(test::Listing(old).empty());
}

// The same folder spelt otherwise (case, a trailing separator) is no
// disagreement: the stored value stands as it is written.
TEST_F(InstallationRun, TheStoredDesktopSpeltOtherwiseThanTheShellsStands) {
  test::TempDir desktop;
  const Text shell = test::ToText(desktop.Path());
  Text stored = shell + u"\\";
  for (char16_t& c : stored) {
    if (c >= u'a' && c <= u'z')
      c = static_cast<char16_t>(c - u'a' + u'A');
  }
  form->InstallWork.ReadDesktop = [&stored] { return std::optional<Text>(stored); };
  form->InstallWork.ShellDesktop = [&shell] { return TShellFolder{shell, S_OK}; };
  Click(form->btNEXT);
  EXPECT_EQ(Now(), (State{kEinde, true, false, false, false}));
  EXPECT_EQ(form->ShellLink.LinkFile, stored + u"ZEPHORA.lnk");
  EXPECT_TRUE(FileExists(form->ShellLink.LinkFile));
}

TEST_F(InstallationRun, WithAnEmptyValueTheShellsDesktopTakesTheShortcut) {
  ExpectTheShortcutInTheShellsDesktop(Text());
}

// No desktop folder at all: the installation is not complete, and the user
// hears why. What came before the shortcut stays done.
TEST_F(InstallationRun, NoDesktopFolderAtAllEndsOnAbortWithTheShortcutMessage) {
  form->InstallWork.ReadDesktop = [] { return std::optional<Text>(); };
  form->InstallWork.ShellDesktop = [] { return TShellFolder{Text(), E_ACCESSDENIED}; };
  EXPECT_EQ(RunAnsweringTheErrorBox(),
            L"Cannot create the shortcut \"ZEPHORA.lnk\". " +
                ToWide(TrimErrorText(SystemErrorText(ERROR_ACCESS_DENIED))));
  EXPECT_EQ(Now(), (State{kAbort, true, false, false, false}));
  EXPECT_EQ(Language(), L"N");
}

TEST_F(InstallationRun, ADesktopFolderThatDoesNotExistEndsOnAbortWithTheShortcutMessage) {
  test::TempDir dir;
  const Text desktop = test::ToText(dir / "no-such-desktop");
  // Both the stored value and the shell name it, as after the folder was
  // removed.
  form->InstallWork.ReadDesktop = [&desktop] { return std::optional<Text>(desktop); };
  form->InstallWork.ShellDesktop = [&desktop] { return TShellFolder{desktop, S_OK}; };
  EXPECT_EQ(RunAnsweringTheErrorBox(),
            L"Cannot create the shortcut \"" + ToWide(desktop) + L"\\ZEPHORA.lnk\". " +
                ToWide(TrimErrorText(SystemErrorText(ERROR_PATH_NOT_FOUND))));
  EXPECT_EQ(Now(), (State{kAbort, true, false, false, false}));
  EXPECT_EQ(Language(), L"N");
  EXPECT_FALSE(DirectoryExists(desktop));
}

TEST_F(InstallationRun, AFailureBeforeThePackagesEndsOnInstallDataAndIsReported) {
  form->InstallWork.MakeFolder = [](const Text&) { throw Exception(u"The folder cannot be made"); };
  // The application's report, with its full stop.
  EXPECT_EQ(RunAnsweringTheErrorBox(), L"The folder cannot be made.");
  EXPECT_EQ(Now(), (State{kInstallData, true, true, false, false}));
  EXPECT_EQ(FrontButton(), form->btFINISH.Handle());
  EXPECT_TRUE(work.empty());
}

TEST_F(Wizard, ThePortFieldOnItsPageFiltersKeystrokes) {
  Click(form->btNEXT);
  Click(form->btNEXT);
  HWND port = form->PROXY_POORT->Handle();
  SetFocus(port);
  Pump();
  for (wchar_t c : std::wstring(L"80a80"))
    SendMessageW(port, WM_CHAR, c, 1);
  if (GetFocus() == port) {
    SetFocus(form->PROXY_SERVER.Handle());
  } else {
    SendMessageW(port, WM_KILLFOCUS, reinterpret_cast<WPARAM>(form->PROXY_SERVER.Handle()), 0);
  }
  Pump();
  EXPECT_EQ(form->PROXY_POORT->DisplayedText(), u"8080");
  EXPECT_EQ(form->PROXY_POORT->Value(), 8080);
  SendMessageW(form->PROXY_SERVER.Handle(), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(L"proxy.example"));
  SendMessageW(form->PROXY_USE.Handle(), BM_CLICK, 0, 0);
  EXPECT_TRUE(form->PROXY_USE.Checked());
  EXPECT_EQ(form->PROXY_SERVER.GetText(), u"proxy.example");
}

TEST_F(Wizard, ProcessMessagesRunsQueuedClicksAndKeepsAQuitRequest) {
  PostMessageW(form->btNEXT.Handle(), BM_CLICK, 0, 0);
  PostQuitMessage(3);
  ProcessMessages();
  EXPECT_EQ(form->PageIndex(), kLocatie);
  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 3u);
}

TEST_F(Wizard, SettingAPageOutsideTheNotebookChangesNothing) {
  form->SetPageIndex(9);
  EXPECT_EQ(form->PageIndex(), kStart);
  form->SetPageIndex(-1);
  EXPECT_EQ(form->PageIndex(), kStart);
}

TEST_F(Wizard, CancelThenYesShowsAbortWithFinishInFront) {
  SeenDialog seen = Cancel({VK_RETURN});
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(Now(), (State{kAbort, true, false, true, false}));
  EXPECT_EQ(FrontButton(), form->btFINISH.Handle());
  // Next still works, but there is no page after the last.
  Click(form->btNEXT);
  EXPECT_EQ(form->PageIndex(), kAbort);
}

TEST_F(Wizard, CancelThenEscapeChangesNothing) {
  Click(form->btNEXT);
  const State before = Now();
  SeenDialog seen = Cancel({VK_ESCAPE});
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(Now(), before);
  EXPECT_EQ(FrontButton(), form->btNEXT.Handle());
}

TEST_F(Wizard, CancelThenNoButtonChangesNothing) {
  const State before = Now();
  // Tab moves from Yes to No; Space presses it.
  SeenDialog seen = Cancel({VK_TAB, VK_SPACE});
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(Now(), before);
}

TEST_F(Wizard, CancelOnEindeThenYesShowsAbort) {
  form->SetPageIndex(kEinde);
  form->btFINISH.BringToFront();
  form->btNEXT.SetEnabled(false);
  Cancel({VK_RETURN});
  EXPECT_EQ(Now(), (State{kAbort, true, false, false, false}));
}

TEST_F(Wizard, ConfirmationAsksWithOneCarriageReturnAndLibraryButtons) {
  SeenDialog seen = Cancel({VK_ESCAPE});
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, L"WAARSCHUWING");
  EXPECT_EQ(seen.Child(IDYES).text, L"&Yes");
  EXPECT_EQ(seen.Child(IDNO).text, L"&No");
  std::wstring question;
  bool icon = false;
  for (const auto& child : seen.children) {
    if (child.className == L"Static" || child.className == L"STATIC") {
      if (child.text.empty())
        icon = true;
      if (!child.text.empty())
        question = child.text;
    }
  }
  EXPECT_TRUE(icon);
  EXPECT_EQ(question, L"De installatie is niet voltooid.\rBent u zeker ?");
  EXPECT_EQ(std::count(question.begin(), question.end(), L'\r'), 1);
  EXPECT_EQ(question.find(L'\n'), std::wstring::npos);
}

TEST_F(Wizard, ConfirmationTextsPassThroughTheCatalogOfTheLanguage) {
  const Text before = DefaultInstance()->GetCurrentLanguage();
  UseLanguage(u"zz");
  SeenDialog seen = Cancel({VK_ESCAPE});
  UseLanguage(before);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.caption, L"ATTENTION");
  EXPECT_EQ(seen.Child(IDYES).text, L"&Oui");
  EXPECT_EQ(seen.Child(IDNO).text, L"&Non");
  bool asked = false;
  for (const auto& child : seen.children) {
    asked = asked ||
            child.text == L"L'installation n'est pas termin\u00e9e.\r\u00cates-vous s\u00fbr ?";
  }
  EXPECT_TRUE(asked);
  EXPECT_EQ(form->PageIndex(), kStart);
}

TEST_F(Wizard, ErrorBoxButtonIsALibraryText) {
  const Text before = DefaultInstance()->GetCurrentLanguage();
  UseLanguage(u"zz");
  DialogAnswerer answerer(L"#32770", {VK_RETURN});
  ErrorDialog(form->Handle(), u"Fout");
  const SeenDialog& seen = answerer.Result();
  UseLanguage(before);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.Child(IDOK).text, L"D'accord");
  // The message itself is shown as given, never translated.
  EXPECT_EQ(seen.Child(0xFFFF).text, L"Fout");
}

TEST_F(Wizard, AltAPressesCancel) {
  DialogAnswerer answerer(kConfirmDialogClass, {VK_ESCAPE});
  SetFocus(form->btNEXT.Handle());
  PostMessageW(form->btNEXT.Handle(), WM_SYSKEYDOWN, 'A', 0x20000001);
  PostMessageW(form->btNEXT.Handle(), WM_SYSCHAR, 'a', 0x20000001);
  Pump();
  EXPECT_TRUE(answerer.Result().found);
  EXPECT_EQ(form->PageIndex(), kStart);
}

TEST_F(Wizard, FinishClosesTheWindow) {
  HWND window = form->Handle();
  form->btFINISH.BringToFront();
  Click(form->btFINISH);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(form->Handle(), nullptr);
}

TEST_F(Wizard, WaitCursorCoversTheWindow) {
  form->SetWaitCursor(true);
  SendMessageW(form->btNEXT.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(form->btNEXT.Handle()),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  form->SetWaitCursor(false);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

TEST_F(Wizard, ErrorBoxIsCaptionedWithTheApplicationTitle) {
  DialogAnswerer answerer(L"#32770", {VK_RETURN});
  ErrorDialog(form->Handle(), u"Socket Error # 10061\r\nConnection refused");
  const SeenDialog& seen = answerer.Result();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(FromWide(seen.caption), ApplicationTitle());
  EXPECT_NE(seen.caption, L"Programma - Setup");
  EXPECT_EQ(seen.owner, form->Handle());
  // Modal to the wizard only: not in front of every other program.
  EXPECT_EQ(seen.exStyle & WS_EX_TOPMOST, 0);
  EXPECT_EQ(seen.Child(IDOK).text, L"OK");
  bool textShown = false;
  for (const auto& child : seen.children) {
    textShown = textShown || child.text == L"Socket Error # 10061\r\nConnection refused";
  }
  EXPECT_TRUE(textShown);
}

// A second top-level window of the thread, activated over the wizard.
unique_hwnd ActivateAnotherWindow() {
  unique_hwnd other(CreateWindowExW(0, L"STATIC", L"another window",
                                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                    nullptr, nullptr, nullptr));
  SetActiveWindow(other.get());
  return other;
}

// The question and the error box took their owner from GetActiveWindow():
// whichever window of the thread was activated last, which need not be the
// wizard, and which would then be disabled in its place, or go away while
// the box waits for an answer.
TEST_F(Wizard, RegressionDialogsAreOwnedByTheWizardNotByTheActiveWindow) {
  const unique_hwnd other = ActivateAnotherWindow();
  ASSERT_EQ(GetActiveWindow(), other.get());
  DialogAnswerer question(kConfirmDialogClass, {VK_ESCAPE});
  form->btCANCELClick();
  ASSERT_TRUE(question.Result().found);
  EXPECT_EQ(question.Result().owner, form->Handle());

  SetActiveWindow(other.get());
  ASSERT_EQ(GetActiveWindow(), other.get());
  DialogAnswerer error(L"#32770", {VK_RETURN});
  form->ShowEndPage(kAbort, u"Fout");
  ASSERT_TRUE(error.Result().found);
  EXPECT_EQ(error.Result().owner, form->Handle());
}

// A window whose handler fails, as a button handler may.
class FailingWindow : public Window {
 public:
  FailingWindow() {
    Create(ClassInfo{L"ZephoraFailingWindow"}, 0, WS_OVERLAPPEDWINDOW, L"", RECT{0, 0, 50, 50},
           nullptr);
  }
  int handled = 0;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_APP) {
      ++handled;
      try {
        throw Exception(u"Cannot open file C:\\x");
      } catch (...) {
        std::throw_with_nested(Exception(u"Installing failed"));
      }
    }
    return Default(message, wParam, lParam);
  }
};

TEST(FailureReport, AnExceptionInAHandlerIsReportedAndTheWindowKeepsRunning) {
  TApplication application(ExecutablePath());
  FailingWindow window;
  for (int round = 0; round < 2; ++round) {
    DialogAnswerer answerer(L"#32770", {VK_RETURN});
    EXPECT_EQ(SendMessageW(window.Handle(), WM_APP, 0, 0), 0);
    const SeenDialog& seen = answerer.Result();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(FromWide(seen.caption), ApplicationTitle());
    EXPECT_EQ(seen.Child(IDOK).text, L"OK");
    bool shown = false;
    for (const auto& child : seen.children)
      shown = shown || child.text == L"Cannot open file C:\\x.";
    EXPECT_TRUE(shown);
  }
  EXPECT_EQ(window.handled, 2);
  EXPECT_TRUE(IsWindow(window.Handle()));
}

TEST(FailureReport, RegressionIsOwnedByTheWindowWhoseHandlerFailed) {
  TApplication application(ExecutablePath());
  FailingWindow window;
  const unique_hwnd other = ActivateAnotherWindow();
  ASSERT_EQ(GetActiveWindow(), other.get());
  DialogAnswerer answerer(L"#32770", {VK_RETURN});
  SendMessageW(window.Handle(), WM_APP, 0, 0);
  ASSERT_TRUE(answerer.Result().found);
  EXPECT_EQ(answerer.Result().owner, window.Handle());
}

}  // namespace
}  // namespace zephora
