#include "controls/notebook.h"

namespace zephora {

TNotebook::TNotebook(const Args& args) {
  CreatePanel(TPanel::Args{args.parent, args.rect, L"Notebook1"},
              ClassInfo{kClassName, WindowBrush()});
  RECT pageRect{0, 0, args.rect.right - args.rect.left, args.rect.bottom - args.rect.top};
  for (std::size_t i = 0; i < args.pageCaptions.size(); ++i) {
    pages_.push_back(
        std::make_unique<TPanel>(TPanel::Args{Handle(), pageRect, args.pageCaptions[i], i == 0}));
  }
}

void TNotebook::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount() || index == pageIndex_)
    return;
  HWND focus = GetFocus();
  bool focusOnOldPage = focus != nullptr && IsChild(PageHandle(pageIndex_), focus);
  ShowWindow(PageHandle(index), SW_SHOW);
  ShowWindow(PageHandle(pageIndex_), SW_HIDE);
  pageIndex_ = index;
  // A hidden control must not keep the keyboard focus.
  if (focusOnOldPage)
    SetFocus(GetParent(Handle()));
}

LRESULT TNotebook::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SIZE) {
    for (auto& page : pages_) {
      SetWindowPos(page->Handle(), nullptr, 0, 0, LOWORD(lParam), HIWORD(lParam),
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
  }
  return TPanel::HandleMessage(message, wParam, lParam);
}

}  // namespace zephora
