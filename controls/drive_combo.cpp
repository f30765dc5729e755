#include "controls/drive_combo.h"

#include <dbt.h>
#include <shellapi.h>

#include <algorithm>

#include "controls/common_controls.h"
#include "platform/wide.h"

namespace zephora {
namespace {

bool MatchesKind(UINT platformType, const TDriveTypes& kinds) {
  switch (platformType) {
    case DRIVE_UNKNOWN:
      return kinds.contains(TDriveType::dtUnknown);
    case DRIVE_REMOVABLE:
      return kinds.contains(TDriveType::dtRemovable);
    case DRIVE_FIXED:
      return kinds.contains(TDriveType::dtFixed);
    case DRIVE_REMOTE:
      return kinds.contains(TDriveType::dtRemote);
    case DRIVE_CDROM:
      return kinds.contains(TDriveType::dtCDROM);
    case DRIVE_RAMDISK:
      return kinds.contains(TDriveType::dtRamDisk);
    default:
      return false;
  }
}

char16_t UpperAscii(char16_t c) {
  return c >= u'a' && c <= u'z' ? c - 32 : c;
}

// Restores the process error mode on every path out of the drive probe.
class ErrorModeScope {
 public:
  explicit ErrorModeScope(UINT mode) : previous_(SetErrorMode(mode)) {}
  ~ErrorModeScope() { SetErrorMode(previous_); }
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;

 private:
  UINT previous_;
};

}  // namespace

TDriveCombo::TDriveCombo(const Args& args)
    : onChange_(args.onChange), onDriveChange_(args.onDriveChange) {
  Create(L"COMBOBOX", 0,
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED |
             CBS_HASSTRINGS,
         L"", args.rect, args.parent, args.id);
  UpdateItemHeight();
  SetDriveTypes(args.driveTypes);
}

int TDriveCombo::ItemIndex() const {
  return static_cast<int>(SendMessageW(Handle(), CB_GETCURSEL, 0, 0));
}

void TDriveCombo::SetDriveTypes(const TDriveTypes& types) {
  driveTypes_ = types.empty() ? TDriveTypes{TDriveType::dtFixed} : types;
  BuildList();
  Change();
}

void TDriveCombo::BuildList() {
  const char16_t kept = drive_;
  SendMessageW(Handle(), CB_RESETCONTENT, 0, 0);
  letters_.clear();
  icons_.clear();

  SHFILEINFOW info{};
  images_ = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(L"", 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
  {
    ErrorModeScope quiet(SEM_NOOPENFILEERRORBOX);
    wchar_t roots[105] = {};
    GetLogicalDriveStringsW(104, roots);
    for (const wchar_t* root = roots; *root != L'\0'; root += wcslen(root) + 1) {
      if (!MatchesKind(GetDriveTypeW(root), driveTypes_))
        continue;
      SHFILEINFOW drive{};
      SHGetFileInfoW(root, 0, &drive, sizeof drive,
                     SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_DISPLAYNAME);
      drive.szDisplayName[MAX_PATH - 1] = L'\0';
      Text name = Trim(FromWide(drive.szDisplayName));
      SendMessageW(Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(name).c_str()));
      icons_.push_back(drive.iIcon);
      letters_.push_back(static_cast<char16_t>(root[0]));
    }
  }
  // The selected drive may have moved in the list; show it where it is now.
  auto found = std::find_if(letters_.begin(), letters_.end(),
                            [&](char16_t letter) { return UpperAscii(letter) == kept; });
  if (kept != u'\0' && found != letters_.end()) {
    rememberedIndex_ = static_cast<int>(found - letters_.begin());
  }
  SetDrive(kept);
}

void TDriveCombo::SetDrive(char16_t letter) {
  letter = UpperAscii(letter);
  if (letter == drive_) {
    SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(rememberedIndex_), 0);
    return;
  }
  auto found = std::find_if(letters_.begin(), letters_.end(),
                            [&](char16_t listed) { return UpperAscii(listed) == letter; });
  if (found == letters_.end())
    return;
  drive_ = letter;
  rememberedIndex_ = static_cast<int>(found - letters_.begin());
  SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(rememberedIndex_), 0);
  Change();
}

void TDriveCombo::Change() {
  int selected = ItemIndex();
  rememberedIndex_ = selected >= 0 ? selected : 0;
  if (rememberedIndex_ < static_cast<int>(letters_.size())) {
    SetDrive(letters_[static_cast<std::size_t>(rememberedIndex_)]);
  }
  selected = ItemIndex();
  displayName_ = selected >= 0 ? FromWide(RowText(selected)) : Text();
  if (onChange_)
    onChange_();
}

std::wstring TDriveCombo::RowText(int row) const {
  const auto length = SendMessageW(Handle(), CB_GETLBTEXTLEN, static_cast<WPARAM>(row), 0);
  std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
  SendMessageW(Handle(), CB_GETLBTEXT, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(text.data()));
  text.resize(wcslen(text.c_str()));
  return text;
}

void TDriveCombo::UpdateItemHeight() {
  window_dc dc(Handle());
  auto font = reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
  select_object selected(dc.get(), font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc.get(), &metrics);
  // The small icon at the window's resolution, which a screen of its own may
  // give it; GetSystemMetrics answers for the system's. The icons of the
  // shell's list, at the system's size, fit either way.
  int iconWidth = 0, iconHeight = 0;
  if (images_ != nullptr)
    comctl::ImageList_GetIconSize(images_, &iconWidth, &iconHeight);
  const int height =
      std::max({static_cast<int>(metrics.tmHeight),
                GetSystemMetricsForDpi(SM_CYSMICON, WindowDpi(Handle())), iconHeight});
  SendMessageW(Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height);
  SendMessageW(Handle(), CB_SETITEMHEIGHT, 0, height);
}

void TDriveCombo::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT row = item.rcItem;
  HBRUSH background = GetSysColorBrush(COLOR_WINDOW);
  if (item.itemID == static_cast<UINT>(-1) || item.itemID >= letters_.size()) {
    FillRect(dc, &row, background);
    return;
  }
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(dc, &row, background);
  int iconWidth = 0;
  int iconHeight = 0;
  if (images_ != nullptr) {
    comctl::ImageList_GetIconSize(images_, &iconWidth, &iconHeight);
    comctl::ImageList_Draw(images_, icons_[item.itemID], dc, row.left + kOffset, row.top,
                           ILD_TRANSPARENT);
  }
  const std::wstring text = RowText(static_cast<int>(item.itemID));

  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  RECT area{row.left + kOffset + iconWidth + kOffset, row.top, 0, row.bottom};
  area.right = area.left + extent.cx + 6;
  FillRect(dc, &area, selected ? GetSysColorBrush(COLOR_HIGHLIGHT) : background);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT textRect{area.left + 3, area.top, area.right, area.bottom};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if (selected)
    DrawFocusRect(dc, &area);
}

LRESULT TDriveCombo::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETFONT: {
      LRESULT result = Default(message, wParam, lParam);
      UpdateItemHeight();
      return result;
    }
    case WM_DEVICECHANGE: {
      const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
      if ((wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) &&
          header != nullptr && header->dbch_devicetype == DBT_DEVTYP_VOLUME) {
        BuildList();
        if (onDriveChange_)
          onDriveChange_();
      }
      return TRUE;
    }
    case kReflectedMessage + WM_COMMAND:
      if (HIWORD(wParam) == CBN_SELCHANGE)
        Change();
      return 1;
    case kReflectedMessage + WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace zephora
