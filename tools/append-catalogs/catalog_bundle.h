// The block of catalogs that is appended to an executable, laid out as
// i18n/appended_catalogs.h says.
#pragma once

#include <string>
#include <vector>

namespace zephora {

struct BundledCatalog {
  std::string
      relativePath;  // as looked up beside the executable, e.g. locale\nl\LC_MESSAGES\default.mo
  std::string bytes;
};

std::string BuildCatalogBundle(const std::vector<BundledCatalog>& catalogs);

}  // namespace zephora
