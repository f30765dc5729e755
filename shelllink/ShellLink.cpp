#include "shelllink/ShellLink.h"

#include <objbase.h>
#include <shlobj.h>

#include "platform/path.h"
#include "platform/system_error.h"
#include "platform/wide.h"
#include "platform/win_handles.h"
#include "shelllink/com_object.h"
#include "shelllink/shelllink_texts.h"

namespace zephora {
namespace {

// Every text comes back through a buffer of this many code units.
constexpr int kBufferLength = 256;

Text BufferText(const wchar_t* buffer) {
  std::size_t length = 0;
  while (length < kBufferLength && buffer[length] != L'\0')
    ++length;
  return FromWide(std::wstring_view(buffer, length));
}

int ShowCommandOf(TWindowState state) {
  switch (state) {
    case TWindowState::wsMinimized:
      return SW_MINIMIZE;
    case TWindowState::wsMaximized:
      return SW_SHOWMAXIMIZED;
    case TWindowState::wsNormal:
      break;
  }
  return SW_SHOWNORMAL;
}

// The system's description of a result code, or its number when the system
// has none. A Win32 error wrapped as a result code reads as that error.
Text ResultText(HRESULT result) {
  const int code =
      HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : static_cast<int>(result);
  Text reason = TrimErrorText(SystemErrorText(code));
  if (reason.empty())
    reason = FormatResString(SOleErrorCode, {static_cast<unsigned>(result)});
  return reason;
}

struct LinkObject {
  com_ptr<IUnknown> object;
  com_ptr<IShellLinkW> link;
  com_ptr<IPersistFile> file;
};

LinkObject ObtainLinkObject() {
  LinkObject result;
  result.object = CreateComObject(CLSID_ShellLink);
  result.link = RequireInterface<IShellLinkW>(result.object, IID_IShellLinkW);
  result.file = RequireInterface<IPersistFile>(result.object, IID_IPersistFile);
  return result;
}

}  // namespace

com_ptr<IUnknown> CreateComObject(REFCLSID classId) {
  com_ptr<IUnknown> object;
  HRESULT result = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                    IID_IUnknown, object.put_void());
  if (FAILED(result)) {
    wchar_t classText[40] = {};
    StringFromGUID2(classId, classText, 40);
    throw EOleSysError(FormatResString(SOleError, {ResultText(result), FromWide(classText)}),
                       result);
  }
  return object;
}

void RaiseCannotCreateShortcut(const Text& linkFile, HRESULT result) {
  throw Exception(FormatResString(SCannotCreateShortcut, {linkFile, ResultText(result)}));
}

void ThrowInterfaceNotSupported() {
  throw EIntfCastError(LoadResString(SIntfNotSupported));
}

void TShellLink::Write() {
  LinkObject link = ObtainLinkObject();
  // The calls and their order are those the link format expects of us. A
  // link without its target, or one that never reached the disk, is no
  // shortcut: those two are examined, the finer settings are not.
  link.link->SetArguments(ToWide(Arguments).c_str());
  link.link->SetDescription(ToWide(Description).c_str());
  link.link->SetHotkey(HotKey);
  if (!IconFile.empty()) {
    link.link->SetIconLocation(ToWide(IconFile).c_str(), static_cast<int>(IconIndex));
  }
  if (const HRESULT result = link.link->SetPath(ToWide(ProgramFile).c_str()); FAILED(result))
    RaiseCannotCreateShortcut(LinkFile, result);
  link.link->SetShowCmd(ShowCommandOf(WindowState));
  if (WorkingDirectory.empty())
    WorkingDirectory = ExtractFilePath(ProgramFile);
  link.link->SetWorkingDirectory(ToWide(WorkingDirectory).c_str());
  if (const HRESULT result = link.file->Save(ToWide(LinkFile).c_str(), FALSE); FAILED(result))
    RaiseCannotCreateShortcut(LinkFile, result);
}

void TShellLink::Read() {
  LinkObject link = ObtainLinkObject();
  link.file->Load(ToWide(LinkFile).c_str(), STGM_READ);
  wchar_t buffer[kBufferLength] = {};

  // A query that fails leaves its property as it was.
  if (SUCCEEDED(link.link->GetArguments(buffer, kBufferLength)))
    Arguments = BufferText(buffer);
  buffer[0] = L'\0';
  if (SUCCEEDED(link.link->GetDescription(buffer, kBufferLength))) {
    Description = BufferText(buffer);
  }
  WORD hotKey = 0;
  if (SUCCEEDED(link.link->GetHotkey(&hotKey)))
    HotKey = hotKey;
  buffer[0] = L'\0';
  int iconIndex = 0;
  if (SUCCEEDED(link.link->GetIconLocation(buffer, kBufferLength, &iconIndex))) {
    IconFile = BufferText(buffer);
    IconIndex = static_cast<std::uint32_t>(iconIndex);
  }
  buffer[0] = L'\0';
  WIN32_FIND_DATAW found{};
  if (SUCCEEDED(link.link->GetPath(buffer, kBufferLength, &found, SLGP_UNCPRIORITY))) {
    ProgramFile = BufferText(buffer);
  }
  int show = 0;
  if (SUCCEEDED(link.link->GetShowCmd(&show))) {
    if (show == SW_SHOWNORMAL)
      WindowState = TWindowState::wsNormal;
    if (show == SW_SHOWMAXIMIZED)
      WindowState = TWindowState::wsMaximized;
    if (show == SW_MINIMIZE)
      WindowState = TWindowState::wsMinimized;
  }
  buffer[0] = L'\0';
  if (SUCCEEDED(link.link->GetWorkingDirectory(buffer, kBufferLength))) {
    WorkingDirectory = BufferText(buffer);
  }
}

}  // namespace zephora
