// The texts of a failed package check, one per fault, each naming the
// package. A catalog may replace any of them.
#pragma once

#include "i18n/resource_strings.h"
#include "platform/text.h"
#include "transfer/verify/package_signature.h"

namespace zephora::verify {

// The first of the texts ("The signature of the package %s is damaged.").
extern const ResStringRec SSignatureDamaged;

// The message a user reads for `fault` (not None) of the package `package`.
Text SignatureFaultMessage(SignatureFault fault, const Text& package);

}  // namespace zephora::verify
