// The wizard for users of a contrast theme, of the keyboard alone and of a
// screen reader, in a program with SETUP.EXE's manifest (the common
// controls of version 6, themed as SETUP.EXE's are). Under Wine, which has
// no contrast themes: the system's colours are set with SetSysColors, as a
// theme sets them, and put back after each test.
#include <windows.h>

#include <gtest/gtest.h>
#include <oleacc.h>

#include <cwctype>
#include <string>
#include <thread>
#include <vector>

#include "app/ufrmMain.h"
#include "controls/common_controls.h"
#include "controls/confirm_dialog.h"
#include "tests/app/wizard_test.h"
#include "tests/support/ui_test_support.h"

namespace zephora {
namespace {

using test::DialogAnswerer;
using test::SeenDialog;

constexpr wchar_t kQuestionText[] = L"De installatie is niet voltooid.\rBent u zeker ?";

// The question window of this process, once its text is there (the window
// exists a moment before its children do), or null after ten seconds.
// ctest runs other wizards beside this one on the same desktop, whose
// questions FindWindowW would find as well.
HWND WaitForOwnQuestion() {
  for (int i = 0; i < 500; ++i) {
    for (HWND window = FindWindowExW(nullptr, nullptr, kConfirmDialogClass, nullptr);
         window != nullptr; window = FindWindowExW(nullptr, window, kConfirmDialogClass, nullptr)) {
      DWORD process = 0;
      GetWindowThreadProcessId(window, &process);
      if (process == GetCurrentProcessId() &&
          FindWindowExW(window, nullptr, L"Static", kQuestionText) != nullptr) {
        return window;
      }
    }
    Sleep(20);
  }
  return nullptr;
}

// comctl32 is loaded at first use from System32 rather than imported; the
// manifest's activation context still gives the side-by-side version 6.
// Windows' version 6 says 6 in DllGetVersion; Wine's says 5.81 in both of
// its builds, so there the file's place in the side-by-side store, under the
// assembly of version 6.0, is what proves it. Both are asked everywhere.
TEST(CommonControls, LoadedAtFirstUseAreTheManifestsVersion6) {
  const comctl::Version version = comctl::LoadedVersion();
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  if (wine) {
    EXPECT_EQ(version.major, 5u) << "Wine now reports its version: drop this branch";
  } else {
    EXPECT_EQ(version.major, 6u);
  }
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(comctl::Module(), path, MAX_PATH);
  std::wstring lower(path);
  for (wchar_t& c : lower)
    c = static_cast<wchar_t>(std::towlower(c));
  EXPECT_NE(lower.find(L"\\winsxs\\"), std::wstring::npos) << lower;
  EXPECT_NE(lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."),
            std::wstring::npos)
      << lower;
}

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// What a WM_CTLCOLOR* answer sets up for a control's drawing.
struct ColourAnswer {
  COLORREF text;
  COLORREF background;
  COLORREF brush;
};

ColourAnswer AskColours(HWND parent, UINT message, HWND control) {
  HDC dc = CreateCompatibleDC(nullptr);
  auto brush = reinterpret_cast<HBRUSH>(SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(control)));
  LOGBRUSH logical{};
  GetObjectW(brush, sizeof logical, &logical);
  ColourAnswer answer{GetTextColor(dc), GetBkColor(dc), logical.lbColor};
  DeleteDC(dc);
  return answer;
}

bool operator==(const ColourAnswer& a, const ColourAnswer& b) {
  return a.text == b.text && a.background == b.background && a.brush == b.brush;
}

class Contrast : public test::WizardTest {
 protected:
  void SetUp() override {
    savedWindow_ = GetSysColor(COLOR_WINDOW);
    savedText_ = GetSysColor(COLOR_WINDOWTEXT);
    WizardTest::SetUp();
  }
  void TearDown() override {
    SetPair(savedWindow_, savedText_);
    WizardTest::TearDown();
  }
  // The pair of a dark contrast theme (window black, its text white), or
  // any other; SetSysColors tells every top-level window, as Windows does
  // when the user picks a theme.
  void SetPair(COLORREF window, COLORREF text) {
    const INT elements[] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    const COLORREF colours[] = {window, text};
    ASSERT_TRUE(SetSysColors(2, elements, colours));
    Pump();
  }
  // Every answer for a label, radio button and check box on a page and
  // beside the pages.
  void ExpectColours(COLORREF window, COLORREF text) {
    const ColourAnswer expected{text, window, window};
    HWND proxyPage = form->Notebook1->PageHandle(kProxySettings);
    EXPECT_EQ(AskColours(proxyPage, WM_CTLCOLORBTN, form->PROXY_USE.Handle()), expected);
    EXPECT_EQ(AskColours(proxyPage, WM_CTLCOLORSTATIC, form->PROXY_USE.Handle()), expected);
    EXPECT_EQ(AskColours(form->Notebook1->PageHandle(kSelectTaal), WM_CTLCOLORSTATIC,
                         form->rbNEDERLANDS.Handle()),
              expected);
    EXPECT_EQ(AskColours(form->Notebook1->PageHandle(kStart), WM_CTLCOLORSTATIC,
                         form->Titles[kStart].Handle()),
              expected);
    EXPECT_EQ(AskColours(form->Handle(), WM_CTLCOLORSTATIC, form->Image1.Handle()), expected);
  }
  // The colour on the screen at a point of the page shown, in page pixels,
  // once what is marked for drawing is drawn (nothing more is asked for).
  COLORREF PagePixel(int x, int y) {
    HWND page = form->Notebook1->PageHandle(form->PageIndex());
    UpdateWindow(form->Handle());
    HDC dc = GetDC(page);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(page, dc);
    return colour;
  }

  // The picture area beside the pages, which holds no picture.
  COLORREF ImagePixel() {
    UpdateWindow(form->Handle());
    HDC dc = GetDC(form->Image1.Handle());
    const COLORREF colour = GetPixel(dc, 10, 10);
    ReleaseDC(form->Image1.Handle(), dc);
    return colour;
  }

 private:
  COLORREF savedWindow_ = 0;
  COLORREF savedText_ = 0;
};

TEST_F(Contrast, TheNormalLookIsWhiteAndBlack) {
  ASSERT_EQ(GetSysColor(COLOR_WINDOW), kWhite);
  ASSERT_EQ(GetSysColor(COLOR_WINDOWTEXT), kBlack);
  ExpectColours(kWhite, kBlack);
  EXPECT_EQ(PagePixel(4, 4), kWhite);
  EXPECT_EQ(ImagePixel(), kWhite);
}

TEST_F(Contrast, EveryAnswerFollowsADarkPairAndThePagesAreDrawnAnew) {
  SetPair(kBlack, kWhite);
  ExpectColours(kBlack, kWhite);
  // Drawn anew without being asked: the page's background and its title's
  // text in the theme's colours.
  EXPECT_EQ(PagePixel(4, 4), kBlack);
  EXPECT_EQ(ImagePixel(), kBlack);
  RECT title{};
  GetWindowRect(form->Titles[kStart].Handle(), &title);
  HDC dc = GetDC(form->Titles[kStart].Handle());
  int light = 0;
  for (int x = 0; x < title.right - title.left; ++x) {
    for (int y = 0; y < title.bottom - title.top; ++y)
      light += GetPixel(dc, x, y) == kWhite ? 1 : 0;
  }
  ReleaseDC(form->Titles[kStart].Handle(), dc);
  EXPECT_GT(light, 20);
}

TEST_F(Contrast, AnotherPairAfterTheFirstIsFollowedToo) {
  SetPair(kBlack, kWhite);
  SetPair(RGB(0, 0, 64), RGB(255, 255, 0));
  ExpectColours(RGB(0, 0, 64), RGB(255, 255, 0));
  EXPECT_EQ(PagePixel(4, 4), RGB(0, 0, 64));
  EXPECT_EQ(ImagePixel(), RGB(0, 0, 64));
}

// The question's text in the dialog's own pair, whichever pair a theme
// changes.
TEST_F(Contrast, TheQuestionsTextTakesTheDialogsPairOfColours) {
  SetPair(kBlack, kWhite);
  struct Seen {
    bool found = false;
    ColourAnswer answer{};
  } seen;
  std::thread asker([&seen] {
    const HWND dialog = WaitForOwnQuestion();
    if (dialog == nullptr)
      return;
    const HWND text = FindWindowExW(dialog, nullptr, L"Static", kQuestionText);
    seen.found = true;
    seen.answer = AskColours(dialog, WM_CTLCOLORSTATIC, text);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  });
  Click(form->btCANCEL);
  asker.join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.answer, (ColourAnswer{GetSysColor(COLOR_BTNTEXT), GetSysColor(COLOR_BTNFACE),
                                       GetSysColor(COLOR_BTNFACE)}));
}

class Keyboard : public test::WizardTest {
 protected:
  // What the dialog navigation sends for Enter and Esc when it finds no
  // control of that number: the command with no control's handle.
  void Command(int id) {
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
    Pump();
  }
  int DefaultId() {
    const LRESULT answer = SendMessageW(form->Handle(), DM_GETDEFID, 0, 0);
    return HIWORD(answer) == DC_HASDEFID ? LOWORD(answer) : 0;
  }
  // A key as the keyboard gives it to the control with the focus.
  void Key(UINT key) {
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageW(GetFocus(), WM_KEYUP, key, 0xC0000001);
    Pump();
  }
};

TEST_F(Keyboard, EnterPressesTheFrontButtonWhenItIsEnabled) {
  EXPECT_EQ(DefaultId(), GetDlgCtrlID(form->btNEXT.Handle()));
  Command(IDOK);
  EXPECT_EQ(form->PageIndex(), kLocatie);
  Command(GetDlgCtrlID(form->btNEXT.Handle()));
  EXPECT_EQ(form->PageIndex(), kProxySettings);

  form->btNEXT.SetEnabled(false);
  EXPECT_EQ(DefaultId(), 0);
  Command(IDOK);
  EXPECT_EQ(form->PageIndex(), kProxySettings);
}

TEST_F(Keyboard, EnterOnAFocusedButtonOfTheBarPressesThatOne) {
  SetFocus(form->btCANCEL.Handle());
  EXPECT_EQ(DefaultId(), GetDlgCtrlID(form->btCANCEL.Handle()));
  DialogAnswerer answerer(kConfirmDialogClass, {VK_ESCAPE});
  Command(IDOK);
  EXPECT_TRUE(answerer.Result().found);
  EXPECT_EQ(form->PageIndex(), kStart);
}

TEST_F(Keyboard, EnterOnEindePressesFinish) {
  form->btNEXT.SetEnabled(false);
  form->ShowEndPage(kEinde);
  EXPECT_EQ(DefaultId(), GetDlgCtrlID(form->btFINISH.Handle()));
  HWND window = form->Handle();
  Command(IDOK);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(Keyboard, EscAsksCancelsQuestionWhereCancelIsShown) {
  DialogAnswerer no(kConfirmDialogClass, {VK_ESCAPE});
  Command(IDCANCEL);
  ASSERT_TRUE(no.Result().found);
  EXPECT_EQ(form->PageIndex(), kStart);

  DialogAnswerer yes(kConfirmDialogClass, {VK_RETURN});
  Command(IDCANCEL);
  ASSERT_TRUE(yes.Result().found);
  EXPECT_EQ(form->PageIndex(), kAbort);
  EXPECT_FALSE(form->btCANCEL.Visible());

  // Cancel is hidden now: Esc asks nothing.
  DialogAnswerer none(kConfirmDialogClass, {VK_ESCAPE});
  Command(IDCANCEL);
  EXPECT_FALSE(none.ResultAfterModalStep().found);
}

TEST_F(Keyboard, TheRealKeysReachTheButtons) {
  // Enter and Esc as keystrokes, through the window's dialog navigation.
  Key(VK_RETURN);
  EXPECT_EQ(form->PageIndex(), kLocatie);
  DialogAnswerer answerer(kConfirmDialogClass, {VK_RETURN});
  Key(VK_ESCAPE);
  ASSERT_TRUE(answerer.Result().found);
  EXPECT_EQ(form->PageIndex(), kAbort);
}

TEST_F(Keyboard, ShowingAPageFocusesItsFirstControl) {
  EXPECT_EQ(GetFocus(), form->btNEXT.Handle());  // Start has none
  Click(form->btNEXT);
  EXPECT_EQ(GetFocus(), form->InstallDrive->Handle());
  Click(form->btNEXT);
  EXPECT_EQ(GetFocus(), form->PROXY_USE.Handle());
  form->btNEXT.SetEnabled(false);
  form->SetPageIndex(kInstallMain);
  EXPECT_EQ(GetFocus(), form->btCANCEL.Handle());  // Next is disabled
  form->ShowEndPage(kEinde);
  EXPECT_EQ(GetFocus(), form->btFINISH.Handle());
}

TEST_F(Keyboard, TheFocusComesBackAfterTheQuestionAndTheErrorBox) {
  Click(form->btNEXT);
  SetFocus(form->btCANCEL.Handle());
  DialogAnswerer no(kConfirmDialogClass, {VK_ESCAPE});
  Command(IDCANCEL);
  ASSERT_TRUE(no.Result().found);
  EXPECT_EQ(GetFocus(), form->btCANCEL.Handle());

  DialogAnswerer ok(L"#32770", {VK_RETURN});
  form->btNEXT.SetEnabled(false);
  form->ShowEndPage(kAbort, u"Fout");
  ASSERT_TRUE(ok.Result().found);
  EXPECT_EQ(GetFocus(), form->btFINISH.Handle());
}

TEST_F(Keyboard, TheFocusComesBackWhenTheWindowIsActivatedAgain) {
  Click(form->btNEXT);
  Click(form->btNEXT);
  SetFocus(form->PROXY_SERVER.Handle());
  unique_hwnd other(CreateWindowExW(0, L"STATIC", L"another window",
                                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                    nullptr, nullptr, nullptr));
  SetActiveWindow(other.get());
  Pump();
  ASSERT_NE(GetFocus(), form->PROXY_SERVER.Handle());
  SetActiveWindow(form->Handle());
  Pump();
  EXPECT_EQ(GetFocus(), form->PROXY_SERVER.Handle());
}

TEST_F(Keyboard, TabRunsThroughThePageThenTheButtons) {
  Click(form->btNEXT);
  Click(form->btNEXT);
  ASSERT_EQ(form->PageIndex(), kProxySettings);
  std::vector<HWND> order{GetFocus()};
  for (int i = 0; i < 5; ++i) {
    Key(VK_TAB);
    order.push_back(GetFocus());
  }
  const std::vector<HWND> expected{form->PROXY_USE.Handle(),    form->PROXY_SERVER.Handle(),
                                   form->PROXY_POORT->Handle(), form->btCANCEL.Handle(),
                                   form->btNEXT.Handle(),       form->PROXY_USE.Handle()};
  EXPECT_EQ(order, expected);
}

TEST_F(Keyboard, TabReachesOnlyTheButtonInFront) {
  form->btNEXT.SetEnabled(false);
  form->ShowEndPage(kInstallData);  // Cancel shown, Finish in front
  std::vector<HWND> order{GetFocus()};
  for (int i = 0; i < 2; ++i) {
    Key(VK_TAB);
    order.push_back(GetFocus());
  }
  const std::vector<HWND> expected{form->btFINISH.Handle(), form->btCANCEL.Handle(),
                                   form->btFINISH.Handle()};
  EXPECT_EQ(order, expected);
}

// What a screen reader learns of Cancel's question, asked from another
// thread as a reader asks from its own process: a dialog, named by its
// caption, whose description is the question; so the reader reads the
// question when the dialog opens, not only the focused Yes.
TEST_F(Keyboard, AScreenReaderIsToldTheQuestionIsADialogAndReadsItsText) {
  struct Seen {
    bool found = false;
    LONG role = 0;
    std::wstring name;
    std::wstring description;
  } seen;
  std::thread reader([&seen] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const HWND dialog = WaitForOwnQuestion();
    IAccessible* accessible = nullptr;
    if (dialog != nullptr && SUCCEEDED(AccessibleObjectFromWindow(
                                 dialog, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                 reinterpret_cast<void**>(&accessible)))) {
      VARIANT self{};
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      VARIANT role{};
      if (SUCCEEDED(accessible->get_accRole(self, &role)) && role.vt == VT_I4)
        seen.role = role.lVal;
      BSTR text = nullptr;
      if (SUCCEEDED(accessible->get_accName(self, &text)) && text != nullptr)
        seen.name = text;
      SysFreeString(text);
      text = nullptr;
      if (SUCCEEDED(accessible->get_accDescription(self, &text)) && text != nullptr)
        seen.description = text;
      SysFreeString(text);
      accessible->Release();
      seen.found = true;
    }
    if (dialog != nullptr)
      PostMessageW(dialog, WM_CLOSE, 0, 0);
    CoUninitialize();
  });
  Click(form->btCANCEL);
  reader.join();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.role, ROLE_SYSTEM_DIALOG);
  EXPECT_EQ(seen.name, L"WAARSCHUWING");
  EXPECT_EQ(seen.description, L"De installatie is niet voltooid.\rBent u zeker ?");
  EXPECT_EQ(form->PageIndex(), kStart);  // closed without an answer: No
}

}  // namespace
}  // namespace zephora
