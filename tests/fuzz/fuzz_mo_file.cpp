// Catalog bytes from the fuzzer; the last 16 bytes (when there are that many)
// double as a lookup key, so both hits and misses of the search are explored.
// The whole input is also read as a Plural-Forms field, and the catalog's own
// rule (from its header) chooses forms for counts taken from the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "i18n/errors.h"
#include "i18n/mo_file.h"
#include "i18n/plural_forms.h"

namespace {

std::uint64_t CountFrom(std::string_view bytes) {
  std::uint64_t n = 0;
  std::memcpy(&n, bytes.data(), std::min(bytes.size(), sizeof n));
  return n;
}

void ChooseForms(const zephora::PluralForms& rule, std::uint64_t fromInput) {
  for (const std::uint64_t n : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{2},
                                std::uint64_t{11}, std::uint64_t{101}, UINT64_MAX, fromInput}) {
    if (rule.FormFor(n) >= rule.Count())
      __builtin_trap();  // a form the catalog cannot have
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::uint64_t count = CountFrom(bytes.substr(size > 8 ? size - 8 : 0));
  if (const auto rule = zephora::PluralForms::Parse(bytes))
    ChooseForms(*rule, count);
  try {
    const zephora::TMoFile catalog(bytes, u"fuzz");
    (void)catalog.Translate("");
    (void)catalog.Translate(bytes.substr(size > 16 ? size - 16 : 0));
    (void)catalog.Translate("WAARSCHUWING");
    ChooseForms(catalog.Plural(), count);
    (void)catalog.TranslatePlural("Could not extract %d file: %s", "Could not extract %d files: %s",
                                  count);
    // The key's singular and plural, split at its first NUL.
    const std::string_view key = bytes.substr(size > 16 ? size - 16 : 0);
    const size_t nul = std::min(key.find('\0'), key.size());
    (void)catalog.TranslatePlural(key.substr(0, nul), key.substr(std::min(nul + 1, key.size())),
                                  count);
  } catch (const zephora::ECatalogIOError&) {
  }
  return 0;
}
