// The wizard and its Cancel question at the screen resolution that the Wine
// prefix sets; dpi.sh runs this at 96, 144 and 192 dpi. The program is made
// aware of each monitor's resolution by the manifest SETUP.EXE has.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/ufrmMain.h"
#include "controls/confirm_dialog.h"
#include "tests/app/wizard_test.h"
#include "tests/support/ui_test_support.h"

namespace zephora {
namespace {

using test::DialogAnswerer;
using test::FontOf;
using test::SeenDialog;

UINT ExpectedDpi() {
  const char* dpi = std::getenv("ZEPHORA_EXPECT_DPI");
  return dpi != nullptr ? static_cast<UINT>(std::atoi(dpi)) : 96;
}

using HighDpi = test::WizardTest;

TEST_F(HighDpi, TheWizardIsLaidOutOnceForTheScreensResolution) {
  const UINT dpi = ExpectedDpi();
  ASSERT_EQ(form->Dpi(), dpi) << "the prefix's resolution did not take effect";
  RECT client{};
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, Scale(700, dpi));
  EXPECT_EQ(client.bottom, Scale(513, dpi));
  EXPECT_EQ(FontOf(form->rbNEDERLANDS.Handle()).lfHeight, -Scale(14, dpi));
  EXPECT_EQ(FontOf(form->Titles[kStart].Handle()).lfHeight, -Scale(17, dpi));
}

// The question's text was scaled twice: the system's message font, already
// at the screen's resolution, was multiplied by it once more.
TEST_F(HighDpi, TheQuestionsTextKeepsItsSizeNextToTheWindowsText) {
  const UINT dpi = ExpectedDpi();
  ASSERT_EQ(form->Dpi(), dpi);
  DialogAnswerer answerer(kConfirmDialogClass, {VK_ESCAPE});
  Click(form->btCANCEL);
  const SeenDialog& seen = answerer.Result();
  ASSERT_TRUE(seen.found);
  // The question is the static text with words, the icon the one without.
  int question = 0, icon = 0;
  for (const auto& child : seen.children) {
    if (child.id == IDYES || child.id == IDNO)
      continue;
    if (child.text.empty()) {
      icon = child.width;
    } else {
      question = child.fontHeight;
    }
  }
  ASSERT_NE(question, 0);
  // The ratio the two texts have at 96 dpi, from the system's own metrics.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, 96));
  const double designed = static_cast<double>(metrics.lfMessageFont.lfHeight) / -Scale(14, 96);
  const double shown = static_cast<double>(question) / FontOf(form->rbNEDERLANDS.Handle()).lfHeight;
  EXPECT_NEAR(shown, designed, 0.1) << "question " << question << " at " << dpi << " dpi";
  EXPECT_EQ(icon, GetSystemMetricsForDpi(SM_CXICON, dpi));
  // The icon itself is drawn for that size, not stretched from another.
  // (Wine also loads it with LoadImage and no LR_SHARED, which Windows
  // refuses; the call Windows documents for it is LoadIconWithScaleDown.)
  int drawn = 0;
  for (const auto& child : seen.children)
    drawn = std::max(drawn, child.iconWidth);
  EXPECT_EQ(drawn, GetSystemMetricsForDpi(SM_CXICON, dpi));
}

// The drive list's rows hold the small icon at the window's resolution.
// Under Wine a window's resolution is always the system's, so this shows
// the row's size, not which of the two the list asked for.
TEST_F(HighDpi, TheDriveListsRowsHoldTheSmallIconAtTheWindowsResolution) {
  const UINT dpi = ExpectedDpi();
  const HWND list = form->InstallDrive->Handle();
  const auto row = SendMessageW(list, CB_GETITEMHEIGHT, 0, 0);
  EXPECT_GE(row, GetSystemMetricsForDpi(SM_CYSMICON, dpi));
  EXPECT_GE(row, -FontOf(list).lfHeight);
}

// Counts the frame's moves and resizes while it lives.
class FrameChanges {
 public:
  explicit FrameChanges(HWND frame) {
    frame_ = frame;
    count_ = 0;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, &Count, nullptr, GetCurrentThreadId());
  }
  ~FrameChanges() { UnhookWindowsHookEx(hook_); }
  int Count() const { return count_; }

 private:
  static LRESULT CALLBACK Count(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == frame_ && sent->message == WM_WINDOWPOSCHANGED)
      ++count_;
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline HWND frame_ = nullptr;
  static inline int count_ = 0;
  HHOOK hook_;
};

// Wine never moves a window to a screen of another resolution, so the two
// messages are sent here as Windows sends them when the user drags the
// wizard there. Windows asks for the size first and then suggests a
// rectangle of that size; the window lays its controls out anew and takes
// the rectangle in one step. It used to resize and move apart, which makes
// a window jump between the screens.
TEST_F(HighDpi, AScreenOfAnotherResolutionGetsTheSuggestedRectangleInOneStep) {
  const UINT dpi = ExpectedDpi() == 144 ? 192 : 144;
  const HWND frame = form->Handle();
  SIZE size{};
  ASSERT_TRUE(SendMessageW(frame, WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(&size)));
  RECT expected{0, 0, Scale(700, dpi), Scale(513, dpi)};
  AdjustWindowRectExForDpi(&expected, static_cast<DWORD>(GetWindowLongPtrW(frame, GWL_STYLE)),
                           FALSE, static_cast<DWORD>(GetWindowLongPtrW(frame, GWL_EXSTYLE)), dpi);
  EXPECT_EQ(size.cx, expected.right - expected.left);
  EXPECT_EQ(size.cy, expected.bottom - expected.top);

  const RECT suggested{37, 23, 37 + size.cx, 23 + size.cy};
  FrameChanges changes(frame);
  SendMessageW(frame, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(changes.Count(), 1);
  RECT now{};
  GetWindowRect(frame, &now);
  EXPECT_EQ(now.left, suggested.left);
  EXPECT_EQ(now.top, suggested.top);
  EXPECT_EQ(now.right, suggested.right);
  EXPECT_EQ(now.bottom, suggested.bottom);
  EXPECT_EQ(form->Dpi(), dpi);
  EXPECT_EQ(FontOf(form->rbNEDERLANDS.Handle()).lfHeight, -Scale(14, dpi));
  EXPECT_EQ(FontOf(form->Titles[kStart].Handle()).lfHeight, -Scale(17, dpi));
}

}  // namespace
}  // namespace zephora
