// TValidateEdit: a right-aligned numeric field that filters keystrokes and
// pastes, commits its value when it loses the focus and reverts on Escape.
#pragma once

#include <cstdint>
#include <functional>

#include "controls/window.h"
#include "platform/text.h"

namespace zephora {

class TValidateEdit : public SubclassedControl {
 public:
  struct Args {
    HWND parent = nullptr;
    int id = 0;
    RECT rect{};
    std::function<void()> onChange;
  };
  explicit TValidateEdit(const Args& args);

  // The raw text as typed.
  const Text& EditText() const { return editText_; }
  // The integer value of EditText: 0 when it does not parse.
  std::int64_t Value() const;
  // What the field shows.
  Text DisplayedText() const;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Commit();
  void ShowValue();

  std::function<void()> onChange_;
  Text editText_;
  Text committed_;
  bool settingText_ = false;
};

}  // namespace zephora
