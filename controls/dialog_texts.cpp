#include "controls/dialog_texts.h"

namespace zephora {
namespace {

constexpr ResourceText kDialogTexts[] = {
    {0x1000, u"OK"},
    {0x1001, u"&Yes"},
    {0x1002, u"&No"},
};
const ResourceModule kDialogModule{kDialogTexts};

}  // namespace

extern const ResStringRec SMsgDlgOK{&kDialogModule, 0x1000};
extern const ResStringRec SMsgDlgYes{&kDialogModule, 0x1001};
extern const ResStringRec SMsgDlgNo{&kDialogModule, 0x1002};

}  // namespace zephora
