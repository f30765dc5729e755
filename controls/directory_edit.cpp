#include "controls/directory_edit.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>

#include "platform/wide.h"

namespace zephora {
namespace {

constexpr int kButtonId = 1;
// A status line above the tree, and the browser that can make folders.
constexpr UINT kBrowseFlags = BIF_STATUSTEXT | BIF_NEWDIALOGSTYLE;

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM start) noexcept {
  if (message == BFFM_INITIALIZED && start != 0) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
  }
  return 0;
}

}  // namespace

TDirectoryEdit::TDirectoryEdit(const Args& args)
    : onChange_(args.onChange), onBrowse_(args.onBrowse), buttonWidth_(args.buttonWidth) {
  Create(L"EDIT", WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES,
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN | ES_AUTOHSCROLL, args.text,
         args.rect, args.parent, args.id);
  button_ = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 0, 0,
                            Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)),
                            GetModuleHandleW(nullptr), nullptr);
  PlaceButton();
  // Existing folders are offered while the user types.
  SHAutoComplete(Handle(), SHACF_FILESYSTEM | SHACF_FILESYS_DIRS | SHACF_AUTOSUGGEST_FORCE_ON |
                               SHACF_AUTOAPPEND_FORCE_OFF);
}

Text TDirectoryEdit::GetText() const {
  return WindowText(Handle());
}

void TDirectoryEdit::SetText(const Text& text) {
  SetWindowTextW(Handle(), ToWide(text).c_str());
}

void TDirectoryEdit::SetButtonWidth(int width) {
  buttonWidth_ = width;
  PlaceButton();
}

void TDirectoryEdit::PlaceButton() {
  RECT client{};
  GetClientRect(Handle(), &client);
  SetWindowPos(button_, nullptr, client.right - buttonWidth_, 0, buttonWidth_, client.bottom,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // Typed text stops short of the button.
  SendMessageW(Handle(), EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, buttonWidth_ + 2));
}

void TDirectoryEdit::Browse() {
  if (onBrowse_)
    onBrowse_();
  std::wstring start = ToWide(GetText());
  if (start.empty())
    start = ToWide(InitialDir);
  std::wstring title = ToWide(DialogText);
  wchar_t chosen[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = GetAncestor(Handle(), GA_ROOT);
  info.pszDisplayName = chosen;
  info.lpszTitle = title.c_str();
  info.ulFlags = kBrowseFlags;
  info.lpfn = &BrowseCallback;
  info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
  unique_cotaskmem<ITEMIDLIST> folder(SHBrowseForFolderW(&info));
  if (!folder)
    return;
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(folder.get(), path))
    SetText(FromWide(path));
}

void TDirectoryEdit::DrawButton(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT face = item.rcItem;
  UINT state = DFCS_BUTTONPUSH | ((item.itemState & ODS_SELECTED) != 0 ? DFCS_PUSHED : 0);
  DrawFrameControl(dc, &face, DFC_BUTTON, state);
  // A folder: a tab on the back, the body in front.
  int cx = (face.left + face.right) / 2;
  int cy = (face.top + face.bottom) / 2;
  int w = std::min<int>(face.right - face.left - 8, 16);
  int h = w * 3 / 4;
  RECT body{cx - w / 2, cy - h / 2 + 2, cx + w / 2, cy + h / 2 + 1};
  RECT tab{body.left, body.top - 3, body.left + w / 2, body.top};
  unique_hbrush yellow(CreateSolidBrush(RGB(230, 190, 80)));
  unique_hpen outline(CreatePen(PS_SOLID, 1, RGB(150, 110, 30)));
  select_object pen(dc, outline.get());
  select_object brush(dc, yellow.get());
  Rectangle(dc, tab.left, tab.top, tab.right, tab.bottom + 1);
  Rectangle(dc, body.left, body.top, body.right, body.bottom);
}

LRESULT TDirectoryEdit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kButtonId && HIWORD(wParam) == BN_CLICKED) {
        Browse();
        return 0;
      }
      break;
    case WM_DRAWITEM:
      if (wParam == kButtonId) {
        DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
      }
      break;
    case WM_SYSKEYDOWN:
      if (wParam == VK_DOWN) {
        Browse();
        return 0;
      }
      break;
    case WM_DROPFILES: {
      auto drop = reinterpret_cast<HDROP>(wParam);
      // One folder per field: the first dropped name wins.
      UINT length = DragQueryFileW(drop, 0, nullptr, 0);
      if (length != 0 && length != 0xFFFFFFFF) {
        std::wstring name(length + 1, L'\0');
        DragQueryFileW(drop, 0, name.data(), length + 1);
        name.resize(length);
        SetText(FromWide(name));
      }
      DragFinish(drop);
      return 0;
    }
    case WM_SIZE: {
      LRESULT result = Default(message, wParam, lParam);
      PlaceButton();
      return result;
    }
    case kReflectedMessage + WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE && onChange_)
        onChange_();
      return 1;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace zephora
