#include "catalog_bundle.h"

#include <cstdint>

namespace zephora {
namespace {

void PutI64(std::string& out, std::int64_t value) {
  for (int i = 0; i < 8; ++i)
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
    const auto next = last ? 0 : static_cast<std::int64_t>(body.size() + 24 + path.size());
    PutI64(body, next);
    PutI64(body, dataOffsets[i]);
    PutI64(body, static_cast<std::int64_t>(catalogs[i].bytes.size()));
    body += path;
  }
  PutI64(body, catalogs.empty() ? 0 : firstEntry);
  // Joined here so that this program's own image holds neither marker whole.
  return std::string("DXG") + "BD7F1BE4-9FCF-4E3A-ABA7-3443D11AB362" + body + "DXG" +
         "1C58841C-D8A0-4457-BF54-D8315D4CF49D";
}

}  // namespace zephora
