// The archive-level message texts of the extractor, loaded through the
// translation layer.
#pragma once

#include "i18n/resource_strings.h"

namespace zephora::zip {

extern const ResStringRec SFileNotFound;
extern const ResStringRec SInvalidStream;
extern const ResStringRec SUnhandledArchiveType;
extern const ResStringRec SCannotOpenFile;  // %s path, %s system error text
extern const ResStringRec SNotPkZipFile;
extern const ResStringRec SDirectoryNotFound;
extern const ResStringRec SArchiveNotOpen;
extern const ResStringRec SCouldNotExtract;  // %d count, %s names; with plural forms
extern const ResStringRec SMultiPartArchive;

}  // namespace zephora::zip
