// The catalogs that msgfmt made for these tests, and a folder laid out like
// the one beside the executable.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "i18n/translation.h"
#include "tests/support/test_support.h"

namespace zephora::test {

inline std::filesystem::path CatalogPath(const std::string& name) {
  return HostPath(std::string(ZEPHORA_TEST_CATALOGS) + "/" + name);
}

inline std::string CatalogBytes(const std::string& name) {
  return ReadFile(CatalogPath(name));
}

// A program folder with SETUP.EXE (never run) and catalogs below locale\.
class ProgramFolder {
 public:
  void Install(const std::string& language, const std::string& catalog) {
    WriteFile(LocalePath(language), CatalogBytes(catalog));
  }
  std::filesystem::path LocalePath(const std::string& language) const {
    return dir_.Path() / "locale" / language / "LC_MESSAGES" / "default.mo";
  }
  Text Executable() const { return ToText(dir_.Path() / "SETUP.EXE"); }
  const std::filesystem::path& Path() const { return dir_.Path(); }

 private:
  TempDir dir_;
};

// Records the "Localization problem" boxes instead of showing them.
struct MessageBoxes {
  static inline std::vector<std::pair<Text, Text>> shown;
  static void Record(const Text& caption, const Text& text) { shown.emplace_back(caption, text); }
};

// Sets up the layer for a program folder, with message boxes recorded.
inline std::unique_ptr<TranslationLayer> StartLayer(const ProgramFolder& folder,
                                                    const Text& language) {
  auto layer = std::make_unique<TranslationLayer>(folder.Executable());
  MessageBoxes::shown.clear();
  DefaultInstance()->SetMessageBoxHandler(&MessageBoxes::Record);
  UseLanguage(language);
  return layer;
}

}  // namespace zephora::test
