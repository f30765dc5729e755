#include "transfer/verify/verify_texts.h"

namespace zephora::verify {
namespace {

enum : std::uint32_t {
  kFormat = 0x2200,
  kLegacy,
  kUnknownKey,
  kInvalid,
  kOtherFile,
  kAltered,
  kTooLarge,
};

constexpr ResourceText kTexts[] = {
    // TRANSLATORS: here and in the six texts below, %s is the package's file
    // name, as "main.zip"; users read these sentences to a help desk.
    {kFormat, N_(u"The signature of the package %s is damaged.")},
    {kLegacy, N_(u"The signature of the package %s uses a method that is not accepted.")},
    {kUnknownKey, N_(u"The package %s is signed with an unknown key.")},
    {kInvalid, N_(u"The signature of the package %s is not valid.")},
    {kOtherFile, N_(u"The signature of the package %s is for another file.")},
    {kAltered, N_(u"The package %s was changed after it was signed.")},
    {kTooLarge, N_(u"The package %s is larger than the signed package.")},
};

const ResourceModule kModule{kTexts};

std::uint32_t TextOf(SignatureFault fault) {
  switch (fault) {
    case SignatureFault::Legacy:
      return kLegacy;
    case SignatureFault::UnknownKey:
      return kUnknownKey;
    case SignatureFault::Invalid:
      return kInvalid;
    case SignatureFault::OtherFile:
      return kOtherFile;
    case SignatureFault::Altered:
      return kAltered;
    case SignatureFault::TooLarge:
      return kTooLarge;
    case SignatureFault::None:
    case SignatureFault::Format:
      break;
  }
  return kFormat;
}

}  // namespace

const ResStringRec SSignatureDamaged{&kModule, kFormat};

Text SignatureFaultMessage(SignatureFault fault, const Text& package) {
  const ResStringRec record{&kModule, TextOf(fault)};
  return FormatResString(record, {package});
}

}  // namespace zephora::verify
