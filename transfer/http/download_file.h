// Fetching one package from the download server into a local file.
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "platform/text.h"
#include "transfer/http/http_client.h"

namespace zephora {

// The User-Agent every download of a package sends.
inline constexpr char16_t kDownloadUserAgent[] =
    u"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1)";

// The package file as a reply body's destination, written from its start.
class FileDestination : public http::IBodyDestination {
 public:
  explicit FileDestination(File& file) : file_(file) {}

  int Write(const void* data, std::size_t size) override;
  int Reserve(std::int64_t length) override;
  int Truncate() override { return file_.SetSize(written_); }

  // The bytes written so far.
  std::int64_t Written() const { return written_; }

 private:
  File& file_;
  std::int64_t written_ = 0;
};

// Creates `fileName` for a download (or empties it), held with no sharing;
// throws "Cannot create file ..." with the system's reason otherwise.
void CreateDownloadFile(File& file, const Text& fileName);

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
