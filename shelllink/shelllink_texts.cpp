#include "shelllink/shelllink_texts.h"

namespace zephora {
namespace {

enum : std::uint32_t {
  kOleError = 0x1300,
  kOleErrorCode,
  kIntfNotSupported,
  kCannotCreateShortcut,
};

constexpr ResourceText kTexts[] = {
    {kOleError, N_(u"%s, ClassID: %s")},
    {kOleErrorCode, N_(u"OLE error %.8x")},
    {kIntfNotSupported, N_(u"Interface not supported")},
    {kCannotCreateShortcut, N_(u"Cannot create the shortcut \"%s\". %s")},
};

const ResourceModule kModule{kTexts};

}  // namespace

const ResStringRec SOleError{&kModule, kOleError};
const ResStringRec SOleErrorCode{&kModule, kOleErrorCode};
const ResStringRec SIntfNotSupported{&kModule, kIntfNotSupported};
const ResStringRec SCannotCreateShortcut{&kModule, kCannotCreateShortcut};

}  // namespace zephora
