// Where the image of a Windows executable ends in its file. What the loader
// maps is the headers and the raw data of the sections; whatever follows
// (catalogs appended after the build, a code signature) lies beyond.
#pragma once

#include <cstdint>

#include "platform/file.h"

namespace zephora {

// The offset just past the headers, the sections' raw data and, in a build
// that keeps them, the symbols of the PE image that `file` starts with; 0
// when the file does not start with a PE image whose parts all lie within it.
std::int64_t ImageEnd(File& file);

}  // namespace zephora
