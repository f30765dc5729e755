#include "app/error_dialog.h"

#include <windows.h>

#include "app/application.h"
#include "controls/message_box.h"

namespace zephora {

void ErrorDialog(HWND owner, const Text& text) {
  // Modal to the wizard that owns it, not to the system: a box that stays
  // in front of every other program is not what the customer expects.
  ShowMessageBox(owner, text, ApplicationTitle(), MB_OK | MB_ICONERROR | MB_APPLMODAL);
}

}  // namespace zephora
