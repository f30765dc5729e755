// The catalog registry: catalogs appended to the executable, and the open
// catalogs shared by every domain that uses the same file and offset.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <shared_mutex>

#include "i18n/mo_file.h"
#include "platform/text.h"

namespace zephora {

struct TEmbeddedFileInfo {
  std::int64_t offset = 0;  // absolute, in the executable file
  std::int64_t size = 0;
};

// Case-insensitive ordering that treats "/" and "\" alike.
struct PathLess {
  bool operator()(const Text& a, const Text& b) const;
};

class TFileLocator {
 public:
  // `executablePath` is scanned for appended catalogs at once.
  explicit TFileLocator(const Text& executablePath);

  const Text& BaseDirectory() const { return basedirectory_; }
  const std::map<Text, TEmbeddedFileInfo, PathLess>& FileList() const { return filelist_; }

  // An appended catalog or a file on disk of that path.
  bool FileExists(const Text& path) const;
  // A catalog of that path appended to the executable.
  bool IsAppended(const Text& path) const { return Embedded(path) != nullptr; }

  // Opens the catalog of `path`, or shares the one already open at the same
  // file and offset; it is unmapped when its last holder lets go. Throws
  // ECatalogIOError when the catalog cannot be used.
  std::shared_ptr<const TMoFile> GetMoFile(const Text& path);

  // Catalogs that somebody still holds.
  std::size_t OpenCatalogCount() const;

 private:
  void Analyze();
  const TEmbeddedFileInfo* Embedded(const Text& path) const;

  Text executable_;
  Text basedirectory_;
  std::map<Text, TEmbeddedFileInfo, PathLess> filelist_;
  std::map<Text, std::weak_ptr<const TMoFile>, PathLess> MoFiles;
  mutable std::shared_mutex MoFilesCS;
};

}  // namespace zephora
