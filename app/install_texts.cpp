#include "app/install_texts.h"

namespace zephora {
namespace {

enum : std::uint32_t {
  kUnableToWrite = 0x1080,
  kInvalidRegType,
  kRegGetDataFailed,
};

constexpr ResourceText kTexts[] = {
    {kUnableToWrite, N_(u"Unable to write to %s")},
    {kInvalidRegType, N_(u"Invalid data type for '%s'")},
    {kRegGetDataFailed, N_(u"Failed to get data for '%s'")},
};

const ResourceModule kModule{kTexts};

}  // namespace

const ResStringRec SUnableToWrite{&kModule, kUnableToWrite};
const ResStringRec SInvalidRegType{&kModule, kInvalidRegType};
const ResStringRec SRegGetDataFailed{&kModule, kRegGetDataFailed};

}  // namespace zephora
