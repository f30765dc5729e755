#include "app/install_steps.h"

#include <shlobj.h>
#include <windows.h>

#include <utility>
#include <vector>

#include "app/install_texts.h"
#include "platform/exception.h"
#include "platform/wide.h"
#include "platform/win_handles.h"
#include "shelllink/ShellLink.h"

namespace zephora {
namespace {

const wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const Text kDesktopValue = u"Desktop";

// Two spellings of one folder: Windows paths ignore case, and a trailing
// separator names the same folder.
bool SameFolder(Text a, Text b) {
  for (Text* path : {&a, &b}) {
    while (path->size() > 1 && path->back() == u'\\')
      path->pop_back();
  }
  const std::wstring wa = ToWide(a), wb = ToWide(b);
  return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                              static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

Text InstallFolderOf(char16_t drive) {
  return Text(1, drive) + u":\\ZEPHORA\\";
}

bool FolderExistsForInstall(const Text& folder) {
  const DWORD attributes = GetFileAttributesW(ToWide(folder).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
      return false;
    default:
      return true;
  }
}

void ForceDirectories(const Text& folder) {
  Text path = folder;
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/'))
    path.pop_back();
  if (path.empty() || FolderExistsForInstall(path))
    return;
  const size_t parentEnd = path.find_last_of(u"\\/");
  if (parentEnd != Text::npos && parentEnd > 0 && path[parentEnd - 1] != u':') {
    ForceDirectories(path.substr(0, parentEnd));
  }
  CreateDirectoryW(ToWide(path).c_str(), nullptr);
}

void MakeInstallFolder(const Text& folder) {
  if (!FolderExistsForInstall(folder))
    ForceDirectories(folder);
}

void WriteSettingsLanguage(const Text& settingsFile, const Text& language) {
  const std::wstring file = ToWide(settingsFile);
  if (!WritePrivateProfileStringW(L"SETUP", L"TAAL", ToWide(language).c_str(), file.c_str())) {
    throw Exception(FormatResString(SUnableToWrite, {settingsFile}));
  }
  // The profile-file object is released here, which flushes what it cached.
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, file.c_str());
}

std::optional<Text> ReadShellFoldersDesktop() {
  // Read access only: the wizard never writes the key, and creating it
  // empty where it is missing would only leave the shell to answer anyway.
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return std::nullopt;
  const unique_hkey key(raw);
  DWORD type = 0, size = 0;
  LONG status = RegQueryValueExW(key.get(), L"Desktop", nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND)
    return Text();
  if (status != ERROR_SUCCESS)
    throw Exception(FormatResString(SRegGetDataFailed, {kDesktopValue}));
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    throw Exception(FormatResString(SInvalidRegType, {kDesktopValue}));
  }
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
  DWORD bytes = size;
  status = RegQueryValueExW(key.get(), L"Desktop", nullptr, &type,
                            reinterpret_cast<BYTE*>(data.data()), &bytes);
  if (status != ERROR_SUCCESS)
    throw Exception(FormatResString(SRegGetDataFailed, {kDesktopValue}));
  return FromWide(std::wstring(data.data()));  // up to the first NUL, not expanded
}

TShellFolder ShellDesktopFolder() {
  PWSTR raw = nullptr;
  const HRESULT result = SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &raw);
  // The shell allocates the path even on some failures; it is ours to free.
  const unique_cotaskmem<wchar_t> path(raw);
  if (FAILED(result))
    return TShellFolder{Text(), result};
  // Success without a path: the shell has no such folder for this user.
  if (!path || path.get()[0] == L'\0')
    return TShellFolder{Text(), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)};
  return TShellFolder{FromWide(path.get()), result};
}

Text DesktopFolderFor(const TInstallWork& work, const Text& linkName) {
  std::optional<Text> stored = work.ReadDesktop();
  TShellFolder shell = work.ShellDesktop();
  // "Shell Folders" is a copy Windows keeps for old programs. After the
  // desktop has been redirected or moved it can still name the old folder,
  // which may well exist: the shortcut would land where the user never
  // looks. Where the shell names another folder, the shell is right. Without
  // the key, or with a missing or empty value, the shell is all there is.
  const bool haveStored = stored && !stored->empty();
  if (haveStored && (shell.Path.empty() || SameFolder(*stored, shell.Path)))
    return std::move(*stored);
  if (shell.Path.empty()) {
    RaiseCannotCreateShortcut(
        linkName, FAILED(shell.Result) ? shell.Result : HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  }
  return std::move(shell.Path);
}

}  // namespace zephora
