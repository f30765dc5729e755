#include "transfer/http/tls_texts.h"

#include "platform/tls_engine.h"
#include "transfer/http/http_texts.h"

namespace zephora::http {
namespace {

enum : std::uint32_t {
  kUntrustedText = 0x2100,
  kExpiredText,
  kNotYetValidText,
  kOtherHostText,
  kHandshakeFailedText,
  kNoCommonVersionText,
  kCutOffText,
  kRevokedText,
  kUncheckedThroughSystemText,
};

constexpr ResourceText kTexts[] = {
    {kUntrustedText, N_(u"The server's certificate is not trusted.")},
    {kExpiredText, N_(u"The server's certificate has expired.")},
    {kNotYetValidText, N_(u"The server's certificate is not valid yet.")},
    {kOtherHostText, N_(u"The server's certificate names another host.")},
    {kHandshakeFailedText, N_(u"The TLS handshake with the server failed.")},
    {kNoCommonVersionText, N_(u"The server and this program have no TLS version in common.")},
    {kCutOffText, N_(u"The secure connection was cut off.")},
    {kRevokedText, N_(u"The server's certificate has been revoked.")},
    {kUncheckedThroughSystemText,
     N_(u"Windows could not complete the check of the server's certificate through the "
        "system's network settings.")},
};

const ResourceModule kModule{kTexts};

}  // namespace

const ResStringRec SCertificateUntrusted{&kModule, kUntrustedText};
const ResStringRec SCertificateExpired{&kModule, kExpiredText};
const ResStringRec SCertificateNotYetValid{&kModule, kNotYetValidText};
const ResStringRec SCertificateOtherHost{&kModule, kOtherHostText};
const ResStringRec STlsHandshakeFailed{&kModule, kHandshakeFailedText};
const ResStringRec STlsNoCommonVersion{&kModule, kNoCommonVersionText};
const ResStringRec STlsCutOff{&kModule, kCutOffText};
const ResStringRec SCertificateRevoked{&kModule, kRevokedText};
const ResStringRec SCertificateUncheckedThroughSystem{&kModule, kUncheckedThroughSystemText};

namespace {

const ResStringRec* TlsText(int code, bool viaProxy) {
  switch (code) {
    case kTlsUntrusted:
      return &SCertificateUntrusted;
    case kTlsUnknownIssuer:
      // Windows fetched what was missing through its own network settings,
      // not through the proxy the user gave here, which may be the only
      // way out.
      return viaProxy ? &SCertificateUncheckedThroughSystem : &SCertificateUntrusted;
    case kTlsRevoked:
      return &SCertificateRevoked;
    case kTlsExpired:
      return &SCertificateExpired;
    case kTlsNotYetValid:
      return &SCertificateNotYetValid;
    case kTlsOtherHost:
      return &SCertificateOtherHost;
    case kTlsHandshakeFailed:
      return &STlsHandshakeFailed;
    case kTlsNoCommonVersion:
      return &STlsNoCommonVersion;
    case kTlsCutOff:
      return &STlsCutOff;
    default:
      return nullptr;
  }
}

}  // namespace

Text ConnectionErrorMessage(int code, std::uint32_t systemCode, bool viaProxy) {
  const ResStringRec* text = TlsText(code, viaProxy);
  if (text == nullptr)
    return SocketErrorMessage(code);
  // The code is for support, as Windows writes it; the catalogs translate
  // only the text before it.
  if (systemCode == 0)
    return LoadResString(*text);
  return LoadResString(*text) + u" (0x" + AsciiUpper(ToHexText(systemCode, 8)) + u")";
}

}  // namespace zephora::http
