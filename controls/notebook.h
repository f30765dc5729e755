// TNotebook: a page container that shows exactly one of its pages.
#pragma once

#include <memory>
#include <vector>

#include "controls/window.h"

namespace zephora {

class TNotebook : public TPanel {
 public:
  struct Args {
    HWND parent = nullptr;
    RECT rect{};
    // Each page's window text: a name by which tools outside the process
    // can tell which page is shown.
    std::vector<const wchar_t*> pageCaptions;
  };
  explicit TNotebook(const Args& args);

  // The page shown is the visible page window inside a window of this
  // class; tools outside the process find it so.
  static constexpr wchar_t kClassName[] = L"ZephoraNotebook";

  int PageCount() const { return static_cast<int>(pages_.size()); }
  int PageIndex() const { return pageIndex_; }
  // An index outside the pages, or the one shown, changes nothing.
  void SetPageIndex(int index);
  TPanel& Page(int index) { return *pages_.at(static_cast<std::size_t>(index)); }
  HWND PageHandle(int index) { return Page(index).Handle(); }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::vector<std::unique_ptr<TPanel>> pages_;
  int pageIndex_ = 0;
};

}  // namespace zephora
