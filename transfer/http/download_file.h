// Fetching one package from the download server into a local file.
#pragma once

#include "platform/text.h"
#include "transfer/http/http_client.h"

namespace zephora {

// Fetches baseUrl + packagePath into fileName. The base URL is the download
// server's, fixed when SETUP.EXE is built: "http://" or "https://", the host
// (and a port), "/zephora/". The file is created (or emptied) first, held
// with no sharing, closed on every path and deleted only when the client's
// turn asks to stop (TStopped goes on to the caller). Returns only after a
// 200 reply whose body is stored; throws Exception with the user's message
// otherwise.
void DownloadFile(THttpClient& client, const Text& baseUrl, const Text& packagePath,
                  const Text& fileName);

// The same, for a URL given whole (the connection check of tools/fetch).
void DownloadUrl(THttpClient& client, const Text& url, const Text& fileName);

// Throws the download's failure message unless the last reply was a 200:
// a reply of 201 to 299 brings no package either.
void RequireOkReply(const THttpClient& client);

}  // namespace zephora
