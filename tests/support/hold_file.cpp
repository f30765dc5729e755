// hold_file: another program that has a file open, as a virus scanner or the
// running program itself would. It opens PATH for reading and lets others
// only read it (no writing, no deletion, so no replacement), or do what
// SHARING says, then lets go as RELEASE says:
//
//   share r|rw|rd|rwd|-   what others may do meanwhile: read, write, delete
//                         ("-" for nothing). Scanners, indexers and backup
//                         agents share all three: "rwd".
//
//   throughout            when COMMAND has ended
//   until FILE            once FILE exists
//   after PATTERN MS      MS milliseconds after a file matching PATTERN
//                         appears in PATH's folder
//
//   hold_file PATH [SHARING] RELEASE run COMMAND ARGS...
//   hold_file PATH [SHARING] RELEASE ready FILE
//
// With "run" it starts COMMAND once the file is held and ends with COMMAND's
// exit code; COMMAND's output is its own. With "ready" it creates FILE once
// the file is held (for a caller that cannot see its output before it ends)
// and ends when it lets go. Either way it gives up the file after five
// minutes at the latest.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 5;
constexpr ULONGLONG kLongestHoldMs = 5 * 60 * 1000;

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool AnyMatch(const std::wstring& pattern) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return false;
  FindClose(search);
  return true;
}

// One argument as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

int Usage() {
  std::fputs(
      "usage: hold_file PATH [share r|rw|rd|rwd|-] throughout|until FILE|after PATTERN MS\n"
      "                 run COMMAND ARGS...\n"
      "       hold_file PATH [share r|rw|rd|rwd|-] until FILE|after PATTERN MS ready FILE\n",
      stderr);
  return 2;
}

// The share mode that a SHARING argument names; false for any other word.
bool ShareModeOf(const std::wstring& letters, DWORD& mode) {
  mode = 0;
  if (letters == L"-")
    return true;
  for (const wchar_t letter : letters) {
    const DWORD bit = letter == L'r'   ? FILE_SHARE_READ
                      : letter == L'w' ? FILE_SHARE_WRITE
                      : letter == L'd' ? FILE_SHARE_DELETE
                                       : 0;
    if (bit == 0 || (mode & bit) != 0)
      return false;
    mode |= bit;
  }
  return mode != 0;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** raw = CommandLineToArgvW(GetCommandLineW(), &count);
  if (raw == nullptr)
    return Usage();
  const std::vector<std::wstring> args(raw, raw + count);
  LocalFree(raw);
  if (args.size() < 3)
    return Usage();

  const std::wstring& path = args[1];
  std::size_t next = 2;
  DWORD shareMode = FILE_SHARE_READ;
  if (args[next] == L"share") {
    if (args.size() < next + 3 || !ShareModeOf(args[next + 1], shareMode))
      return Usage();
    next += 2;
  }
  const std::wstring& release = args[next++];
  std::wstring untilFile, pattern;
  DWORD afterMs = 0;
  if (release == L"until" && args.size() > next) {
    untilFile = args[next++];
  } else if (release == L"after" && args.size() > next + 1) {
    pattern = FolderOf(path) + args[next];
    afterMs = static_cast<DWORD>(_wtoi(args[next + 1].c_str()));
    next += 2;
  } else if (release != L"throughout") {
    return Usage();
  }
  std::wstring command, readyFile;
  if (args.size() == next + 2 && args[next] == L"ready" && release != L"throughout") {
    readyFile = args[next + 1];
  } else if (args.size() > next + 1 && args[next] == L"run") {
    for (std::size_t i = next + 1; i < args.size(); ++i)
      command += (command.empty() ? L"" : L" ") + Quoted(args[i]);
  } else {
    return Usage();
  }

  HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold_file: cannot open the file (error %lu)\n", GetLastError());
    return 3;
  }

  PROCESS_INFORMATION child{};
  if (!command.empty()) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child)) {
      std::fprintf(stderr, "hold_file: cannot start the command (error %lu)\n", GetLastError());
      CloseHandle(held);
      return 3;
    }
    CloseHandle(child.hThread);
  } else {
    CloseHandle(CreateFileW(readyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  const ULONGLONG start = GetTickCount64();
  ULONGLONG seenAt = 0;
  bool childEnded = command.empty();
  while (held != INVALID_HANDLE_VALUE && GetTickCount64() - start < kLongestHoldMs) {
    if (!childEnded)
      childEnded = WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0;
    bool letGo = false;
    if (!untilFile.empty()) {
      letGo = Exists(untilFile);
    } else if (!pattern.empty()) {
      if (seenAt == 0 && AnyMatch(pattern))
        seenAt = GetTickCount64();
      letGo = seenAt != 0 && GetTickCount64() - seenAt >= afterMs;
    } else {
      letGo = childEnded;
    }
    if (letGo || (childEnded && !command.empty())) {
      CloseHandle(held);
      held = INVALID_HANDLE_VALUE;
    } else {
      Sleep(kPollMs);
    }
  }
  if (held != INVALID_HANDLE_VALUE)
    CloseHandle(held);

  if (command.empty())
    return 0;
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD exitCode = 3;
  GetExitCodeProcess(child.hProcess, &exitCode);
  CloseHandle(child.hProcess);
  return static_cast<int>(exitCode);
}
