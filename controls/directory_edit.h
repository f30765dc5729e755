// TDirectoryEdit: a folder field with a browse button inside its right edge
// that opens the platform's folder browser, auto-suggest of existing folders
// while typing, and dropped files from the shell.
#pragma once

#include <functional>

#include "controls/window.h"
#include "platform/text.h"

namespace zephora {

class TDirectoryEdit : public SubclassedControl {
 public:
  struct Args {
    HWND parent = nullptr;
    int id = 0;
    RECT rect{};
    const wchar_t* text = L"";
    int buttonWidth = 27;  // already scaled to the screen
    std::function<void()> onChange;
    std::function<void()> onBrowse;  // before the browser opens
  };
  explicit TDirectoryEdit(const Args& args);

  Text GetText() const;
  void SetText(const Text& text);
  // Folder the browser starts in when the field is empty.
  Text InitialDir;
  // Shown above the browser's tree.
  Text DialogText;

  // Opens the folder browser, as the button and Alt+Down do.
  void Browse();
  HWND ButtonHandle() const { return button_; }
  void SetButtonWidth(int width);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void PlaceButton();
  void DrawButton(const DRAWITEMSTRUCT& item);

  std::function<void()> onChange_;
  std::function<void()> onBrowse_;
  HWND button_ = nullptr;  // a child of the field, destroyed with it
  int buttonWidth_;
};

}  // namespace zephora
