// Fetching one package from the download server into a local file.
#pragma once

#include "platform/text.h"
#include "transfer/http/http_client.h"

namespace zephora {

// "http://", the download host fixed at build time, "/zephora/".
extern const Text DownloadBaseUrl;

// Fetches DownloadBaseUrl + packagePath into fileName. The file is created
// (or emptied) first, held with no sharing, closed on every path and never
// deleted here. Returns only after a 200 reply whose body is stored; throws
// Exception with the user's message otherwise.
void DownloadFile(THttpClient& client, const Text& packagePath, const Text& fileName);

// The same, for a URL given whole (the connection check of tools/fetch).
void DownloadUrl(THttpClient& client, const Text& url, const Text& fileName);

}  // namespace zephora
