#include "transfer/http/tls_texts.h"

#include "i18n/resource_strings.h"
#include "platform/tls_engine.h"
#include "transfer/http/http_texts.h"

namespace zephora::http {
namespace {

constexpr std::uint32_t kFirstText = 0x2100;

// In the order of TlsError from kTlsUntrusted on.
constexpr ResourceText kTexts[] = {
    {0x2100, u"The server's certificate is not trusted."},
    {0x2101, u"The server's certificate has expired."},
    {0x2102, u"The server's certificate is not valid yet."},
    {0x2103, u"The server's certificate names another host."},
    {0x2104, u"The TLS handshake with the server failed."},
    {0x2105, u"The server and this program have no TLS version in common."},
    {0x2106, u"The secure connection was cut off."},
};
static_assert(std::size(kTexts) == kTlsCutOff - kTlsUntrusted + 1, "one text per TLS failure");

const ResourceModule kModule{kTexts};

}  // namespace

Text ConnectionErrorMessage(int code) {
  if (!IsTlsError(code))
    return SocketErrorMessage(code);
  const ResStringRec record{&kModule,
                            kFirstText + static_cast<std::uint32_t>(code - kTlsUntrusted)};
  return LoadResString(record);
}

}  // namespace zephora::http
