#include "transfer/zip/unpack_archive.h"

#include "platform/exception.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "transfer/zip/zip_texts.h"

namespace zephora {

void UnpackArchive(TUnZipper& unzipper, const Text& packagePath) {
  unzipper.BaseDirectory = ExtractFilePath(packagePath);
  unzipper.OpenArchive(packagePath);
  unzipper.ExtractFiles(u"*.*");
  unzipper.CloseArchive();
  const std::vector<Text>& failed = unzipper.FailedFiles();
  if (!failed.empty()) {
    Text names;
    for (const Text& name : failed) {
      if (!names.empty())
        names += u", ";
      names += name;
    }
    throw Exception(FormatResString(zip::SCouldNotExtract,
                                    {static_cast<int>(failed.size()), std::move(names)}));
  }
  // A package that cannot be deleted stays; the installation goes on.
  (void)RemoveFile(packagePath);
}

}  // namespace zephora
