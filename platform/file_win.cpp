#include <windows.h>

#include <climits>

#include "platform/file.h"
#include "platform/wide.h"

namespace zephora {
namespace {

HANDLE H(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

int LastError() {
  return static_cast<int>(GetLastError());
}

}  // namespace

int File::Open(const Text& path, FileMode mode) {
  Close();
  DWORD access = GENERIC_READ, share = 0, disposition = OPEN_EXISTING;
  switch (mode) {
    case FileMode::CreateExclusive:
      access = GENERIC_READ | GENERIC_WRITE, disposition = CREATE_ALWAYS;
      break;
    case FileMode::CreateWriteShareRead:
      access = GENERIC_WRITE, share = FILE_SHARE_READ, disposition = CREATE_ALWAYS;
      break;
    case FileMode::CreateNewWriteShareRead:
      // DELETE lets DiscardNewFile delete it through this handle.
      access = GENERIC_WRITE | DELETE, share = FILE_SHARE_READ, disposition = CREATE_NEW;
      break;
    case FileMode::ReadShareReadWrite:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    case FileMode::ReadShareRead:
      share = FILE_SHARE_READ;
      break;
    case FileMode::ReadShareAll:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      break;
  }
  // Nearly every path is short enough to go to the system without a copy.
  const std::wstring extended =
      path.size() >= kShortestExtendedPath ? ToWidePath(path) : std::wstring();
  const HANDLE h = CreateFileW(extended.empty() ? WidePointer(path) : extended.c_str(), access,
                               share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return LastError();
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

void File::Close() {
  if (handle_ != kInvalid) {
    CloseHandle(H(handle_));
    handle_ = kInvalid;
  }
}

int File::Read(void* buffer, std::size_t size, std::size_t& done) {
  DWORD got = 0;
  const DWORD want = size > UINT_MAX ? UINT_MAX : static_cast<DWORD>(size);
  done = 0;
  if (!ReadFile(H(handle_), buffer, want, &got, nullptr))
    return LastError();
  done = got;
  return 0;
}

int File::ReadAt(std::int64_t offset, void* buffer, std::size_t size, std::size_t& done) {
  if (const int error = Seek(offset)) {
    done = 0;
    return error;
  }
  return Read(buffer, size, done);
}

int File::Write(const void* buffer, std::size_t size) {
  const auto* p = static_cast<const char*>(buffer);
  while (size > 0) {
    const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(H(handle_), p, want, &written, nullptr))
      return LastError();
    p += written;
    size -= written;
  }
  return 0;
}

int File::Seek(std::int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN) ? 0 : LastError();
}

int File::SetSize(std::int64_t size) {
  if (const int error = Seek(size))
    return error;
  return SetEndOfFile(H(handle_)) ? 0 : LastError();
}

int File::Size(std::int64_t& size) const {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(H(handle_), &value))
    return LastError();
  size = value.QuadPart;
  return 0;
}

}  // namespace zephora
