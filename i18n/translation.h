// The translation layer: `_` for the texts the program composes, and the
// lookup behind the library-text loaders (resource_strings.h).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "i18n/domain.h"
#include "i18n/file_locator.h"
#include "platform/text.h"

namespace zephora {

class ILanguageListener {
 public:
  virtual ~ILanguageListener() = default;
  virtual void LanguageChanged(const Text& code) = 0;
};

class TTranslationInstance {
 public:
  TTranslationInstance(TFileLocator& locator, const Text& executableFolder);
  ~TTranslationInstance();
  TTranslationInstance(const TTranslationInstance&) = delete;
  TTranslationInstance& operator=(const TTranslationInstance&) = delete;

  Text gettext(const Text& text);
  Text dgettext(const Text& domain, const Text& text);
  // The form of a text with a count: the catalog's for n, or, without one,
  // `singular` for exactly 1 and `plural` otherwise.
  Text ngettext(const Text& singular, const Text& plural, std::uint64_t n);
  Text dngettext(const Text& domain, const Text& singular, const Text& plural, std::uint64_t n);
  void bindtextdomain(const Text& domain, const Text& folder);
  void textdomain(const Text& domain);
  Text GetTranslationProperty(const Text& name);
  void UseLanguage(const Text& code);
  Text GetCurrentLanguage() const { return curlang; }
  // The language of the current domain's catalog, opening it if need be: the
  // language in force where it names the catalog's language and a region, as
  // "nl_BE" for a catalog in "nl", else the catalog's own (its Language
  // field, or the language in force when the field is missing). Empty
  // without a catalog: the texts are then in their source form.
  Text CatalogLanguage();

  void RegisterWhenNewLanguageListener(ILanguageListener* listener);
  void UnregisterWhenNewLanguageListener(ILanguageListener* listener);

  // Test hook: where the "Localization problem" box goes.
  void SetMessageBoxHandler(MessageBoxHandler handler) { messageBox_ = handler; }

  std::uint64_t CreatorThread;
  bool Enabled = true;
  Text curlang;
  Text curmsgdomain = u"default";
  Text DefaultDomainDirectory;

 private:
  TDomain& getdomain(const Text& name);

  TFileLocator& locator_;
  MessageBoxHandler messageBox_;
  std::map<Text, std::unique_ptr<TDomain>> domainlist;
  std::vector<ILanguageListener*> fWhenNewLanguageListeners;
};

// Sets the layer up for the program's lifetime (construct it before anything
// that needs a text) and takes it down in the reverse order.
class TranslationLayer {
 public:
  explicit TranslationLayer(const Text& executablePath);
  TranslationLayer();  // for the running executable
  ~TranslationLayer();
  TranslationLayer(const TranslationLayer&) = delete;
  TranslationLayer& operator=(const TranslationLayer&) = delete;

  TFileLocator& Locator() { return *locator_; }

 private:
  std::unique_ptr<TFileLocator> locator_;
};

// The default instance while a TranslationLayer exists; null otherwise.
TTranslationInstance* DefaultInstance();

// Translation of a Dutch source text into the language in force.
Text _(const Text& text);
// The same for a text with a count, in its singular and plural source forms.
Text ngettext(const Text& singular, const Text& plural, std::uint64_t n);
// Sets the language in force; an empty code chooses from the environment.
void UseLanguage(const Text& code);
Text GetTranslationProperty(const Text& name);

// Library-text lookup: each domain of the library list in turn.
Text LibraryTextLookup(const Text& text);
// The same for a library text with a count.
Text LibraryTextLookup(const Text& singular, const Text& plural, std::uint64_t n);

}  // namespace zephora
