// Fetching a package only together with the vendor's signature of it: the
// signature first, then the package, checked as it is written.
#pragma once

#include "platform/text.h"
#include "transfer/http/http_client.h"
#include "transfer/verify/package_signature.h"

namespace zephora {

// As DownloadFile, for a build that carries package keys: fetches
// baseUrl + packagePath + ".minisig" into memory, checks it, then fetches
// the package into fileName, hashing it as it is written and reading no
// further than the signed size, and checks the hash. Returns only when the
// package is what the vendor signed; otherwise the package file is deleted
// (if it was made at all) and the exception carries the reason, naming the
// package.
void DownloadSignedFile(THttpClient& client, const Text& baseUrl, const Text& packagePath,
                        const Text& fileName, const verify::PackageKeys& keys);

// The same for a URL given whole; the package's name is the URL's last part.
void DownloadSignedUrl(THttpClient& client, const Text& url, const Text& fileName,
                       const verify::PackageKeys& keys);

}  // namespace zephora
