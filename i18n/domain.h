// One text domain: its folder, its language and its catalog once opened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "i18n/file_locator.h"
#include "platform/text.h"

namespace zephora {

using MessageBoxHandler = void (*)(const Text& caption, const Text& text);

class TDomain {
 public:
  TDomain(TFileLocator& locator, MessageBoxHandler& messageBox)
      : locator_(locator), messageBox_(messageBox) {}
  TDomain(const TDomain&) = delete;
  TDomain& operator=(const TDomain&) = delete;

  // The translation of a UTF-8 key, or the key itself.
  std::string gettext(const std::string& key);
  // The catalog's form for count n of a text with a plural source, or the
  // source texts' own choice: the key for exactly 1, the plural otherwise.
  std::string ngettext(const std::string& key, const std::string& pluralKey, std::uint64_t n);
  // A header field of the catalog; empty when absent or when there is none.
  Text GetTranslationProperty(const Text& name);

  void SetDirectory(const Text& directory);
  void SetLanguageCode(const Text& code);
  void SetFilename(const Text& filename);

  Text Domain;
  Text vDirectory;
  Text curlang;
  Text SpecificFilename;
  std::shared_ptr<const TMoFile> mofile;  // shared with the other domains that use it
  bool OpenHasFailedBefore = false;
  bool Enabled = true;

 private:
  // The catalog to look texts up in, opened at the first need; null when
  // there is none or the domain is switched off.
  const TMoFile* Catalog();
  void OpenMoFile();
  void CloseMoFile();
  Text CatalogPath(const Text& code) const;

  TFileLocator& locator_;
  MessageBoxHandler& messageBox_;
};

}  // namespace zephora
