#include "app/ufrmMain.h"

namespace zephora {

// Next on the proxy page: the installation run. It downloads and unpacks
// the packages, writes SETUP.INI and the desktop shortcut, and leaves the
// wizard on Einde, Abort or InstallData. Until the download and unpacking
// components are wired in, Next on this page does nothing.
void TfrmMain::RunInstallation() {}

}  // namespace zephora
