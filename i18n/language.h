// Where the start-up language comes from.
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace zephora {

// The code for a Windows locale identifier from the fallback table, or "C".
Text LanguageForLocaleId(std::uint32_t localeId);

// The code for the user locale's ISO 639 and ISO 3166 names: "ll_CC" when both
// have two characters ("no" becoming "nb"), else the fallback table for
// `localeId`.
Text LanguageFromLocaleNames(const Text& language, const Text& country, std::uint32_t localeId);

// The platform's language: the user's locale on Windows; LC_ALL, then
// LC_MESSAGES, else "C" elsewhere.
Text PlatformLanguage();

}  // namespace zephora
