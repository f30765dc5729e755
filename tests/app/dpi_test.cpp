// The wizard and its Cancel question at the screen resolution that the Wine
// prefix sets; dpi.sh runs this at 96, 144 and 192 dpi. The program is made
// aware of each monitor's resolution by the manifest SETUP.EXE has.
#include <windows.h>

#include <gtest/gtest.h>

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
}

}  // namespace
}  // namespace zephora
