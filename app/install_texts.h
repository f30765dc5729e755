// The installation run's library message texts, loaded through the
// translation layer.
#pragma once

#include "i18n/resource_strings.h"

namespace zephora {

extern const ResStringRec SUnableToWrite;     // %s the settings file
extern const ResStringRec SInvalidRegType;    // %s the value name
extern const ResStringRec SRegGetDataFailed;  // %s the value name

}  // namespace zephora
