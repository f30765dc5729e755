#include "controls/validate_edit.h"

#include "controls/validate_rules.h"
#include "platform/wide.h"

namespace zephora {

TValidateEdit::TValidateEdit(const Args& args) : onChange_(args.onChange) {
  Create(L"EDIT", WS_EX_CLIENTEDGE, WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_RIGHT | ES_AUTOHSCROLL,
         L"", args.rect, args.parent, args.id);
  ShowValue();
}

std::int64_t TValidateEdit::Value() const {
  return validate::IntegerValue(editText_);
}

Text TValidateEdit::DisplayedText() const {
  return WindowText(Handle());
}

void TValidateEdit::Commit() {
  editText_ = validate::FilterText(editText_);
  committed_ = editText_;
  ShowValue();
}

void TValidateEdit::ShowValue() {
  settingText_ = true;
  SetWindowTextW(Handle(), ToWide(validate::DisplayText(editText_)).c_str());
  settingText_ = false;
}

LRESULT TValidateEdit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CHAR: {
      auto c = static_cast<char16_t>(wParam);
      if (c == VK_ESCAPE)
        return 0;
      DWORD start = 0;
      DWORD end = 0;
      SendMessageW(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
      if (!validate::AcceptsChar(WindowText(Handle()), start, start != end, c))
        return 0;
      break;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) {
        editText_ = committed_;
        ShowValue();
        SendMessageW(Handle(), EM_SETSEL, 0, -1);
        return 0;
      }
      break;
    case WM_GETDLGCODE: {
      // Escape belongs to the field, not to the dialog navigation.
      LRESULT code = Default(message, wParam, lParam);
      const auto* msg = reinterpret_cast<const MSG*>(lParam);
      if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
        code |= DLGC_WANTMESSAGE;
      }
      return code;
    }
    case WM_PASTE: {
      LRESULT result = Default(message, wParam, lParam);
      editText_ = validate::FilterText(WindowText(Handle()));
      ShowValue();
      SendMessageW(Handle(), EM_SETSEL, static_cast<WPARAM>(-1), -1);
      return result;
    }
    case WM_SETFOCUS: {
      LRESULT result = Default(message, wParam, lParam);
      ShowValue();
      SendMessageW(Handle(), EM_SETSEL, 0, -1);
      return result;
    }
    case WM_KILLFOCUS:
      Commit();
      break;
    case kReflectedMessage + WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE && !settingText_) {
        editText_ = WindowText(Handle());
        if (onChange_)
          onChange_();
      }
      return 1;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace zephora
