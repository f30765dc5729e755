// TfrmMain: the wizard window, its pages, controls and components, and the
// handlers of its buttons.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "app/install_steps.h"
#include "controls/directory_edit.h"
#include "controls/drive_combo.h"
#include "controls/notebook.h"
#include "controls/speed_bar.h"
#include "controls/validate_edit.h"
#include "controls/win_control.h"
#include "controls/window.h"
#include "platform/win_handles.h"
#include "shelllink/ShellLink.h"
#include "transfer/http/http_client.h"
#include "transfer/zip/unzipper.h"

namespace zephora {

// The wizard's pages, by index. Each page's window carries the page's name
// (SelectTaal, Start, ..., Abort) as its text: tools outside the process,
// tools/uidriver among them, tell the page shown by it, never by a text the
// user reads.
enum TPage : int {
  kSelectTaal = 0,
  kStart = 1,
  kLocatie = 2,
  kProxySettings = 3,
  kInstallMain = 4,
  kData = 5,
  kInstallData = 6,
  kEinde = 7,
  kAbort = 8,
};

class TfrmMain : public Window {
 public:
  // Builds the window with every control and component, then runs
  // FormCreate. The window is not shown yet. The packages come from below
  // `downloadBaseUrl`, the download server SETUP.EXE was built for.
  explicit TfrmMain(Text downloadBaseUrl);
  ~TfrmMain() override;

  // Closing this window ends the program's message loop.
  void SetMainForm(bool mainForm) { mainForm_ = mainForm; }
  void Show();
  // Keyboard navigation between the controls (Tab, access keys).
  bool TranslateDialogMessage(MSG& message);

  // The wizard's state.
  int PageIndex() const { return Notebook1->PageIndex(); }
  // Shows the page and puts the keyboard focus on its first control.
  void SetPageIndex(int index);
  int PageCount() const { return Notebook1->PageCount(); }
  // Whether Finish lies in front of Next.
  bool FinishInFront() const;
  void SetWaitCursor(bool wait);
  bool WaitCursor() const { return waitCursor_; }
  // Leaves the wizard on an end page, as a run or Cancel does: Einde, Abort
  // or InstallData, with Finish in front of Next, Cancel shown on
  // InstallData only and the normal cursor. A failure's message is shown in
  // the error box once its page is there, before the cursor comes back.
  void ShowEndPage(TPage page, const std::optional<Text>& failure = std::nullopt);
  // The resolution the window is laid out for.
  UINT Dpi() const { return dpi_; }

  // Handlers.
  void FormCreate();
  void btNEXTClick();
  void btCANCELClick();
  void btFINISHClick();
  void rbSERVERClick();
  // The work of Next on the proxy page (app/install_run.cpp).
  void RunInstallation();
  // The run's turn: the window handles what is queued for it (painting,
  // Cancel and its question); false once the user has chosen to stop.
  bool Turn();

  // Components and controls, as the window's design names them.
  TWinControl Image1;
  std::unique_ptr<TSpeedBar> SpeedBar1;
  TWinControl btFINISH;
  TWinControl btCANCEL;
  TWinControl btNEXT;
  std::unique_ptr<TNotebook> Notebook1;
  // Page titles, by page index.
  std::vector<TWinControl> Titles;
  // SelectTaal
  TWinControl rbNEDERLANDS, rbFRANS, rbENGELS, rbDUITS, rbITALIAANS, rbSPAANS;
  // Locatie
  std::unique_ptr<TDriveCombo> InstallDrive;
  // ProxySettings
  TWinControl PROXY_USE;
  TWinControl PROXY_SERVER;
  std::unique_ptr<TValidateEdit> PROXY_POORT;
  // InstallMain
  TWinControl ProgressBar;
  // Data
  TWinControl rbSERVER, rbWORKSTATION;
  std::unique_ptr<TDirectoryEdit> GegevensLocatie;

  // Non-visual components.
  const Text DownloadBaseUrl;
  TShellLink ShellLink;
  zip::TUnZipper UnZipper1;
  THttpClient HttpClient1;
  // What the installation run does outside the window.
  TInstallWork InstallWork;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The design's fonts, by role; their heights are in ufrmMain.cpp.
  enum class FontKind { Form, Bar, Title, Large, Count };
  // Every label, control and page of the window with its design rectangle
  // and font: the one record the layout is made from, at any resolution.
  struct Placement {
    HWND window;
    RECT design;  // in design pixels, relative to its parent
    FontKind font;
    bool autoWidth;
    bool autoHeight;
    bool wordWrap;
  };

  void Place(HWND window, RECT design, FontKind font, bool autoWidth = false,
             bool autoHeight = false, bool wordWrap = false);
  HWND AddControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style,
                  RECT design, FontKind font, bool autoWidth = false, bool autoHeight = false,
                  bool wordWrap = false, DWORD exStyle = 0);
  HWND AddLabel(int page, const wchar_t* text, int left, int top, int width = 0, int height = 0,
                bool wordWrap = false, FontKind font = FontKind::Form);
  void BuildPages();
  // The controls and fonts at `dpi`, then the frame around them.
  void ApplyLayout(UINT dpi);
  void LayOutControls(UINT dpi);
  // The window's outer size at `dpi`: the design's client area in the frame
  // that Windows draws at that resolution.
  SIZE FrameSize(UINT dpi) const;
  // The keyboard focus on the first control of the page shown, or where
  // there is none, on the front button of the Next/Finish pair, or on
  // Cancel, whichever takes input.
  void FocusPage();
  // The button Enter presses: a focused button of the bar, or else the
  // front button of the Next/Finish pair; null when that one is disabled.
  HWND DefaultButton() const;
  // A press of one of the bar's buttons, by mouse or keyboard; a button
  // hidden or disabled takes none.
  void PressButton(HWND button);
  // The focus back on `control` when it is still one of the window's and
  // takes input; false when it is not.
  bool RestoreFocus(HWND control);

  // The progress bar's position for `fraction` (0 to 1) of the part of the
  // run from `from` to `to` (bar units); the bar never moves back.
  void Advance(int from, int to, double fraction);
  void ConnectRunEvents(int package);
  void DisconnectRunEvents();

  std::vector<Placement> placements_;
  std::array<unique_hfont, static_cast<std::size_t>(FontKind::Count)> fonts_;
  UINT dpi_ = 96;
  int nextId_ = 100;
  bool mainForm_ = false;
  bool waitCursor_ = false;
  // The control that had the focus when another window was activated.
  HWND savedFocus_ = nullptr;
  bool running_ = false;
  bool stopRequested_ = false;
  int progress_ = 0;
};

}  // namespace zephora
