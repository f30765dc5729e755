// The shell link component's library message texts, loaded through the
// translation layer.
#pragma once

#include "i18n/resource_strings.h"

namespace zephora {

extern const ResStringRec SOleError;      // %s reason, %s class identifier
extern const ResStringRec SOleErrorCode;  // %.8x result code
extern const ResStringRec SIntfNotSupported;
extern const ResStringRec SCannotCreateShortcut;  // %s link file, %s system error text

}  // namespace zephora
