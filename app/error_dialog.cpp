#include "app/error_dialog.h"

#include <windows.h>

#include "app/application.h"
#include "controls/message_box.h"

namespace zephora {

void ErrorDialog(HWND owner, const Text& text) {
  ShowMessageBox(owner, text, ApplicationTitle(), MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
}

}  // namespace zephora
