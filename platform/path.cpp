#include "platform/path.h"

namespace zephora {
namespace {

size_t NamePosition(TextView path) {
  size_t i = path.size();
  while (i > 0 && !IsPathSeparator(path[i - 1]) && path[i - 1] != u':')
    --i;
  return i;
}

// Parts that Windows resolves only in the classic form: "." and "..", and an
// empty part between two separators.
bool HasUnresolvedPart(TextView path) {
  size_t start = 0;
  while (start < path.size()) {
    size_t end = start;
    while (end < path.size() && !IsPathSeparator(path[end]))
      ++end;
    const TextView part = path.substr(start, end - start);
    if (part == u"." || part == u".." || (part.empty() && end < path.size()))
      return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

Text ExtendedLengthPath(TextView path) {
  if (path.size() < kShortestExtendedPath)
    return Text(path);
  const bool drive =
      path.size() >= 3 &&
      ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z')) &&
      path[1] == u':' && IsPathSeparator(path[2]);
  const bool network = path.size() > 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]) &&
                       path[2] != u'?' && path[2] != u'.' && !IsPathSeparator(path[2]);
  if ((!drive && !network) || HasUnresolvedPart(drive ? path.substr(3) : path.substr(2)))
    return Text(path);
  Text out = drive ? Text(u"\\\\?\\") : Text(u"\\\\?\\UNC\\");
  for (const char16_t c : drive ? path : path.substr(2))
    out += IsPathSeparator(c) ? u'\\' : c;
  return out;
}

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
  Text out;
  JoinPathInto(out, folder, name);
  return out;
}

void JoinPathInto(Text& out, TextView folder, TextView name) {
  out.assign(folder);
  if (!out.empty() && !IsPathSeparator(out.back()))
    out += kPathSeparator;
  out += name;
}

}  // namespace zephora
