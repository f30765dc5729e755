// The input controls: their rules as plain functions, and the controls
// themselves in real windows fed real messages.
#include <windows.h>

#include <dbt.h>
#include <shlobj.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "controls/directory_edit.h"
#include "controls/drive_combo.h"
#include "controls/speed_bar.h"
#include "controls/validate_edit.h"
#include "controls/validate_rules.h"
#include "platform/process.h"
#include "platform/wide.h"
#include "tests/support/ui_test_support.h"

namespace zephora {
namespace {

using test::PumpMessages;

TEST(ValidateRules, AcceptsDigitsAnywhereAndASignOnlyAtTheStart) {
  struct Case {
    const char16_t* text;
    std::size_t caret;
    bool selection;
    char16_t c;
    bool accepted;
  } cases[] = {
      {u"", 0, false, u'8', true},      {u"80", 1, false, u'5', true},
      {u"80", 2, false, u'a', false},   {u"80", 2, false, u' ', false},
      {u"", 0, false, u'+', true},      {u"", 0, false, u'-', true},
      {u"5", 1, false, u'-', false},    {u"+5", 0, false, u'+', false},
      {u"+5", 0, true, u'+', true},     {u"+5", 0, false, u'-', true},
      {u"-5", 0, false, u'-', false},   {u"-5", 0, true, u'-', true},
      {u"12", 0, false, u'\b', true},   {u"12", 2, false, u'\r', true},
      {u"12", 1, false, u'\x16', true}, {u"12", 1, false, u'.', false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(validate::AcceptsChar(c.text, c.caret, c.selection, c.c), c.accepted)
        << "text '" << ToUtf8(c.text) << "' caret " << c.caret << " char " << int(c.c);
  }
}

TEST(ValidateRules, PasteKeepsOnlyWhatCouldHaveBeenTyped) {
  EXPECT_EQ(validate::FilterText(u"80a80"), u"8080");
  EXPECT_EQ(validate::FilterText(u"+5"), u"+5");
  EXPECT_EQ(validate::FilterText(u"5+"), u"5");
  EXPECT_EQ(validate::FilterText(u"--5"), u"-5");
  EXPECT_EQ(validate::FilterText(u"-+5"), u"-5");
  EXPECT_EQ(validate::FilterText(u" 12 ab-3\r\n"), u"123");
}

TEST(ValidateRules, ParsesSigned64BitDecimalOrGivesZero) {
  const std::pair<const char16_t*, std::int64_t> cases[] = {
      {u"", 0},
      {u"-", 0},
      {u"+", 0},
      {u"8080", 8080},
      {u"007", 7},
      {u"+5", 5},
      {u"-12", -12},
      {u"65536", 65536},
      {u"-+5", 0},
      {u"5-", 0},
      {u"99999999999999999999", 0},
      {u"9223372036854775807", INT64_MAX},
      {u"9223372036854775808", 0},
      {u"-9223372036854775808", INT64_MIN},
      {u"-9223372036854775809", 0},
  };
  for (auto [text, value] : cases) {
    EXPECT_EQ(validate::IntegerValue(text), value) << ToUtf8(text);
  }
  EXPECT_EQ(validate::DisplayText(u"007"), u"7");
  EXPECT_EQ(validate::DisplayText(u"-"), u"0");
  EXPECT_EQ(validate::DisplayText(u""), u"0");
}

// A top-level host window for one control at a time.
class ControlTest : public testing::Test {
 protected:
  void SetUp() override {
    host = std::make_unique<TPanel>(TPanel::Args{nullptr, RECT{100, 100, 700, 400}, L"host"});
    ShowWindow(host->Handle(), SW_SHOW);
    other = CreateWindowExW(0, L"BUTTON", L"other", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 400, 10, 80,
                            24, host->Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    PumpMessages();
  }
  void TearDown() override {
    host.reset();
    PumpMessages();
  }
  static void Type(HWND window, const std::u16string& keys) {
    for (char16_t c : keys)
      SendMessageW(window, WM_CHAR, c, 1);
    PumpMessages();
  }

  std::unique_ptr<TPanel> host;
  HWND other = nullptr;
};

class PortField : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    field = std::make_unique<TValidateEdit>(
        TValidateEdit::Args{host->Handle(), 10, RECT{10, 10, 110, 36}, [this] { ++changes; }});
    SetFocus(field->Handle());
    PumpMessages();
  }
  // Another test program on the same display may take the focus away at
  // any time; the field must then still see that it lost it.
  void LeaveField() {
    if (GetFocus() == field->Handle()) {
      SetFocus(other);
    } else {
      SendMessageW(field->Handle(), WM_KILLFOCUS, reinterpret_cast<WPARAM>(other), 0);
    }
    PumpMessages();
  }
  std::unique_ptr<TValidateEdit> field;
  int changes = 0;
};

TEST_F(PortField, UntouchedShowsZeroAndGivesZero) {
  LeaveField();
  EXPECT_EQ(field->DisplayedText(), u"0");
  EXPECT_EQ(field->Value(), 0);
  EXPECT_NE(GetWindowLongPtrW(field->Handle(), GWL_STYLE) & ES_RIGHT, 0);
}

TEST_F(PortField, DropsALetterBetweenDigits) {
  SendMessageW(field->Handle(), EM_SETSEL, 0, -1);
  Type(field->Handle(), u"80a80");
  EXPECT_EQ(field->DisplayedText(), u"8080");
  EXPECT_EQ(field->EditText(), u"8080");
  EXPECT_GT(changes, 0);
  LeaveField();
  EXPECT_EQ(field->Value(), 8080);
}

TEST_F(PortField, ALoneMinusGivesZero) {
  SendMessageW(field->Handle(), EM_SETSEL, 0, -1);
  Type(field->Handle(), u"-");
  EXPECT_EQ(field->EditText(), u"-");
  EXPECT_EQ(field->Value(), 0);
  LeaveField();
  EXPECT_EQ(field->DisplayedText(), u"0");
}

TEST_F(PortField, TwentyNinesGiveZero) {
  SendMessageW(field->Handle(), EM_SETSEL, 0, -1);
  Type(field->Handle(), u"99999999999999999999");
  EXPECT_EQ(field->EditText(), u"99999999999999999999");
  EXPECT_EQ(field->Value(), 0);
  LeaveField();
  EXPECT_EQ(field->DisplayedText(), u"0");
}

TEST_F(PortField, ASecondPlusAtTheStartNeedsASelection) {
  SendMessageW(field->Handle(), EM_SETSEL, 0, -1);
  Type(field->Handle(), u"+5");
  SendMessageW(field->Handle(), EM_SETSEL, 0, 0);
  Type(field->Handle(), u"+");
  EXPECT_EQ(field->EditText(), u"+5");
  SendMessageW(field->Handle(), EM_SETSEL, 0, 1);
  Type(field->Handle(), u"+");
  EXPECT_EQ(field->EditText(), u"+5");
  SendMessageW(field->Handle(), EM_SETSEL, 2, 2);
  Type(field->Handle(), u"-7");
  EXPECT_EQ(field->EditText(), u"+57");
  LeaveField();
  EXPECT_EQ(field->DisplayedText(), u"57");
  EXPECT_EQ(field->Value(), 57);
}

TEST_F(PortField, CommitShowsTheDecimalFormAndEscapeRestoresIt) {
  SendMessageW(field->Handle(), EM_SETSEL, 0, -1);
  Type(field->Handle(), u"007");
  LeaveField();
  EXPECT_EQ(field->DisplayedText(), u"7");
  EXPECT_EQ(field->EditText(), u"007");
  EXPECT_EQ(field->Value(), 7);

  SetFocus(field->Handle());
  SendMessageW(field->Handle(), EM_SETSEL, 0, -1);
  Type(field->Handle(), u"65536");
  EXPECT_EQ(field->Value(), 65536);
  SendMessageW(field->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
  SendMessageW(field->Handle(), WM_CHAR, VK_ESCAPE, 1);
  PumpMessages();
  EXPECT_EQ(field->DisplayedText(), u"7");
  EXPECT_EQ(field->Value(), 7);
  DWORD start = 1;
  DWORD end = 0;
  SendMessageW(field->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, 1u);
}

TEST_F(PortField, PasteIsFilteredCharacterByCharacter) {
  ASSERT_TRUE(OpenClipboard(host->Handle()));
  EmptyClipboard();
  const wchar_t pasted[] = L"12ab-3";
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof pasted);
  std::memcpy(GlobalLock(memory), pasted, sizeof pasted);
  GlobalUnlock(memory);
  SetClipboardData(CF_UNICODETEXT, memory);
  CloseClipboard();

  SendMessageW(field->Handle(), EM_SETSEL, 0, -1);
  SendMessageW(field->Handle(), WM_PASTE, 0, 0);
  PumpMessages();
  EXPECT_EQ(field->EditText(), u"123");
  EXPECT_EQ(field->DisplayedText(), u"123");
  EXPECT_EQ(field->Value(), 123);
}

// Wine's mount manager takes new drives through an extension of its own
// (the way Wine's configuration tool sets drives); the drive's letter and
// type are then seen by every process at once.
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(static_cast<DWORD>('m'), 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
struct WineUnixDrive {
  ULONG size;
  ULONG type;
  ULONG fsType;
  DWORD serial;
  ULONGLONG unixDevice;
  WCHAR letter;
  USHORT mountPointOffset;
  USHORT deviceOffset;
  USHORT labelOffset;
};

// Defines (or, with an empty path, removes) a drive of the given type.
bool DefineWineDrive(wchar_t letter, const std::string& unixPath, UINT type) {
  HANDLE manager =
      CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE)
    return false;
  std::string buffer(sizeof(WineUnixDrive) + unixPath.size() + 1, '\0');
  auto* drive = reinterpret_cast<WineUnixDrive*>(buffer.data());
  drive->size = static_cast<ULONG>(buffer.size());
  drive->type = unixPath.empty() ? DRIVE_NO_ROOT_DIR : type;
  drive->letter = static_cast<WCHAR>(letter + 32);
  if (!unixPath.empty()) {
    drive->mountPointOffset = sizeof(WineUnixDrive);
    std::memcpy(buffer.data() + sizeof(WineUnixDrive), unixPath.data(), unixPath.size());
  }
  DWORD returned = 0;
  BOOL done = DeviceIoControl(manager, kDefineUnixDrive, buffer.data(),
                              static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  CloseHandle(manager);
  return done != FALSE;
}

wchar_t FreeDriveLetter() {
  wchar_t letter = L'M';
  while (GetLogicalDrives() & (1u << (letter - L'A')))
    ++letter;
  return letter;
}

// Sends a volume broadcast to this thread's top-level windows, as the
// system does when a drive comes or goes.
void BroadcastVolume(WPARAM event, wchar_t letter) {
  DEV_BROADCAST_VOLUME volume{};
  volume.dbcv_size = sizeof volume;
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_unitmask = 1u << (letter - L'A');
  struct Data {
    WPARAM event;
    DEV_BROADCAST_VOLUME* volume;
  } data{event, &volume};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM raw) -> BOOL {
        auto* d = reinterpret_cast<Data*>(raw);
        SendMessageW(window, WM_DEVICECHANGE, d->event, reinterpret_cast<LPARAM>(d->volume));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&data));
  PumpMessages();
}

class DrivePicker : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    picker = std::make_unique<TDriveCombo>(TDriveCombo::Args{host->Handle(),
                                                             11,
                                                             RECT{10, 10, 300, 200},
                                                             {TDriveType::dtFixed},
                                                             [this] { ++changes; },
                                                             [this] { ++driveChanges; }});
    PumpMessages();
  }
  std::unique_ptr<TDriveCombo> picker;
  int changes = 0;
  int driveChanges = 0;
};

TEST_F(DrivePicker, ListsWinesFixedDrivesAndSelectsTheFirst) {
  const auto& letters = picker->Letters();
  ASSERT_GE(letters.size(), 2u);
  EXPECT_EQ(letters.front(), u'C');
  EXPECT_EQ(letters.back(), u'Z');
  for (char16_t letter : letters) {
    wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', L'\0'};
    EXPECT_EQ(GetDriveTypeW(root), static_cast<UINT>(DRIVE_FIXED)) << char(letter);
  }
  EXPECT_EQ(picker->Drive(), u'C');
  EXPECT_EQ(picker->ItemIndex(), 0);
  // The shell's name, with its leading blank trimmed.
  EXPECT_EQ(picker->DisplayName().find(u"(C:)"), 0u);
  EXPECT_GT(SendMessageW(picker->Handle(), CB_GETITEMHEIGHT, 0, 0), 0);
  EXPECT_NE(GetWindowLongPtrW(picker->Handle(), GWL_STYLE) & CBS_OWNERDRAWFIXED, 0);
}

TEST_F(DrivePicker, SelectsByLetterIgnoringCaseAndIgnoresUnlistedLetters) {
  changes = 0;
  picker->SetDrive(u'z');
  EXPECT_EQ(picker->Drive(), u'Z');
  EXPECT_EQ(picker->ItemIndex(), static_cast<int>(picker->Letters().size()) - 1);
  EXPECT_EQ(picker->DisplayName().find(u"(Z:)"), 0u);
  EXPECT_GT(changes, 0);

  changes = 0;
  picker->SetDrive(u'Z');
  picker->SetDrive(u'Q');
  picker->SetDrive(u'1');
  EXPECT_EQ(picker->Drive(), u'Z');
  EXPECT_EQ(changes, 0);
}

TEST_F(DrivePicker, TheUserPickingAnEntrySelectsItsDrive) {
  SendMessageW(picker->Handle(), CB_SETCURSEL, picker->Letters().size() - 1, 0);
  SendMessageW(host->Handle(), WM_COMMAND, MAKEWPARAM(11, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(picker->Handle()));
  EXPECT_EQ(picker->Drive(), u'Z');
}

TEST_F(DrivePicker, AnEmptySetOfKindsMeansFixedDrives) {
  picker->SetDriveTypes({});
  EXPECT_EQ(picker->DriveTypes(), (TDriveTypes{TDriveType::dtFixed}));
  EXPECT_EQ(picker->Drive(), u'C');
}

TEST_F(DrivePicker, AVolumeArrivingWhileRunningJoinsTheListInLetterOrder) {
  const auto prefix = EnvironmentVariable(u"WINEPREFIX");
  ASSERT_TRUE(prefix.has_value()) << "runs under Wine";
  const wchar_t letter = FreeDriveLetter();
  picker->SetDrive(u'Z');
  const std::size_t before = picker->Letters().size();
  ASSERT_TRUE(DefineWineDrive(letter, ToUtf8(*prefix) + "/drive_c", DRIVE_FIXED));
  BroadcastVolume(DBT_DEVICEARRIVAL, letter);
  const std::vector<char16_t> arrived = picker->Letters();
  const int shown = picker->ItemIndex();
  const char16_t driveAfterArrival = picker->Drive();
  const int changesAfterArrival = driveChanges;

  DefineWineDrive(letter, "", 0);
  BroadcastVolume(DBT_DEVICEREMOVECOMPLETE, letter);

  ASSERT_EQ(arrived.size(), before + 1);
  EXPECT_NE(std::find(arrived.begin(), arrived.end(), letter), arrived.end());
  EXPECT_TRUE(std::is_sorted(arrived.begin(), arrived.end()));
  EXPECT_EQ(driveAfterArrival, u'Z');
  // Z moved one place down; the shown selection follows it.
  EXPECT_EQ(shown, static_cast<int>(arrived.size()) - 1);
  EXPECT_GE(changesAfterArrival, 1);
  EXPECT_GT(driveChanges, changesAfterArrival);
  EXPECT_EQ(picker->Letters().size(), before);
  EXPECT_EQ(picker->Drive(), u'Z');
}

TEST_F(DrivePicker, ListsOnlyTheKindsItIsGiven) {
  const auto prefix = EnvironmentVariable(u"WINEPREFIX");
  ASSERT_TRUE(prefix.has_value()) << "runs under Wine";
  const wchar_t letter = FreeDriveLetter();
  ASSERT_TRUE(DefineWineDrive(letter, ToUtf8(*prefix) + "/drive_c", DRIVE_CDROM));
  wchar_t root[] = {letter, L':', L'\\', L'\0'};
  const UINT type = GetDriveTypeW(root);
  BroadcastVolume(DBT_DEVICEARRIVAL, letter);
  const std::vector<char16_t> fixedOnly = picker->Letters();
  picker->SetDriveTypes({TDriveType::dtFixed, TDriveType::dtCDROM});
  const std::vector<char16_t> withOptical = picker->Letters();
  DefineWineDrive(letter, "", 0);

  EXPECT_EQ(type, static_cast<UINT>(DRIVE_CDROM));
  EXPECT_EQ(std::find(fixedOnly.begin(), fixedOnly.end(), letter), fixedOnly.end());
  EXPECT_NE(std::find(withOptical.begin(), withOptical.end(), letter), withOptical.end());
  EXPECT_EQ(picker->Drive(), u'C');
}

TEST_F(DrivePicker, ProbesWithoutErrorBoxesAndRestoresTheErrorMode) {
  const UINT before = SetErrorMode(SEM_FAILCRITICALERRORS);
  picker->SetDriveTypes({TDriveType::dtFixed, TDriveType::dtRemovable, TDriveType::dtCDROM});
  EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_FAILCRITICALERRORS));
  SetErrorMode(before);
}

TEST_F(DrivePicker, WithoutDriveCTheFirstListedDriveStaysSelected) {
  const auto prefix = EnvironmentVariable(u"WINEPREFIX");
  ASSERT_TRUE(prefix.has_value()) << "runs under Wine";
  const wchar_t letter = FreeDriveLetter();
  ASSERT_TRUE(DefineWineDrive(letter, ToUtf8(*prefix) + "/drive_c", DRIVE_CDROM));
  // A picker of optical drives, as if the machine's only drive of its
  // kinds were the new one; the wizard then asks for C.
  TDriveCombo optical(TDriveCombo::Args{
      host->Handle(), 13, RECT{10, 50, 300, 200}, {TDriveType::dtCDROM}, nullptr, nullptr});
  const char16_t first = optical.Drive();
  optical.SetDrive(u'C');
  const char16_t afterC = optical.Drive();
  TDriveCombo none(TDriveCombo::Args{
      host->Handle(), 14, RECT{10, 90, 300, 200}, {TDriveType::dtRamDisk}, nullptr, nullptr});
  none.SetDrive(u'C');
  DefineWineDrive(letter, "", 0);

  EXPECT_EQ(first, letter);
  EXPECT_EQ(afterC, letter);
  EXPECT_EQ(none.Drive(), u'\0');
  EXPECT_EQ(none.DisplayName(), u"");
  EXPECT_EQ(none.ItemIndex(), -1);
}

TEST_F(DrivePicker, OtherDeviceBroadcastsAreIgnored) {
  DEV_BROADCAST_HDR port{};
  port.dbch_size = sizeof port;
  port.dbch_devicetype = DBT_DEVTYP_PORT;
  SendMessageW(host->Handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&port));
  SendMessageW(host->Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  EXPECT_EQ(driveChanges, 0);
}

TEST_F(DrivePicker, DrawsTheSelectedRowHighlighted) {
  RedrawWindow(picker->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  SetFocus(picker->Handle());
  PumpMessages();
  RECT client{};
  GetClientRect(picker->Handle(), &client);
  HDC dc = GetDC(picker->Handle());
  // Left of the icon the row keeps the window colour.
  EXPECT_EQ(GetPixel(dc, 4, client.bottom / 2), GetSysColor(COLOR_WINDOW));
  ReleaseDC(picker->Handle(), dc);
}

class FolderField : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    field = std::make_unique<TDirectoryEdit>(
        TDirectoryEdit::Args{host->Handle(), 12, RECT{10, 10, 400, 36}, L"GegevensLocatie", 27,
                             [this] { ++changes; }, [this] { ++browses; }});
    PumpMessages();
  }
  std::unique_ptr<TDirectoryEdit> field;
  int changes = 0;
  int browses = 0;
};

TEST_F(FolderField, HoldsItsTextAndABrowseButtonInsideItsRightEdge) {
  EXPECT_EQ(field->GetText(), u"GegevensLocatie");
  RECT client{};
  GetClientRect(field->Handle(), &client);
  RECT button{};
  GetWindowRect(field->ButtonHandle(), &button);
  MapWindowPoints(nullptr, field->Handle(), reinterpret_cast<POINT*>(&button), 2);
  EXPECT_EQ(button.right, client.right);
  EXPECT_EQ(button.right - button.left, 27);
  EXPECT_NE(GetWindowLongPtrW(field->Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  field->SetText(u"C:\\ZEPHORA\\");
  PumpMessages();
  EXPECT_EQ(field->GetText(), u"C:\\ZEPHORA\\");
  EXPECT_GT(changes, 0);
}

TEST_F(FolderField, TakesTheFirstDroppedFile) {
  const wchar_t names[] = L"C:\\windows\0C:\\users\0";
  const std::size_t size = sizeof(DROPFILES) + sizeof names;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names, sizeof names);
  GlobalUnlock(memory);
  SendMessageW(field->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  EXPECT_EQ(field->GetText(), u"C:\\windows");
}

TEST_F(FolderField, AltDownOpensTheFolderBrowser) {
  test::DialogAnswerer answerer(L"#32770", {VK_ESCAPE});
  SetFocus(field->Handle());
  SendMessageW(field->Handle(), WM_SYSKEYDOWN, VK_DOWN, 0x20000001);
  EXPECT_TRUE(answerer.Result().found);
  EXPECT_EQ(browses, 1);
  EXPECT_EQ(field->GetText(), u"GegevensLocatie");
}

TEST_F(ControlTest, SpeedBarDrawsAnEtchedLineAlongItsTop) {
  TSpeedBar bar(TSpeedBar::Args{host->Handle(), RECT{0, 100, 400, 153}});
  RedrawWindow(bar.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  HDC dc = GetDC(bar.Handle());
  for (int x : {0, 200, 399}) {
    EXPECT_EQ(GetPixel(dc, x, 0), GetSysColor(COLOR_BTNSHADOW)) << x;
    EXPECT_EQ(GetPixel(dc, x, 1), GetSysColor(COLOR_BTNHIGHLIGHT)) << x;
    EXPECT_EQ(GetPixel(dc, x, 2), GetSysColor(COLOR_BTNFACE)) << x;
  }
  ReleaseDC(bar.Handle(), dc);
}

}  // namespace
}  // namespace zephora
