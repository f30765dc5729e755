#include "transfer/http/http_texts.h"

#include "platform/system_error.h"

namespace zephora::http {
namespace {

// Winsock error numbers lie in this range; the identifier of a Winsock
// error's text is its number.
constexpr int kFirstWinsockError = 10000;
constexpr int kLastWinsockError = 11999;

constexpr ResourceText kTexts[] = {
    {0x2000, N_(u"Connection Closed Gracefully.")},
    {0x2001, N_(u"Max line length exceeded.")},
    {0x2002, N_(u"Socket Error # %d\r\n%s")},
    {0x2003, N_(u"System Error.  Code: %d.\r\n%s%s")},
    {0x2004, N_(u"Cannot create file \"%s\". %s")},
    {0x2005, N_(u"Invalid proxy port: %d")},
    {0x2006, N_(u"Invalid URL: %s")},
    {0x2007, N_(u"Header block too large.")},
    {0x2008, N_(u"Content-Length too large.")},
    {0x2009, N_(u"Invalid chunk size.")},
    {0x200A, N_(u"Empty status line.")},
    {10004, N_(u"Interrupted system call.")},
    {10009, N_(u"Bad file number.")},
    {10013, N_(u"Access denied.")},
    {10014, N_(u"Buffer fault.")},
    {10022, N_(u"Invalid argument.")},
    {10024, N_(u"Too many open files.")},
    {10035, N_(u"Operation would block.")},
    {10036, N_(u"Operation now in progress.")},
    {10037, N_(u"Operation already in progress.")},
    {10038, N_(u"Socket operation on non-socket.")},
    {10039, N_(u"Destination address required.")},
    {10040, N_(u"Message too long.")},
    {10041, N_(u"Protocol wrong type for socket.")},
    {10042, N_(u"Bad protocol option.")},
    {10043, N_(u"Protocol not supported.")},
    {10044, N_(u"Socket type not supported.")},
    {10045, N_(u"Operation not supported on socket.")},
    {10046, N_(u"Protocol family not supported.")},
    {10047, N_(u"Address family not supported by protocol family.")},
    {10048, N_(u"Address already in use.")},
    {10049, N_(u"Cannot assign requested address.")},
    {10050, N_(u"Network is down.")},
    {10051, N_(u"Network is unreachable.")},
    {10052, N_(u"Net dropped connection or reset.")},
    {10053, N_(u"Software caused connection abort.")},
    {10054, N_(u"Connection reset by peer.")},
    {10055, N_(u"No buffer space available.")},
    {10056, N_(u"Socket is already connected.")},
    {10057, N_(u"Socket is not connected.")},
    {10058, N_(u"Cannot send or receive after socket is closed.")},
    {10059, N_(u"Too many references, cannot splice.")},
    {10060, N_(u"Connection timed out.")},
    {10061, N_(u"Connection refused.")},
    {10062, N_(u"Too many levels of symbolic links.")},
    {10063, N_(u"File name too long.")},
    {10064, N_(u"Host is down.")},
    {10065, N_(u"No route to host.")},
    {10066, N_(u"Directory not empty")},
    {11001, N_(u"Host not found.")},
};

const ResourceModule kModule{kTexts};

}  // namespace

const ResStringRec SConnectionClosedGracefully{&kModule, 0x2000};
const ResStringRec SMaxLineLengthExceeded{&kModule, 0x2001};
const ResStringRec SSocketError{&kModule, 0x2002};
const ResStringRec SSystemError{&kModule, 0x2003};
const ResStringRec SCannotCreateFile{&kModule, 0x2004};
const ResStringRec SInvalidProxyPort{&kModule, 0x2005};
const ResStringRec SInvalidUrl{&kModule, 0x2006};
const ResStringRec SHeaderBlockTooLarge{&kModule, 0x2007};
const ResStringRec SContentLengthTooLarge{&kModule, 0x2008};
const ResStringRec SInvalidChunkSize{&kModule, 0x2009};
const ResStringRec SEmptyStatusLine{&kModule, 0x200A};

Text WinsockErrorText(int code) {
  if (code < kFirstWinsockError || code > kLastWinsockError)
    return Text();
  const ResStringRec record{&kModule, static_cast<std::uint32_t>(code)};
  return LoadResString(record);
}

Text SocketErrorMessage(int code) {
  return FormatResString(SSocketError, {code, WinsockErrorText(code)});
}

Text SystemErrorMessage(int code) {
  return FormatResString(SSystemError, {code, TrimErrorText(SystemErrorText(code)), Text()});
}

}  // namespace zephora::http
