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
#include "i18n/translation.h"
#include "platform/exception.h"
#include "platform/tls_engine.h"
#include "shelllink/shelllink_texts.h"
#include "tests/support/test_support.h"
#include "tests/transfer/http/scripted_server.h"
#include "transfer/http/download_file.h"
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

// A program folder holding the catalogs the build made, laid out as beside
// SETUP.EXE, with the translation layer started for one language.
class TranslatedProgram {
 public:
  explicit TranslatedProgram(const Text& language) {
    for (const auto& [name, bytes] : BuiltCatalogs())
      test::WriteFile(dir_ / "locale" / name / "LC_MESSAGES" / "default.mo", bytes);
    layer_ = std::make_unique<TranslationLayer>(test::ToText(dir_ / "SETUP.EXE"));
    UseLanguage(language);
  }
  const test::TempDir& Folder() const { return dir_; }

 private:
  test::TempDir dir_;
  std::unique_ptr<TranslationLayer> layer_;
};

Text HttpErrorOf(const test::TempDir& folder, const std::string& reply) {
  test::ScriptedServer server{{reply}};
  THttpClient client;
  try {
    DownloadUrl(client,
                FromUtf8("http://127.0.0.1:" + std::to_string(server.Port()) + "/Files/main.zip"),
                test::ToText(folder / "main.zip"));
  } catch (const Exception& error) {
    return error.Message();
  }
  return u"";
}

// The reply's code and status line stand in one text, so that a language can
// space the colon after the code as it writes it (French puts a no-break space
// before it); a language without a catalog shows the bytes the code has.
TEST(ProductTexts, HttpErrorIsOneTextInEveryLanguage) {
  const struct {
    const char16_t* language;
    const char16_t* message;
  } cases[] = {
      {u"nl_BE", u"HTTP-fout 204: HTTP/1.1 204 No Content"},
      {u"fr_BE", u"Erreur HTTP 204\u00a0: HTTP/1.1 204 No Content"},
      {u"de_DE", u"HTTP-Fehler 204: HTTP/1.1 204 No Content"},
      {u"en_GB", u"HTTP error 204: HTTP/1.1 204 No Content"},
      {u"it_IT", u"HTTP Error:204: HTTP/1.1 204 No Content"},
  };
  for (const auto& c : cases) {
    const TranslatedProgram program(c.language);
    EXPECT_EQ(HttpErrorOf(program.Folder(), "HTTP/1.1 204 No Content\r\n\r\n"), c.message)
        << ToUtf8(c.language);
  }
}

// The code of a failed handshake follows the text in brackets, so the text
// itself has none.
TEST(ProductTexts, FailedHandshakeReadsAsOneSentenceAndItsCode) {
  const struct {
    const char16_t* language;
    const char16_t* message;
  } cases[] = {
      {u"nl_BE",
       u"Er kon geen beveiligde TLS-verbinding met de server worden opgezet. (0x80090326)"},
      {u"fr_BE",
       u"Impossible d\u2019\u00e9tablir une connexion TLS s\u00e9curis\u00e9e avec le "
       u"serveur. (0x80090326)"},
      {u"de_DE",
       u"Es konnte keine sichere TLS-Verbindung zum Server aufgebaut werden. (0x80090326)"},
      {u"en_GB", u"A secure TLS connection to the server could not be set up. (0x80090326)"},
      {u"it_IT", u"The TLS handshake with the server failed. (0x80090326)"},
  };
  for (const auto& c : cases) {
    const TranslatedProgram program(c.language);
    EXPECT_EQ(http::ConnectionErrorMessage(kTlsHandshakeFailed, 0x80090326), c.message)
        << ToUtf8(c.language);
  }
}

}  // namespace
}  // namespace zephora
