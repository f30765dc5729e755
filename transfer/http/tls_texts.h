// The library message texts of downloads over TLS. A catalog may replace
// any of them, so code reaches them only through the translation layer.
#pragma once

#include <cstdint>

#include "i18n/resource_strings.h"
#include "platform/text.h"

namespace zephora::http {

extern const ResStringRec SCertificateUntrusted;
extern const ResStringRec SCertificateExpired;
extern const ResStringRec SCertificateNotYetValid;
extern const ResStringRec SCertificateOtherHost;
extern const ResStringRec STlsHandshakeFailed;
extern const ResStringRec STlsNoCommonVersion;
extern const ResStringRec STlsCutOff;
extern const ResStringRec SCertificateRevoked;
extern const ResStringRec SCertificateUncheckedThroughSystem;

// The message for a failure of the connection: a TLS failure's own text,
// followed by the system's code behind it in hexadecimal when there is one
// (`systemCode`, TlsConnection::FailureCode), or "Socket Error # <code>"
// and the Winsock number's text. `viaProxy`: the connection goes through the
// user's proxy, which the system's own look for certificates does not use.
Text ConnectionErrorMessage(int code, std::uint32_t systemCode = 0, bool viaProxy = false);

}  // namespace zephora::http
