#include "catalog_bundle.h"

#include <cstdint>

#include "i18n/appended_catalogs.h"

namespace zephora {
namespace {

using namespace appended_catalogs;

void PutNumber(std::string& out, std::int64_t value) {
  for (std::size_t i = 0; i < kNumberSize; ++i)
    out += static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
}

}  // namespace

std::string BuildCatalogBundle(const std::vector<BundledCatalog>& catalogs) {
  std::string body;  // everything between the markers
  std::vector<std::int64_t> dataOffsets;
  for (const auto& catalog : catalogs) {
    dataOffsets.push_back(static_cast<std::int64_t>(body.size()));
    body += catalog.bytes;
  }
  const auto firstEntry = static_cast<std::int64_t>(body.size());
  for (size_t i = 0; i < catalogs.size(); ++i) {
    const std::string& path = catalogs[i].relativePath;
    const bool last = i + 1 == catalogs.size();
    const auto next =
        last ? 0 : static_cast<std::int64_t>(body.size() + kEntryHeaderSize + path.size());
    PutNumber(body, next);
    PutNumber(body, dataOffsets[i]);
    PutNumber(body, static_cast<std::int64_t>(catalogs[i].bytes.size()));
    body += path;
  }
  PutNumber(body, catalogs.empty() ? 0 : firstEntry);
  return BeginMarker() + body + EndMarker();
}

}  // namespace zephora
