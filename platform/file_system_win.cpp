#include <windows.h>

#include <string>

#include "platform/file_system.h"
#include "platform/wide.h"
#include "platform/win_handles.h"

namespace zephora {
namespace {

int LastError() {
  return static_cast<int>(GetLastError());
}

// "~zph" and `value` in eight hex digits, ".tmp".
Text TempFileName(DWORD value) {
  Text name = u"~zph00000000.tmp";
  for (int digit = 11; digit >= 4; --digit, value >>= 4)
    name[digit] = u"0123456789abcdef"[value & 0xF];
  return name;
}

// Opens the file for `access` while sharing everything, so that the look
// stands in no one's way, and closes it at once; the error, or 0.
int ProbeOpen(const std::wstring& path, DWORD access) {
  const unique_file_handle probe(
      CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return probe ? 0 : LastError();
}

}  // namespace

int QueryFileSize(const Text& path, std::int64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(ToWidePath(path).c_str(), GetFileExInfoStandard, &data)) {
    return LastError();
  }
  size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return 0;
}

int CreateTempFile(const Text& folder, File& file, Text& path) {
  static LONG counter = 0;
  const DWORD seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const DWORD value = seed + static_cast<DWORD>(InterlockedIncrement(&counter)) * 40503u;
    path = folder + TempFileName(value);
    const int error = file.Open(path, FileMode::CreateNewWriteShareRead);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return error;
  }
  return ERROR_FILE_EXISTS;
}

int ReplaceFileWith(const Text& source, const Text& target) {
  const std::wstring to = ToWidePath(target);
  // Not every implementation of MoveFileExW refuses a read-only target.
  const DWORD existing = GetFileAttributesW(to.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  if (MoveFileExW(ToWidePath(source).c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
    return 0;
  const int error = LastError();
  if (error != ERROR_ACCESS_DENIED)
    return error;
  // A target that another program has open is refused as "access denied",
  // like one we may not touch at all: a rename never replaces an open file,
  // whatever it shares. Asking for the right to delete it, sharing
  // everything, tells them apart: a holder that does not share deletion
  // answers with a sharing violation.
  const int deleteProbe = ProbeOpen(to, DELETE);
  if (deleteProbe == ERROR_SHARING_VIOLATION)
    return ERROR_SHARING_VIOLATION;
  if (deleteProbe != 0)
    return error;
  // Deletion is ours to ask for, so the file is either open in a program
  // that shares everything (a virus scanner, an indexer, a backup agent,
  // which let go soon) or a running program's image, which shares deletion
  // too but will not let go by itself. Only the image refuses writing.
  return ProbeOpen(to, FILE_WRITE_DATA) == 0 ? ERROR_SHARING_VIOLATION : error;
}

bool IsBriefHold(int error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool IsSameFile(const File& file, const Text& path) {
  BY_HANDLE_FILE_INFORMATION held{}, named{};
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(file.NativeHandle()), &held))
    return false;
  // No access asked for, and all shared: this look never stands in anyone's way.
  const unique_file_handle other(CreateFileW(
      ToWidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!other || !GetFileInformationByHandle(other.get(), &named))
    return false;
  return held.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         held.nFileIndexHigh == named.nFileIndexHigh && held.nFileIndexLow == named.nFileIndexLow;
}

int RemoveFile(const Text& path) {
  return DeleteFileW(ToWidePath(path).c_str()) ? 0 : LastError();
}

int DiscardNewFile(File& file, const Text& path) {
  if (file.IsOpen()) {
    FILE_DISPOSITION_INFO dispose = {TRUE};
    const bool pending = SetFileInformationByHandle(reinterpret_cast<HANDLE>(file.NativeHandle()),
                                                    FileDispositionInfo, &dispose, sizeof dispose);
    file.Close();
    if (pending)
      return 0;
  }
  return RemoveFile(path);
}

int SetWrittenFileTimeAndAttributes(File& file, const LocalDateTime& time,
                                    std::uint32_t attributes) {
  SYSTEMTIME local = {};
  local.wYear = static_cast<WORD>(time.year);
  local.wMonth = static_cast<WORD>(time.month);
  local.wDay = static_cast<WORD>(time.day);
  local.wHour = static_cast<WORD>(time.hour);
  local.wMinute = static_cast<WORD>(time.minute);
  local.wSecond = static_cast<WORD>(time.second);
  SYSTEMTIME utc;
  FILETIME stamp;
  // The zone's rule for that date, not today's offset.
  const int timeError =
      TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) && SystemTimeToFileTime(&utc, &stamp)
          ? 0
          : LastError();
  const HANDLE h = reinterpret_cast<HANDLE>(file.NativeHandle());
  // Zero leaves a time or the attributes as they are.
  FILE_BASIC_INFO info = {};
  if (timeError == 0) {
    info.LastWriteTime.LowPart = stamp.dwLowDateTime;
    info.LastWriteTime.HighPart = static_cast<LONG>(stamp.dwHighDateTime);
  }
  // What SetFileAttributesW would be given: "normal" stands for none.
  info.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  if (SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info))
    return timeError;
  // A file system that refuses the attributes (a folder's bit on a file)
  // must not cost the file its time: each on its own, as when set apart.
  int error = timeError != 0 ? timeError : LastError();
  const DWORD wanted = info.FileAttributes;
  info.FileAttributes = 0;
  if (timeError == 0 && !SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info))
    error = LastError();
  info = {};
  info.FileAttributes = wanted;
  if (!SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info))
    error = LastError();
  return error;
}

int ReadFileAttributes(const Text& path, std::uint32_t& attributes) {
  const DWORD value = GetFileAttributesW(ToWidePath(path).c_str());
  if (value == INVALID_FILE_ATTRIBUTES)
    return LastError();
  attributes = value;
  return 0;
}

int WriteFileAttributes(const Text& path, std::uint32_t attributes) {
  const DWORD value = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return SetFileAttributesW(ToWidePath(path).c_str(), value) ? 0 : LastError();
}

}  // namespace zephora
