#include "transfer/zip/unpack_archive.h"

#include "platform/exception.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "transfer/zip/zip_texts.h"

namespace zephora {
namespace {

// Enough to say what went wrong; an error box must still fit on a screen
// when every entry of a large package fails.
constexpr std::size_t kNamesShown = 10;
constexpr std::size_t kNameLengthShown = 100;
constexpr TextView kEllipsis = u"...";

// A stored name as the user may safely read it: cut when very long, and
// with control characters and direction marks shown rather than obeyed.
Text ShownName(TextView name) {
  if (name.empty())
    return u"\"\"";
  if (name.size() <= kNameLengthShown)
    return MakeControlsVisible(name);
  std::size_t cut = kNameLengthShown;
  if (name[cut - 1] >= 0xD800 && name[cut - 1] <= 0xDBFF)
    --cut;  // keep a surrogate pair whole
  return MakeControlsVisible(name.substr(0, cut)) + Text(kEllipsis);
}

Text ShownNames(const std::vector<Text>& names) {
  Text list;
  for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
    if (i > 0)
      list += u", ";
    list += ShownName(names[i]);
  }
  if (names.size() > kNamesShown)
    list += u", " + Text(kEllipsis);
  return list;
}

}  // namespace

void UnpackArchive(TUnZipper& unzipper, const Text& packagePath) {
  unzipper.BaseDirectory = ExtractFilePath(packagePath);
  unzipper.OpenArchive(packagePath);
  try {
    unzipper.ExtractFiles(u"*.*");
  } catch (const TStopped&) {
    // The user gave up: the files written so far stay, the package goes.
    unzipper.CloseArchive();
    (void)RemoveFile(packagePath);
    throw;
  }
  unzipper.CloseArchive();
  const std::vector<Text>& failed = unzipper.FailedFiles();
  if (!failed.empty()) {
    throw Exception(FormatPluralResString(zip::SCouldNotExtract, failed.size(),
                                          {static_cast<int>(failed.size()), ShownNames(failed)}));
  }
  // A package that cannot be deleted stays; the installation goes on.
  (void)RemoveFile(packagePath);
}

}  // namespace zephora
