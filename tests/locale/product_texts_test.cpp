#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/install_texts.h"
#include "controls/message_box.h"
#include "i18n/resource_strings.h"
#include "shelllink/shelllink_texts.h"
#include "transfer/http/http_texts.h"
#include "transfer/zip/zip_texts.h"

namespace zephora {
namespace {

// One text of each module of the product; naming them here also makes the
// linker keep every module's table.
const ResStringRec* const kOneTextOfEachModule[] = {
    &SMsgDlgOK, &SUnableToWrite, &SOleError, &http::SSocketError, &zip::SFileNotFound,
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

}  // namespace
}  // namespace zephora
