// The HTTP client's library message texts. A catalog may replace any of
// them, so code reaches them only through the translation layer's loaders.
#pragma once

#include "i18n/resource_strings.h"
#include "platform/text.h"

namespace zephora::http {

extern const ResStringRec SConnectionClosedGracefully;
extern const ResStringRec SMaxLineLengthExceeded;
extern const ResStringRec SSocketError;       // "Socket Error # %d\r\n%s"
extern const ResStringRec SSystemError;       // "System Error.  Code: %d.\r\n%s%s"
extern const ResStringRec SCannotCreateFile;  // "Cannot create file \"%s\". %s"
extern const ResStringRec SInvalidProxyPort;  // "Invalid proxy port: %d"
extern const ResStringRec SInvalidUrl;        // "Invalid URL: %s"
extern const ResStringRec SHeaderBlockTooLarge;
extern const ResStringRec SContentLengthTooLarge;
extern const ResStringRec SInvalidChunkSize;
extern const ResStringRec SEmptyStatusLine;  // a status line that shows nothing

// The text of a Winsock error number; empty for a number the list lacks.
Text WinsockErrorText(int code);
// "Socket Error # <code>" and the number's text on a second line.
Text SocketErrorMessage(int code);
// An operating-system error as the client words it: number and trimmed text.
Text SystemErrorMessage(int code);

}  // namespace zephora::http
