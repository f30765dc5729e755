// The block of catalogs that is appended to an executable: begin marker, the
// catalogs' bytes, a table of entries, the offset of the first entry, and the
// end marker. Every offset counts from just past the begin marker, so the
// block is the same wherever it lands in the file.
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
