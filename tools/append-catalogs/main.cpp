// append-catalogs EXECUTABLE RELATIVE-PATH=CATALOG.mo ...
// Appends translation catalogs to an executable, which then finds them as if
// they lay at RELATIVE-PATH beside it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalog_bundle.h"

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
    std::ifstream in(argument.substr(equals + 1), std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "append-catalogs: cannot read %s\n", argument.c_str() + equals + 1);
      return 1;
    }
    catalogs.push_back(
        {argument.substr(0, equals), std::string(std::istreambuf_iterator<char>(in), {})});
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
