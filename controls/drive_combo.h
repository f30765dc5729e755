// TDriveCombo: a drop-down list of the machine's drives of chosen kinds,
// each row drawn with the shell's small icon and display name.
#pragma once

#include <functional>
#include <set>
#include <vector>

#include <windows.h>

#include <commctrl.h>

#include "controls/window.h"
#include "platform/text.h"

namespace zephora {

enum class TDriveType { dtUnknown, dtRemovable, dtFixed, dtRemote, dtCDROM, dtRamDisk };
using TDriveTypes = std::set<TDriveType>;

class TDriveCombo : public SubclassedControl {
 public:
  struct Args {
    HWND parent = nullptr;
    int id = 0;
    RECT rect{};
    TDriveTypes driveTypes{TDriveType::dtFixed, TDriveType::dtRemote, TDriveType::dtCDROM};
    std::function<void()> onChange;       // the selected drive was set
    std::function<void()> onDriveChange;  // a volume came or went
  };
  explicit TDriveCombo(const Args& args);

  // The upper-case letter of the selected drive; u'\0' while none is.
  char16_t Drive() const { return drive_; }
  // Selects the drive with that letter; a letter not listed changes nothing.
  void SetDrive(char16_t letter);
  const Text& DisplayName() const { return displayName_; }
  const TDriveTypes& DriveTypes() const { return driveTypes_; }
  // An empty set means fixed drives only.
  void SetDriveTypes(const TDriveTypes& types);

  // The listed drives, in order.
  const std::vector<char16_t>& Letters() const { return letters_; }
  int ItemIndex() const;

  static constexpr int kOffset = 4;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void BuildList();
  void Change();
  std::wstring RowText(int row) const;
  void UpdateItemHeight();
  void DrawItem(const DRAWITEMSTRUCT& item);

  std::function<void()> onChange_;
  std::function<void()> onDriveChange_;
  TDriveTypes driveTypes_;
  std::vector<char16_t> letters_;
  std::vector<int> icons_;
  HIMAGELIST images_ = nullptr;  // the shell's shared list: never freed
  char16_t drive_ = u'\0';
  int rememberedIndex_ = 0;
  Text displayName_;
};

}  // namespace zephora
