// The library texts of the dialogs' buttons, loaded through the translation
// layer so that a catalog translates them.
#pragma once

#include "i18n/resource_strings.h"

namespace zephora {

extern const ResStringRec SMsgDlgOK;
extern const ResStringRec SMsgDlgYes;
extern const ResStringRec SMsgDlgNo;

}  // namespace zephora
