#include "transfer/http/http_texts.h"

#include <iterator>

#include "platform/system_error.h"

namespace zephora::http {
namespace {

constexpr std::uint32_t kWinsockBase = 0x2040;

// Winsock numbers with a text, in the order of kTexts from kWinsockBase on.
constexpr int kWinsockNumbers[] = {
    10004, 10009, 10013, 10014, 10022, 10024, 10035, 10036, 10037, 10038, 10039, 10040, 10041,
    10042, 10043, 10044, 10045, 10046, 10047, 10048, 10049, 10050, 10051, 10052, 10053, 10054,
    10055, 10056, 10057, 10058, 10059, 10060, 10061, 10062, 10063, 10064, 10065, 10066, 11001,
};

constexpr ResourceText kTexts[] = {
    {0x2000, u"Connection Closed Gracefully."},
    {0x2001, u"Max line length exceeded."},
    {0x2002, u"Socket Error # %d\r\n%s"},
    {0x2003, u"System Error.  Code: %d.\r\n%s%s"},
    {0x2004, u"Cannot create file \"%s\". %s"},
    {0x2005, u"Invalid proxy port: %d"},
    {0x2006, u"Invalid URL: %s"},
    {0x2007, u"Header block too large."},
    {0x2008, u"Content-Length too large."},
    {0x2009, u"Invalid chunk size."},
    {0x200A, u"Empty status line."},
    {0x2040, u"Interrupted system call."},
    {0x2041, u"Bad file number."},
    {0x2042, u"Access denied."},
    {0x2043, u"Buffer fault."},
    {0x2044, u"Invalid argument."},
    {0x2045, u"Too many open files."},
    {0x2046, u"Operation would block."},
    {0x2047, u"Operation now in progress."},
    {0x2048, u"Operation already in progress."},
    {0x2049, u"Socket operation on non-socket."},
    {0x204A, u"Destination address required."},
    {0x204B, u"Message too long."},
    {0x204C, u"Protocol wrong type for socket."},
    {0x204D, u"Bad protocol option."},
    {0x204E, u"Protocol not supported."},
    {0x204F, u"Socket type not supported."},
    {0x2050, u"Operation not supported on socket."},
    {0x2051, u"Protocol family not supported."},
    {0x2052, u"Address family not supported by protocol family."},
    {0x2053, u"Address already in use."},
    {0x2054, u"Cannot assign requested address."},
    {0x2055, u"Network is down."},
    {0x2056, u"Network is unreachable."},
    {0x2057, u"Net dropped connection or reset."},
    {0x2058, u"Software caused connection abort."},
    {0x2059, u"Connection reset by peer."},
    {0x205A, u"No buffer space available."},
    {0x205B, u"Socket is already connected."},
    {0x205C, u"Socket is not connected."},
    {0x205D, u"Cannot send or receive after socket is closed."},
    {0x205E, u"Too many references, cannot splice."},
    {0x205F, u"Connection timed out."},
    {0x2060, u"Connection refused."},
    {0x2061, u"Too many levels of symbolic links."},
    {0x2062, u"File name too long."},
    {0x2063, u"Host is down."},
    {0x2064, u"No route to host."},
    {0x2065, u"Directory not empty"},
    {0x2066, u"Host not found."},
};

constexpr std::size_t kFixedTexts = 11;
static_assert(std::size(kWinsockNumbers) == std::size(kTexts) - kFixedTexts,
              "one text per listed Winsock number");

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
  for (std::size_t i = 0; i < std::size(kWinsockNumbers); ++i) {
    if (kWinsockNumbers[i] == code) {
      const ResStringRec record{&kModule, kWinsockBase + static_cast<std::uint32_t>(i)};
      return LoadResString(record);
    }
  }
  return Text();
}

Text SocketErrorMessage(int code) {
  return FormatResString(SSocketError, {code, WinsockErrorText(code)});
}

Text SystemErrorMessage(int code) {
  return FormatResString(SSystemError, {code, TrimErrorText(SystemErrorText(code)), Text()});
}

}  // namespace zephora::http
