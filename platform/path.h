// Path helpers. Windows paths use "\"; the POSIX build uses "/".
#pragma once

#include "platform/text.h"

namespace zephora {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

inline bool IsPathSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// Everything up to and including the last separator (or ":"), empty when
// there is none.
Text ExtractFilePath(TextView path);
// Everything after the last separator (or ":").
Text ExtractFileName(TextView path);
// `folder` with a separator appended when it does not end in one.
Text IncludeTrailingSeparator(TextView folder);
// `name` inside `folder`, with one separator between them; without a folder
// the name stands alone.
Text JoinPath(TextView folder, TextView name);
// The same into `out`, whose storage is used again.
void JoinPathInto(Text& out, TextView folder, TextView name);

// The form in which Windows' file functions take `path` whatever its length:
// an absolute local path ("C:\...") or network path ("\\server\share\...")
// too long for the classic limit of 260 characters gets the extended-length
// prefix ("\\?\C:\...", "\\?\UNC\server\share\..."), with "/" written as
// "\", since such a path reaches the file system unchanged. Anything else,
// and a path with "." or ".." parts (which the prefix would no longer
// resolve) or an empty part, is returned as it is. Names in it must already be valid.
Text ExtendedLengthPath(TextView path);
// The length from which ExtendedLengthPath may add the prefix: CreateDirectoryW's
// limit, which leaves room for an 8.3 name in the folder. Shorter paths keep
// the form that every Windows version takes.
inline constexpr std::size_t kShortestExtendedPath = 260 - 12;

bool FileExists(const Text& path);       // an existing file, not a folder
bool DirectoryExists(const Text& path);  // an existing folder

}  // namespace zephora
