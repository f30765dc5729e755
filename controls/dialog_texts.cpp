#include "controls/dialog_texts.h"

namespace zephora {
namespace {

constexpr ResourceText kDialogTexts[] = {
    {0x1000, N_(u"OK")},
    // TRANSLATORS: "&" marks the access key; Yes and No share a dialog, so
    // their keys must differ.
    {0x1001, N_(u"&Yes")},
    // TRANSLATORS: "&" marks the access key, which must differ from Yes's.
    {0x1002, N_(u"&No")},
};
const ResourceModule kDialogModule{kDialogTexts};

}  // namespace

extern const ResStringRec SMsgDlgOK{&kDialogModule, 0x1000};
extern const ResStringRec SMsgDlgYes{&kDialogModule, 0x1001};
extern const ResStringRec SMsgDlgNo{&kDialogModule, 0x1002};

}  // namespace zephora
