#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string_view>
#include <vector>

#include "app/install_texts.h"
#include "controls/dialog_texts.h"
#include "i18n/mo_file.h"
#include "i18n/resource_strings.h"
#include "shelllink/shelllink_texts.h"
#include "tests/support/test_support.h"
#include "transfer/http/http_texts.h"
#include "transfer/http/tls_texts.h"
#include "transfer/verify/verify_texts.h"
#include "transfer/zip/zip_texts.h"

namespace zephora {
namespace {

// One text of each module of the product; naming them here also makes the
// linker keep every module's table.
const ResStringRec* const kOneTextOfEachModule[] = {
    &SMsgDlgOK,
    &SUnableToWrite,
    &SOleError,
    &http::SSocketError,
    &http::STlsCutOff,
    &zip::SFileNotFound,
    &verify::SSignatureDamaged,
};

TEST(ProductTexts, EveryModuleIsRegistered) {
  const std::vector<const ResourceModule*> modules = RegisteredModules();
  for (const ResStringRec* record : kOneTextOfEachModule) {
    EXPECT_NE(std::find(modules.begin(), modules.end(), record->module), modules.end())
        << ToUtf8(LoadResString(*record));
  }
}

// A lookup by identifier takes the first module that has it, so a second
// module with the same identifier would never be reached.
TEST(ProductTexts, IdentifiersAreUniqueAcrossModules) {
  std::map<std::uint32_t, const char16_t*> seen;
  for (const ResourceModule* module : RegisteredModules()) {
    for (const ResourceText& entry : module->Texts()) {
      const auto [it, added] = seen.emplace(entry.identifier, entry.text);
      EXPECT_TRUE(added) << "identifier 0x" << std::hex << entry.identifier << " of \""
                         << ToUtf8(entry.text) << "\" already names \"" << ToUtf8(it->second)
                         << "\"";
    }
  }
  EXPECT_GT(seen.size(), 60u);
}

// The catalogs the build made, by language.
std::map<std::string, std::string> BuiltCatalogs() {
  std::map<std::string, std::string> catalogs;
  for (const auto& entry :
       std::filesystem::directory_iterator(test::HostPath(ZEPHORA_CATALOGS_DIR))) {
    const auto file = entry.path() / "LC_MESSAGES" / "default.mo";
    if (std::filesystem::exists(file))
      catalogs[entry.path().filename().string()] = test::ReadFile(file);
  }
  return catalogs;
}

// The template is extracted from the code by keyword; this proves from the
// program itself that no table text escaped it.
TEST(ProductTexts, EveryLibraryTextIsTranslatedInEveryCatalog) {
  const auto catalogs = BuiltCatalogs();
  ASSERT_GE(catalogs.size(), 4u);
  for (const auto& [language, bytes] : catalogs) {
    const TMoFile catalog(bytes, FromUtf8(language));
    for (const ResourceModule* module : RegisteredModules()) {
      for (const ResourceText& entry : module->Texts()) {
        std::string key = ToUtf8(entry.text);
        if (entry.plural != nullptr)
          key += '\0' + ToUtf8(entry.plural);
        std::erase(key, '\r');  // as the layer looks it up
        const auto translation = catalog.Translate(key);
        EXPECT_TRUE(translation && !translation->empty())
            << language << " lacks \"" << ToUtf8(entry.text) << "\"";
        if (entry.plural != nullptr && translation) {
          // One form for each that the catalog's rule can choose, none empty.
          std::vector<std::string_view> forms;
          for (std::string_view rest = *translation;;) {
            forms.push_back(rest.substr(0, rest.find('\0')));
            if (rest.find('\0') == std::string_view::npos)
              break;
            rest.remove_prefix(rest.find('\0') + 1);
          }
          EXPECT_EQ(forms.size(), catalog.Plural().Count()) << language << ": " << key;
          EXPECT_EQ(std::count(forms.begin(), forms.end(), std::string_view()), 0)
              << language << " leaves a form of \"" << ToUtf8(entry.text) << "\" empty";
        }
      }
    }
  }
}

}  // namespace
}  // namespace zephora
