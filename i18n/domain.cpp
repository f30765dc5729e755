#include "i18n/domain.h"

#include "i18n/errors.h"
#include "i18n/plural_forms.h"
#include "platform/path.h"

namespace zephora {
namespace {

const Text kProblemCaption = u"Localization problem";

// Puts a carriage return before every line feed that lacks one.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
      out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace

Text TDomain::CatalogPath(const Text& code) const {
  return vDirectory + code + kPathSeparator + u"LC_MESSAGES" + kPathSeparator + Domain + u".mo";
}

void TDomain::OpenMoFile() {
  Text candidate = SpecificFilename;
  if (candidate.empty()) {
    // The catalogs that the executable carries come first, with or without
    // the region: anybody can drop a folder beside a download, and it must
    // not rewrite what a signed executable says. The folder serves only the
    // languages the executable does not carry.
    const Text regional = CatalogPath(curlang);
    const Text general = CatalogPath(curlang.substr(0, 2));
    if (locator_.IsAppended(regional) || locator_.IsAppended(general)) {
      candidate = locator_.IsAppended(regional) ? regional : general;
    } else {
      candidate = locator_.FileExists(regional) ? regional : general;
    }
  }
  if (!locator_.FileExists(candidate)) {
    OpenHasFailedBefore = true;
    return;
  }
  try {
    mofile = locator_.GetMoFile(candidate);
  } catch (const ECatalogIOError& error) {
    // An unusable catalog is reported once; the domain then acts as if it
    // had none until its language or folder changes.
    OpenHasFailedBefore = true;
    messageBox_(kProblemCaption, error.Message());
    return;
  }
  if (AsciiUpper(GetTranslationProperty(u"Content-Type")).find(u"CHARSET=UTF-8") == Text::npos) {
    CloseMoFile();
    messageBox_(kProblemCaption, u"The translation for the language code " + curlang + u" (in " +
                                     candidate +
                                     u") does not have charset=utf-8 in its Content-Type. "
                                     u"Translations are turned off.");
    Enabled = false;
  }
}

void TDomain::CloseMoFile() {
  mofile.reset();
}

const TMoFile* TDomain::Catalog() {
  if (!Enabled)
    return nullptr;
  if (mofile == nullptr && !OpenHasFailedBefore)
    OpenMoFile();
  return Enabled ? mofile.get() : nullptr;
}

std::string TDomain::gettext(const std::string& key) {
  if (const TMoFile* catalog = Catalog()) {
    if (const auto found = catalog->Translate(key))
      return WithCrLf(*found);
  }
  return WithCrLf(key);
}

std::string TDomain::ngettext(const std::string& key, const std::string& pluralKey,
                              std::uint64_t n) {
  if (const TMoFile* catalog = Catalog()) {
    if (const auto found = catalog->TranslatePlural(key, pluralKey, n))
      return WithCrLf(*found);
  }
  return WithCrLf(SourceForm(key, pluralKey, n));
}

Text TDomain::GetTranslationProperty(const Text& name) {
  if (mofile == nullptr)
    return Text();
  const auto header = mofile->Translate("");
  if (!header)
    return Text();
  const auto value = HeaderField(*header, ToUtf8(name));
  return value ? FromUtf8(*value) : Text();
}

void TDomain::SetDirectory(const Text& directory) {
  vDirectory = IncludeTrailingSeparator(directory);
  SpecificFilename.clear();
  CloseMoFile();
  OpenHasFailedBefore = false;
}

void TDomain::SetLanguageCode(const Text& code) {
  CloseMoFile();
  OpenHasFailedBefore = false;
  curlang = code;
}

void TDomain::SetFilename(const Text& filename) {
  CloseMoFile();
  OpenHasFailedBefore = false;
  SpecificFilename = filename;
}

}  // namespace zephora
