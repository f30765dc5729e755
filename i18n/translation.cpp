#include "i18n/translation.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

#include "i18n/language.h"
#include "i18n/plural_forms.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/system_error.h"

namespace zephora {
namespace {

TTranslationInstance* gDefaultInstance = nullptr;

// The domains searched for library texts, with their own lock.
struct LibraryTextDomainList {
  std::vector<Text> domains{u"default"};
  std::shared_mutex lock;
};
LibraryTextDomainList* gLibraryTextDomains = nullptr;

std::string KeyFor(const Text& text) {
  std::string key = ToUtf8(text);
  key.erase(std::remove(key.begin(), key.end(), '\r'), key.end());
  return key;
}

// The language of the system's error texts: the catalog's, so that a
// message reads in one language whatever Windows' own display language is.
// Asked only on the thread that owns the layer, and not again while a
// catalog that fails to open is being reported with a system text.
Text MessageLanguage() {
  static thread_local bool asking = false;
  if (gDefaultInstance == nullptr || asking ||
      CurrentThreadId() != gDefaultInstance->CreatorThread) {
    return Text();
  }
  asking = true;
  struct Done {
    ~Done() { asking = false; }
  } done;
  return gDefaultInstance->CatalogLanguage();
}

}  // namespace

TTranslationInstance::TTranslationInstance(TFileLocator& locator, const Text& executableFolder)
    : CreatorThread(CurrentThreadId()),
      DefaultDomainDirectory(IncludeTrailingSeparator(executableFolder) + u"locale"),
      locator_(locator),
      messageBox_(&ShowPlainMessageBox) {
  UseLanguage(Text());
  bindtextdomain(u"default", DefaultDomainDirectory);
  textdomain(u"default");
}

TTranslationInstance::~TTranslationInstance() = default;

TDomain& TTranslationInstance::getdomain(const Text& name) {
  auto& slot = domainlist[name];
  if (!slot) {
    slot = std::make_unique<TDomain>(locator_, messageBox_);
    slot->Domain = name;
    slot->SetDirectory(DefaultDomainDirectory);
    slot->SetLanguageCode(curlang);
  }
  return *slot;
}

Text TTranslationInstance::gettext(const Text& text) {
  return dgettext(curmsgdomain, text);
}

Text TTranslationInstance::dgettext(const Text& domain, const Text& text) {
  if (!Enabled)
    return text;
  return FromUtf8(getdomain(domain).gettext(KeyFor(text)));
}

Text TTranslationInstance::ngettext(const Text& singular, const Text& plural, std::uint64_t n) {
  return dngettext(curmsgdomain, singular, plural, n);
}

Text TTranslationInstance::dngettext(const Text& domain, const Text& singular, const Text& plural,
                                     std::uint64_t n) {
  if (!Enabled)
    return SourceForm(singular, plural, n);
  return FromUtf8(getdomain(domain).ngettext(KeyFor(singular), KeyFor(plural), n));
}

void TTranslationInstance::bindtextdomain(const Text& domain, const Text& folder) {
  getdomain(domain).SetDirectory(folder);
}

void TTranslationInstance::textdomain(const Text& domain) {
  curmsgdomain = domain;
}

Text TTranslationInstance::GetTranslationProperty(const Text& name) {
  TDomain& domain = getdomain(curmsgdomain);
  if (domain.mofile == nullptr && !domain.OpenHasFailedBefore)
    domain.gettext(std::string());
  return domain.GetTranslationProperty(name);
}

Text TTranslationInstance::CatalogLanguage() {
  const Text language = GetTranslationProperty(u"Language");
  if (getdomain(curmsgdomain).mofile == nullptr)
    return Text();
  if (language.empty())
    return curlang;
  if (curlang.size() > language.size() && curlang.starts_with(language) &&
      curlang[language.size()] == u'_') {
    return curlang;
  }
  return language;
}

void TTranslationInstance::UseLanguage(const Text& code) {
  Text language = code;
  if (language.empty()) {
    const auto lang = EnvironmentVariable(u"LANG");
    language = lang && !lang->empty() ? *lang : PlatformLanguage();
    language = language.substr(0, language.find(u'.'));
  }
  curlang = language;
  for (auto& [name, domain] : domainlist)
    domain->SetLanguageCode(curlang);
  for (ILanguageListener* listener : fWhenNewLanguageListeners)
    listener->LanguageChanged(curlang);
}

void TTranslationInstance::RegisterWhenNewLanguageListener(ILanguageListener* listener) {
  fWhenNewLanguageListeners.push_back(listener);
}

void TTranslationInstance::UnregisterWhenNewLanguageListener(ILanguageListener* listener) {
  std::erase(fWhenNewLanguageListeners, listener);
}

TranslationLayer::TranslationLayer() : TranslationLayer(ExecutablePath()) {}

TranslationLayer::TranslationLayer(const Text& executablePath)
    : locator_(std::make_unique<TFileLocator>(executablePath)) {
  gLibraryTextDomains = new LibraryTextDomainList();
  gDefaultInstance = new TTranslationInstance(*locator_, ExtractFilePath(executablePath));
  SetMessageLanguageSource(&MessageLanguage);
}

TranslationLayer::~TranslationLayer() {
  SetMessageLanguageSource(nullptr);
  delete gDefaultInstance;
  gDefaultInstance = nullptr;
  delete gLibraryTextDomains;
  gLibraryTextDomains = nullptr;
}

TTranslationInstance* DefaultInstance() {
  return gDefaultInstance;
}

Text _(const Text& text) {
  if (gDefaultInstance == nullptr)
    return text;
  return gDefaultInstance->gettext(text);
}

Text ngettext(const Text& singular, const Text& plural, std::uint64_t n) {
  if (gDefaultInstance == nullptr)
    return SourceForm(singular, plural, n);
  return gDefaultInstance->ngettext(singular, plural, n);
}

void UseLanguage(const Text& code) {
  if (gDefaultInstance != nullptr)
    gDefaultInstance->UseLanguage(code);
}

Text GetTranslationProperty(const Text& name) {
  return gDefaultInstance ? gDefaultInstance->GetTranslationProperty(name) : Text();
}

Text LibraryTextLookup(const Text& text) {
  if (text.empty() || gLibraryTextDomains == nullptr || gDefaultInstance == nullptr)
    return text;
  std::shared_lock lock(gLibraryTextDomains->lock);
  for (const Text& domain : gLibraryTextDomains->domains) {
    Text result = gDefaultInstance->dgettext(domain, text);
    if (result != text)
      return result;
  }
  return text;
}

Text LibraryTextLookup(const Text& singular, const Text& plural, std::uint64_t n) {
  const Text& source = SourceForm(singular, plural, n);
  if (source.empty() || gLibraryTextDomains == nullptr || gDefaultInstance == nullptr)
    return source;
  std::shared_lock lock(gLibraryTextDomains->lock);
  for (const Text& domain : gLibraryTextDomains->domains) {
    Text result = gDefaultInstance->dngettext(domain, singular, plural, n);
    if (result != source)
      return result;
  }
  return source;
}

}  // namespace zephora
