// The base of the tests that drive a wizard window in their own process: a
// window of the test's own, shown, with its queued messages handled.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "app/ufrmMain.h"
#include "tests/support/ui_test_support.h"

namespace zephora::test {

class WizardTest : public testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TfrmMain>(u"http://downloads.zephora.invalid/zephora/");
    form->Show();
    Pump();
  }
  void TearDown() override {
    form.reset();
    Pump();
  }
  void Pump() {
    PumpMessages([this](MSG& message) { return form->TranslateDialogMessage(message); });
  }
  void Click(const TWinControl& button) {
    SendMessageW(button.Handle(), BM_CLICK, 0, 0);
    Pump();
  }

  std::unique_ptr<TfrmMain> form;
};

// The font a control draws its text with.
inline LOGFONTW FontOf(HWND window) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

}  // namespace zephora::test
