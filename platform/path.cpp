#include "platform/path.h"

namespace zephora {
namespace {

size_t NamePosition(TextView path) {
  size_t i = path.size();
  while (i > 0 && !IsPathSeparator(path[i - 1]) && path[i - 1] != u':')
    --i;
  return i;
}

}  // namespace

Text ExtractFilePath(TextView path) {
  return Text(path.substr(0, NamePosition(path)));
}

Text ExtractFileName(TextView path) {
  return Text(path.substr(NamePosition(path)));
}

Text IncludeTrailingSeparator(TextView folder) {
  Text out(folder);
  if (out.empty() || !IsPathSeparator(out.back()))
    out += kPathSeparator;
  return out;
}

Text JoinPath(TextView folder, TextView name) {
  if (folder.empty())
    return Text(name);
  return IncludeTrailingSeparator(folder) + Text(name);
}

}  // namespace zephora
