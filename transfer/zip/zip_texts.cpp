#include "transfer/zip/zip_texts.h"

namespace zephora::zip {
namespace {

enum : std::uint32_t {
  kFileNotFound = 0x3000,
  kInvalidStream,
  kUnhandledArchiveType,
  kCannotOpenFile,
  kNotPkZipFile,
  kDirectoryNotFound,
  kArchiveNotOpen,
  kCouldNotExtract,
  kMultiPartArchive,
};

constexpr ResourceText kTexts[] = {
    {kFileNotFound, N_(u"File not found")},
    {kInvalidStream, N_(u"Invalid Stream")},
    {kUnhandledArchiveType, N_(u"Unhandled Archive Type")},
    {kCannotOpenFile, N_(u"Cannot open file \"%s\". %s")},
    {kNotPkZipFile, N_(u"Invalid file - not a PKZip file")},
    {kDirectoryNotFound, N_(u"Directory does not exist")},
    {kArchiveNotOpen, N_(u"Archive does not exist - Filename is blank")},
    {kCouldNotExtract,
     // TRANSLATORS: %d counts the package's files that could not be
     // unpacked; %s names up to ten of them, separated by ", ", and ends
     // in ", ..." when there are more.
     NP_(u"Could not extract %d file: %s", u"Could not extract %d files: %s")},
    {kMultiPartArchive, N_(u"Multi-part archives are not supported")},
};

const ResourceModule kModule{kTexts};

}  // namespace

const ResStringRec SFileNotFound{&kModule, kFileNotFound};
const ResStringRec SInvalidStream{&kModule, kInvalidStream};
const ResStringRec SUnhandledArchiveType{&kModule, kUnhandledArchiveType};
const ResStringRec SCannotOpenFile{&kModule, kCannotOpenFile};
const ResStringRec SNotPkZipFile{&kModule, kNotPkZipFile};
const ResStringRec SDirectoryNotFound{&kModule, kDirectoryNotFound};
const ResStringRec SArchiveNotOpen{&kModule, kArchiveNotOpen};
const ResStringRec SCouldNotExtract{&kModule, kCouldNotExtract};
const ResStringRec SMultiPartArchive{&kModule, kMultiPartArchive};

}  // namespace zephora::zip
