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

bool FileExists(const Text& path);       // an existing file, not a folder
bool DirectoryExists(const Text& path);  // an existing folder

}  // namespace zephora
