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

// Raises "Cannot create the shortcut "%s". %s" with the link file and the
// system's description of the result code.
[[noreturn]] void RaiseCannotCreateShortcut(const Text& linkFile, HRESULT result);

class TShellLink {
 public:
  TShellLink() = default;

  // Writes LinkFile from the properties. An empty WorkingDirectory becomes
  // the folder of ProgramFile first (up to its last separator or ":"), and
  // stays so. Raises "Cannot create the shortcut "%s". %s" when the link
  // object refuses the target or the file cannot be saved.
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
