// TShellLink: the settings of one shell link (.lnk) file as plain
// properties, written to or read from the file named by LinkFile through the
// system's shell link object. COM must already be initialised on the thread.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/exception.h"
#include "platform/text.h"

namespace zephora {

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

// The shell link object could not be created; carries the result code.
class EOleSysError : public Exception {
 public:
  EOleSysError(Text message, HRESULT errorCode)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  HRESULT ErrorCode;
};

// The object lacks an interface the component needs.
class EIntfCastError : public Exception {
 public:
  using Exception::Exception;
};

class TShellLink {
 public:
  TShellLink() = default;

  // Writes LinkFile from the properties. An empty WorkingDirectory becomes
  // the folder of ProgramFile first (up to its last separator or ":"), and
  // stays so.
  void Write();
  // Replaces every property but LinkFile with the link file's values.
  void Read();

  Text Arguments;
  Text Description;
  Text IconFile;
  std::uint32_t IconIndex = 0;
  std::uint16_t HotKey = 0;
  Text LinkFile;
  Text ProgramFile;
  TWindowState WindowState = TWindowState::wsNormal;
  Text WorkingDirectory;
};

}  // namespace zephora
