#include "app/ufrmMain.h"

#include <commctrl.h>

#include <utility>

#include "app/error_dialog.h"
#include "controls/confirm_dialog.h"
#include "i18n/translation.h"

namespace zephora {
namespace {

constexpr int kClientWidth = 700;
constexpr int kClientHeight = 513;
constexpr int kImageWidth = 169;
constexpr int kBarHeight = 53;
constexpr int kNotebookHeight = kClientHeight - kBarHeight;
constexpr int kEditHeight = 26;
constexpr int kButtonLineHeight = 21;   // radio buttons and check boxes
constexpr int kBrowseButtonWidth = 27;  // inside the folder field
// "Tahoma" at these character heights, by FontKind: the window's font, the
// button bar's, the page titles' and the one larger label's.
constexpr int kFontHeights[] = {14, 15, 17, 15};
constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFrameExStyle = WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;

// The pages by index: the name each page's window carries, by which tools
// outside the process tell the page shown, and the title the user reads.
struct PageDesign {
  const wchar_t* name;
  const wchar_t* title;
};
constexpr PageDesign kPages[] = {
    {L"SelectTaal", L"Programma Setup"},
    {L"Start", L"Welkom bij het installatie programma "},
    {L"Locatie", L"Locatie"},
    {L"ProxySettings", L"Proxy Instellingen"},
    {L"InstallMain", L"Vooruitgang"},
    {L"Data", L"Gegevens installeren"},
    {L"InstallData", L"Gegevens Installeren"},
    {L"Einde", L"Installatie voltooid"},
    {L"Abort", L"Installatie is niet voltooid"},
};

RECT At(int left, int top, int width, int height) {
  return RECT{left, top, left + width, top + height};
}

}  // namespace

TfrmMain::TfrmMain(Text downloadBaseUrl) : DownloadBaseUrl(std::move(downloadBaseUrl)) {
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  Create(ClassInfo{L"ZephoraSetupWizard", WindowBrush(), icon}, kFrameExStyle, kFrameStyle,
         L"Programma - Setup", At(0, 0, kClientWidth, kClientHeight), nullptr);
  dpi_ = WindowDpi(Handle());

  // Image1 holds no picture: it shows the window's background, the system's
  // window colour (white in the normal look).
  Image1 = TWinControl(AddControl(Handle(), L"STATIC", L"", SS_LEFT,
                                  At(0, 0, kImageWidth, kNotebookHeight), FontKind::Form));
  // Controls of our own classes are created anywhere and placed by the
  // layout, like every other.
  SpeedBar1 = std::make_unique<TSpeedBar>(TSpeedBar::Args{Handle(), RECT{}});
  Place(SpeedBar1->Handle(), At(0, kNotebookHeight, kClientWidth, kBarHeight), FontKind::Bar);
  // Creation order is also the order from front to back and the tab order:
  // Cancel, then Next in front of Finish, which shares its place.
  HWND bar = SpeedBar1->Handle();
  const DWORD button = WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | BS_PUSHBUTTON;
  const RECT nextOrFinish = At(596, 10, 98, 33);
  btCANCEL = TWinControl(
      AddControl(bar, L"BUTTON", L"&Annuleer", button, At(10, 10, 99, 33), FontKind::Bar));
  btNEXT =
      TWinControl(AddControl(bar, L"BUTTON", L"Volgende >", button, nextOrFinish, FontKind::Bar));
  // Tab reaches only the front one of the two.
  btFINISH = TWinControl(
      AddControl(bar, L"BUTTON", L"Voltooien", button & ~WS_TABSTOP, nextOrFinish, FontKind::Bar));

  TNotebook::Args pages{Handle(), RECT{}, {}};
  for (const PageDesign& page : kPages)
    pages.pageCaptions.push_back(page.name);
  Notebook1 = std::make_unique<TNotebook>(pages);
  // The order of the window's children is the tab order: the page's controls
  // first, then the buttons of the bar.
  SetWindowPos(Notebook1->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Place(Notebook1->Handle(), At(kImageWidth, 0, kClientWidth - kImageWidth, kNotebookHeight),
        FontKind::Form);
  BuildPages();

  ApplyLayout(dpi_);
  FormCreate();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::Place(HWND window, RECT design, FontKind font, bool autoWidth, bool autoHeight,
                     bool wordWrap) {
  placements_.push_back({window, design, font, autoWidth, autoHeight, wordWrap});
}

HWND TfrmMain::AddControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style,
                          RECT design, FontKind font, bool autoWidth, bool autoHeight,
                          bool wordWrap, DWORD exStyle) {
  HWND control = CreateWindowExW(exStyle, className, text, WS_CHILD | style, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++)),
                                 GetModuleHandleW(nullptr), nullptr);
  if (control == nullptr)
    throw Exception(u"CreateWindowEx " + FromWide(className));
  Place(control, design, font, autoWidth, autoHeight, wordWrap);
  return control;
}

HWND TfrmMain::AddLabel(int page, const wchar_t* text, int left, int top, int width, int height,
                        bool wordWrap, FontKind font) {
  const DWORD style = WS_VISIBLE | SS_NOPREFIX | (wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
  const bool autoWidth = width == 0;
  const bool autoHeight = height == 0;
  return AddControl(Notebook1->PageHandle(page), L"STATIC", text, style,
                    At(left, top, width, height), font, autoWidth, autoHeight, wordWrap);
}

void TfrmMain::BuildPages() {
  for (int page = 0; page < Notebook1->PageCount(); ++page) {
    Titles.emplace_back(AddLabel(page, kPages[page].title, 21, 21, 0, 0, false, FontKind::Title));
  }
  auto radio = [this](int page, const wchar_t* text, int left, int top, bool visible, bool group) {
    DWORD style =
        BS_AUTORADIOBUTTON | WS_TABSTOP | (visible ? WS_VISIBLE : 0) | (group ? WS_GROUP : 0);
    return TWinControl(AddControl(Notebook1->PageHandle(page), L"BUTTON", text, style,
                                  At(left, top, 200, kButtonLineHeight), FontKind::Form));
  };
  auto page = [this](int index) { return Notebook1->PageHandle(index); };

  // SelectTaal: created in tab order.
  AddLabel(kSelectTaal, L"Kies uw taal", 21, 84);
  rbNEDERLANDS = radio(kSelectTaal, L"Nederlands", 42, 126, true, true);
  rbFRANS = radio(kSelectTaal, L"Fran\u00e7ais", 42, 157, true, false);
  rbDUITS = radio(kSelectTaal, L"Deutsch", 42, 219, true, false);
  rbENGELS = radio(kSelectTaal, L"English", 42, 188, true, false);
  rbITALIAANS = radio(kSelectTaal, L"Italiano", 314, 251, false, false);
  rbSPAANS = radio(kSelectTaal, L"Espagnol", 314, 282, false, false);
  rbNEDERLANDS.SetChecked(true);

  // Start
  AddLabel(kStart,
           L"Deze routine zal het bestelprogramma op uw computer installeren. Kies voor Volgende "
           L"om door te gaan.",
           21, 84, 493, 43, true);
  AddLabel(kStart, L"", 21, 398, 493, 43, true);

  // Locatie
  AddLabel(kLocatie, L"Selecteer een schijf waarop u het programma wenst te installeren", 21, 84);
  InstallDrive = std::make_unique<TDriveCombo>(TDriveCombo::Args{
      page(kLocatie), nextId_++, RECT{}, {TDriveType::dtFixed}, nullptr, nullptr});
  // The height is the dropped-down list's.
  Place(InstallDrive->Handle(), At(21, 126, 409, 200), FontKind::Form);

  // ProxySettings
  AddLabel(kProxySettings,
           L"Het installatie programma zal de nodige componenten downloaden en installeren.", 21,
           84, 503, 53, true);
  AddLabel(kProxySettings,
           L"Het installatie programma vereist hiervoor toegang tot het internet .  Schakel "
           L"eventueel uw firewall programma uit.",
           21, 146, 475, 54, true, FontKind::Large);
  AddLabel(kProxySettings,
           L"Indien u over een proxyserver beschikt kan u hier de gegevens ingeven.", 21, 209, 482,
           54, true);
  PROXY_USE = TWinControl(AddControl(page(kProxySettings), L"BUTTON", L"Een proxyserver gebruiken",
                                     WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX,
                                     At(21, 262, 300, kButtonLineHeight), FontKind::Form));
  AddLabel(kProxySettings, L"Adres", 21, 303);
  // The fields sit level with their labels.
  PROXY_SERVER = TWinControl(AddControl(
      page(kProxySettings), L"EDIT", L"", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
      At(73, 299, 420, kEditHeight), FontKind::Form, false, false, false, WS_EX_CLIENTEDGE));
  AddLabel(kProxySettings, L"Poort", 21, 335);
  PROXY_POORT = std::make_unique<TValidateEdit>(
      TValidateEdit::Args{page(kProxySettings), nextId_++, RECT{}, nullptr});
  Place(PROXY_POORT->Handle(), At(73, 331, 64, kEditHeight), FontKind::Form);

  // InstallMain
  AddLabel(kInstallMain, L"Even geduld aub.", 21, 84);
  AddLabel(kInstallMain, L"De componenten worden gedownload en ge\u00efnstalleerd", 21, 126);
  ProgressBar = TWinControl(AddControl(page(kInstallMain), PROGRESS_CLASSW, L"", WS_VISIBLE,
                                       At(21, 167, 482, 23), FontKind::Form));

  // Data
  rbSERVER = radio(kData, L"Installeer de gegevens op de PC", 52, 63, true, true);
  AddLabel(kData, L"Installeer een leeg gegevens bestand", 84, 94);
  rbWORKSTATION = radio(kData, L"Installeer GEEN gegevens.", 52, 126, true, false);
  rbSERVER.SetChecked(true);
  AddLabel(kData, L"De gegevens zijn aanwezig of  staan op een andere PC/Server", 84, 157, 426, 0,
           true);
  AddLabel(kData, L"Locatie voor de gegevens", 21, 345);
  // The layout sizes the browse button as well.
  GegevensLocatie = std::make_unique<TDirectoryEdit>(TDirectoryEdit::Args{
      page(kData), nextId_++, RECT{}, L"GegevensLocatie", 0, nullptr, nullptr});
  Place(GegevensLocatie->Handle(), At(21, 377, 493, kEditHeight), FontKind::Form);

  // InstallData
  AddLabel(kInstallData, L"Even geduld aub", 21, 84);
  AddLabel(kInstallData, L"De gegevens worden ge\u00efnstalleerd", 21, 126);

  // Einde
  AddLabel(kEinde,
           L"Deze routine heeft met succes het bestelprogramma op uw computer ge\u00efnstalleerd. "
           L"Klik op Voltooien om af te sluiten.",
           21, 84, 493, 74, true);

  // Abort
  AddLabel(kAbort,
           L"Het programma is niet succesvol ge\u00efnstalleerd op uw PC. Het programma zal "
           L"mogelijk niet correct werken.",
           21, 84, 472, 43, true);
  AddLabel(kAbort, L"Voer de installatie later opnieuw uit.", 21, 146, 138, 0, true);
  AddLabel(kAbort, L"Neem contact op met Orvelin BVBA indien het probleem zich blijft voordoen.",
           21, 241);
}

void TfrmMain::ApplyLayout(UINT dpi) {
  LayOutControls(dpi);
  const SIZE frame = FrameSize(dpi);
  SetWindowPos(Handle(), nullptr, 0, 0, frame.cx, frame.cy,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  // The frame may be drawn at another resolution than the one asked for
  // (Wine keeps the system's): correct by what the client area came to.
  RECT client{};
  GetClientRect(Handle(), &client);
  const int extraWidth = Scale(kClientWidth, dpi) - client.right;
  const int extraHeight = Scale(kClientHeight, dpi) - client.bottom;
  if (extraWidth != 0 || extraHeight != 0) {
    SetWindowPos(Handle(), nullptr, 0, 0, frame.cx + extraWidth, frame.cy + extraHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }
}

SIZE TfrmMain::FrameSize(UINT dpi) const {
  RECT frame{0, 0, Scale(kClientWidth, dpi), Scale(kClientHeight, dpi)};
  AdjustWindowRectExForDpi(&frame, kFrameStyle, FALSE, kFrameExStyle, dpi);
  return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void TfrmMain::LayOutControls(UINT dpi) {
  dpi_ = dpi;
  decltype(fonts_) fonts;
  static_assert(std::size(kFontHeights) == std::tuple_size_v<decltype(fonts_)>);
  for (std::size_t kind = 0; kind < fonts.size(); ++kind)
    fonts[kind] = CreateTahoma(kFontHeights[kind], dpi);

  window_dc dc(Handle());
  for (const Placement& placed : placements_) {
    HFONT font = fonts[static_cast<std::size_t>(placed.font)].get();
    SendMessageW(placed.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    RECT rect = ScaleRect(placed.design, dpi);
    if (placed.autoWidth || placed.autoHeight) {
      // A label sized to its text, as wide as given when it wraps.
      select_object selected(dc.get(), font);
      const std::wstring text = ToWide(WindowText(placed.window));
      RECT measured{0, 0, rect.right - rect.left, 0};
      UINT format = DT_CALCRECT | DT_NOPREFIX | (placed.wordWrap ? DT_WORDBREAK : DT_SINGLELINE);
      if (text.empty()) {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc.get(), &metrics);
        measured.bottom = metrics.tmHeight;
      } else {
        DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &measured, format);
      }
      // A one-line label that would run past its page's margin, as in a
      // wider substitute for Tahoma, wraps there instead of being cut off.
      RECT page{};
      GetClientRect(GetParent(placed.window), &page);
      const int room = page.right - Scale(21, dpi) - rect.left;
      const bool wrapAtMargin = placed.autoWidth && !placed.wordWrap && measured.right > room;
      if (wrapAtMargin) {
        measured = RECT{0, 0, room, 0};
        DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &measured,
                  DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK);
      }
      if (!placed.wordWrap) {
        LONG_PTR style = GetWindowLongPtrW(placed.window, GWL_STYLE) & ~SS_TYPEMASK;
        SetWindowLongPtrW(placed.window, GWL_STYLE,
                          style | (wrapAtMargin ? SS_LEFT : SS_LEFTNOWORDWRAP));
      }
      if (placed.autoWidth)
        rect.right = rect.left + measured.right;
      if (placed.autoHeight)
        rect.bottom = rect.top + measured.bottom;
    }
    SetWindowPos(placed.window, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(placed.window, nullptr, TRUE);
  }
  GegevensLocatie->SetButtonWidth(Scale(kBrowseButtonWidth, dpi));
  SendMessageW(Handle(), WM_SETFONT,
               reinterpret_cast<WPARAM>(fonts[static_cast<std::size_t>(FontKind::Form)].get()),
               FALSE);
  // The old fonts go only now that no control uses them.
  fonts_ = std::move(fonts);
}

void TfrmMain::Show() {
  // Centred on the screen the window is on.
  RECT frame{};
  GetWindowRect(Handle(), &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(Handle(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& screen = monitor.rcMonitor;
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(Handle(), nullptr, screen.left + (screen.right - screen.left - width) / 2,
               screen.top + (screen.bottom - screen.top - height) / 2, 0, 0,
               SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
  ShowWindow(Handle(), SW_SHOWNORMAL);
  UpdateWindow(Handle());
  FocusPage();
}

void TfrmMain::SetPageIndex(int index) {
  const int before = PageIndex();
  Notebook1->SetPageIndex(index);
  if (PageIndex() != before)
    FocusPage();
}

void TfrmMain::FocusPage() {
  if (!IsWindowVisible(Handle()))
    return;
  auto takesInput = [](HWND control) {
    return IsWindowVisible(control) != FALSE && IsWindowEnabled(control) != FALSE;
  };
  for (HWND control = GetWindow(Notebook1->PageHandle(PageIndex()), GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    if ((GetWindowLongPtrW(control, GWL_STYLE) & WS_TABSTOP) != 0 && takesInput(control)) {
      SetFocus(control);
      return;
    }
  }
  const HWND front = FinishInFront() ? btFINISH.Handle() : btNEXT.Handle();
  if (takesInput(front)) {
    SetFocus(front);
  } else if (takesInput(btCANCEL.Handle())) {
    SetFocus(btCANCEL.Handle());
  } else {
    SetFocus(Handle());
  }
}

HWND TfrmMain::DefaultButton() const {
  const HWND focus = GetFocus();
  for (HWND button : {btCANCEL.Handle(), btNEXT.Handle(), btFINISH.Handle()}) {
    if (focus == button && IsWindowVisible(button) && IsWindowEnabled(button))
      return button;
  }
  const HWND front = FinishInFront() ? btFINISH.Handle() : btNEXT.Handle();
  return IsWindowEnabled(front) ? front : nullptr;
}

void TfrmMain::PressButton(HWND button) {
  if (button == nullptr || !IsWindowVisible(button) || !IsWindowEnabled(button))
    return;
  // During the run only Cancel takes a press: nothing may start a second run.
  if (running_ && button != btCANCEL.Handle())
    return;
  if (button == btNEXT.Handle()) {
    btNEXTClick();
  } else if (button == btCANCEL.Handle()) {
    btCANCELClick();
  } else if (button == btFINISH.Handle()) {
    btFINISHClick();
  }
}

bool TfrmMain::RestoreFocus(HWND control) {
  if (control == nullptr || !IsChild(Handle(), control) || !IsWindowVisible(control) ||
      !IsWindowEnabled(control)) {
    return false;
  }
  SetFocus(control);
  return true;
}

bool TfrmMain::TranslateDialogMessage(MSG& message) {
  HWND window = Handle();
  return window != nullptr && IsDialogMessageW(window, &message) != FALSE;
}

bool TfrmMain::FinishInFront() const {
  for (HWND above = GetWindow(btNEXT.Handle(), GW_HWNDPREV); above != nullptr;
       above = GetWindow(above, GW_HWNDPREV)) {
    if (above == btFINISH.Handle())
      return true;
  }
  return false;
}

void TfrmMain::SetWaitCursor(bool wait) {
  waitCursor_ = wait;
  SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

void TfrmMain::ShowEndPage(TPage page, const std::optional<Text>& failure) {
  SetPageIndex(page);
  btFINISH.BringToFront();
  // Tab and Enter follow the button the user sees.
  SetWindowLongPtrW(btFINISH.Handle(), GWL_STYLE,
                    GetWindowLongPtrW(btFINISH.Handle(), GWL_STYLE) | WS_TABSTOP);
  SetWindowLongPtrW(btNEXT.Handle(), GWL_STYLE,
                    GetWindowLongPtrW(btNEXT.Handle(), GWL_STYLE) & ~WS_TABSTOP);
  // After a success, Abort would tell the user that the program is not
  // installed when it is; so Cancel goes with every end but the one the
  // application's failure report follows.
  btCANCEL.SetVisible(page == kInstallData);
  if (failure)
    ErrorDialog(Handle(), *failure);
  FocusPage();
  SetWaitCursor(false);
}

void TfrmMain::FormCreate() {
  SetPageIndex(kStart);
  InstallDrive->SetDrive(u'C');
}

void TfrmMain::btNEXTClick() {
  const int page = PageIndex();
  if (page == kProxySettings) {
    RunInstallation();
    return;
  }
  SetPageIndex(page + 1);
}

void TfrmMain::btCANCELClick() {
  const Text question =
      // TRANSLATORS: the question Cancel asks, in two sentences on two
      // lines; the user answers it with Yes or No.
      _(u"De installatie is niet voltooid.") + u"\r" + _(u"Bent u zeker ?");
  // The question takes the focus with it; after No it comes back to where
  // the user was, as in a dialog of the system's.
  const HWND focus = GetFocus();
  if (ConfirmDialog(Handle(), question)) {
    // During the run, Yes stops it at its next turn, which shows Abort.
    if (running_)
      stopRequested_ = true;
    else
      ShowEndPage(kAbort);
  } else {
    (void)RestoreFocus(focus);
  }
}

void TfrmMain::btFINISHClick() {
  PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TfrmMain::rbSERVERClick() {}

LRESULT TfrmMain::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      LRESULT reflected = 0;
      if (ReflectToChild(message, wParam, lParam, reflected))
        return reflected;
      if (lParam == 0) {
        // Enter and Esc, as the dialog navigation reports them: the command
        // of the default button, or IDOK and IDCANCEL, with no control's
        // handle when it finds none of that number.
        const int id = LOWORD(wParam);
        if (id == IDOK) {
          PressButton(DefaultButton());
        } else if (id == IDCANCEL) {
          PressButton(btCANCEL.Handle());
        } else if (HWND button = DefaultButton(); button != nullptr && id == GetDlgCtrlID(button)) {
          PressButton(button);
        }
        return 0;
      }
      if (HIWORD(wParam) != BN_CLICKED)
        return 0;
      const HWND control = reinterpret_cast<HWND>(lParam);
      if (control == btNEXT.Handle() || control == btCANCEL.Handle() ||
          control == btFINISH.Handle()) {
        PressButton(control);
      } else if (running_) {
        return 0;
      } else if (control == rbSERVER.Handle() || control == rbWORKSTATION.Handle()) {
        rbSERVERClick();
      }
      return 0;
    }
    case DM_GETDEFID: {
      // Asked by the dialog navigation when Enter is pressed.
      const HWND button = DefaultButton();
      return button != nullptr ? MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID) : 0;
    }
    case WM_CTLCOLORSTATIC:
      return SystemColoursFor(reinterpret_cast<HDC>(wParam));
    case WM_ERASEBKGND:
      return EraseInSystemColour(Handle(), reinterpret_cast<HDC>(wParam));
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      RepaintForNewColours(Handle(), message, wParam, lParam);
      return 0;
    case WM_SETCURSOR:
      if (waitCursor_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_DEVICECHANGE: {
      // Volume changes reach top-level windows only; the drive picker
      // listens for them too.
      ForwardToDescendants(Handle(), message, wParam, lParam);
      return TRUE;
    }
    case WM_GETDPISCALEDSIZE: {
      // Asked before the window moves to a screen of another resolution:
      // the design scaled as a whole, which is not what scaling the frame's
      // outer size would give. Windows then suggests this size below.
      *reinterpret_cast<SIZE*>(lParam) = FrameSize(static_cast<UINT>(wParam));
      return TRUE;
    }
    case WM_DPICHANGED: {
      // The controls at the new resolution, then the rectangle Windows
      // suggests, position and size in one step, as its documentation asks:
      // sizing and moving apart makes the window jump between two screens.
      LayOutControls(HIWORD(wParam));
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(Handle(), nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_ACTIVATE: {
      // Activated again, Windows puts the focus on the window itself, where
      // no control hears a key: it goes back to the control that had it
      // when another window took over, or, when a box of ours took it away
      // with the window's input, to the page's first control.
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        savedFocus_ = focus != nullptr && IsChild(Handle(), focus) ? focus : nullptr;
        return Default(message, wParam, lParam);
      }
      const LRESULT result = Default(message, wParam, lParam);
      if ((GetFocus() == Handle() || GetFocus() == nullptr) && !RestoreFocus(savedFocus_))
        FocusPage();
      return result;
    }
    case WM_CLOSE:
      // The close box during the run is Cancel: killing the run mid-write
      // would leave a half-written program behind.
      if (running_) {
        btCANCELClick();
        return 0;
      }
      DestroyWindow(Handle());
      return 0;
    case WM_QUERYENDSESSION:
      if (running_) {
        // TRANSLATORS: shown by Windows when it is shut down, or the user
        // logs off, while files are being downloaded and installed.
        const Text reason = _(u"De installatie is nog bezig.");
        ShutdownBlockReasonCreate(Handle(), reinterpret_cast<const wchar_t*>(reason.c_str()));
        return FALSE;
      }
      break;
    case WM_ENDSESSION:
      // Ending anyway: the run stops at its next turn as on Cancel's Yes.
      if (running_ && wParam != FALSE)
        stopRequested_ = true;
      return 0;
    case WM_DESTROY:
      if (mainForm_)
        PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

}  // namespace zephora
