// append-catalogs EXECUTABLE RELATIVE-PATH=CATALOG.mo ...
// Appends translation catalogs to an executable, which then finds them as if
// they lay at RELATIVE-PATH beside it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalog_bundle.h"
#include "i18n/appended_catalogs.h"

namespace {

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad() && in.is_open();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: append-catalogs EXECUTABLE RELATIVE-PATH=CATALOG.mo ...\n");
    return 2;
  }
  std::vector<zephora::BundledCatalog> catalogs;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    const size_t equals = argument.find('=');
    if (equals == std::string::npos) {
      std::fprintf(stderr, "append-catalogs: %s: expected RELATIVE-PATH=CATALOG.mo\n", argv[i]);
      return 2;
    }
    zephora::BundledCatalog catalog{argument.substr(0, equals), {}};
    if (!ReadWhole(argument.substr(equals + 1), catalog.bytes)) {
      std::fprintf(stderr, "append-catalogs: cannot read %s\n", argument.c_str() + equals + 1);
      return 1;
    }
    catalogs.push_back(std::move(catalog));
  }
  // The reader takes the first marker it finds: a second block, or a marker
  // inside the program's own image, would hide these catalogs.
  std::string executable;
  if (!ReadWhole(argv[1], executable)) {
    std::fprintf(stderr, "append-catalogs: cannot read %s\n", argv[1]);
    return 1;
  }
  namespace format = zephora::appended_catalogs;
  if (executable.find(format::BeginMarker()) != std::string::npos ||
      executable.find(format::EndMarker()) != std::string::npos) {
    std::fprintf(stderr, "append-catalogs: %s already holds a catalog marker\n", argv[1]);
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::app);
  const std::string bundle = zephora::BuildCatalogBundle(catalogs);
  out.write(bundle.data(), static_cast<std::streamsize>(bundle.size()));
  if (!out) {
    std::fprintf(stderr, "append-catalogs: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
