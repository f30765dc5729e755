// Helpers for the tests that drive real windows in their own process:
// pumping messages and answering a modal dialog from a second thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace zephora::test {

// Dispatches every queued message of this thread, each first offered to
// `filter` (keyboard navigation) when one is given.
void PumpMessages(const std::function<bool(MSG&)>& filter = nullptr);

// The window text of any window, also of another thread's.
std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

struct SeenChild {
  std::wstring className;
  std::wstring text;
  int id = 0;
  bool visible = false;
  int width = 0;
  // The character height of its font (negative, as LOGFONT has it); 0 when
  // it has no font of its own.
  int fontHeight = 0;
  // The width of the icon an icon label shows; 0 for other controls, or
  // when it has none.
  int iconWidth = 0;
};

struct SeenDialog {
  bool found = false;
  HWND window = nullptr;
  HWND owner = nullptr;
  // Its extended style: WS_EX_TOPMOST for a box in front of every program.
  LONG_PTR exStyle = 0;
  std::wstring caption;
  std::vector<SeenChild> children;
  // The child with that id, or an empty record.
  SeenChild Child(int id) const;
};

// Waits on a thread of its own for a visible window of the given class on
// the user-interface thread, records what it shows, then presses the given
// keys in the control that has the focus.
class DialogAnswerer {
 public:
  DialogAnswerer(const std::wstring& className, std::vector<UINT> keys);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  // Joins the helper thread and returns what it saw.
  const SeenDialog& Result();
  // The same, after a modal step that has returned: a dialog it did not
  // open by then it never opens, so the helper stops looking at once.
  const SeenDialog& ResultAfterModalStep();

 private:
  void Run(std::wstring className, std::vector<UINT> keys);

  DWORD uiThread_;
  std::atomic<bool> stop_{false};
  SeenDialog seen_;
  std::thread thread_;
};

}  // namespace zephora::test
