#include "i18n/domain.h"

#include "i18n/errors.h"
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

std::string TDomain::gettext(const std::string& key) {
  if (!Enabled)
    return WithCrLf(key);
  if (mofile == nullptr && !OpenHasFailedBefore)
    OpenMoFile();
  if (mofile != nullptr && Enabled) {
    if (const auto found = mofile->Translate(key))
      return WithCrLf(*found);
  }
  return WithCrLf(key);
}

Text TDomain::GetTranslationProperty(const Text& name) {
  if (mofile == nullptr)
    return Text();
  const auto header = mofile->Translate("");
  if (!header)
    return Text();
  const Text prefix = AsciiUpper(name) + u": ";
  const Text text = FromUtf8(*header);
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(u"\r\n", start);
    if (end == Text::npos)
      end = text.size();
    const TextView line = TextView(text).substr(start, end - start);
    if (line.size() >= prefix.size() &&
        EqualsIgnoreAsciiCase(line.substr(0, prefix.size()), prefix)) {
      return Trim(line.substr(prefix.size()));
    }
    start = end + 1;
  }
  return Text();
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
