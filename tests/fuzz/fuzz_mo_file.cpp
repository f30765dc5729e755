// Catalog bytes from the fuzzer; the last 16 bytes (when there are that many)
// double as a lookup key, so both hits and misses of the search are explored.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "i18n/errors.h"
#include "i18n/mo_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const zephora::TMoFile catalog(bytes, u"fuzz");
    (void)catalog.Translate("");
    (void)catalog.Translate(bytes.substr(size > 16 ? size - 16 : 0));
    (void)catalog.Translate("WAARSCHUWING");
  } catch (const zephora::ECatalogIOError&) {
  }
  return 0;
}
