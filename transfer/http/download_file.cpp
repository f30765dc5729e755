#include "transfer/http/download_file.h"

#include "i18n/format.h"
#include "i18n/translation.h"
#include "platform/exception.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/system_error.h"
#include "transfer/http/http_texts.h"
#include "transfer/http/status_text.h"

namespace zephora {
int FileDestination::Write(const void* data, std::size_t size) {
  if (const int error = file_.Write(data, size))
    return error;
  written_ += static_cast<std::int64_t>(size);
  return 0;
}

int FileDestination::Reserve(std::int64_t length) {
  if (const int error = file_.SetSize(written_ + length))
    return error;
  return file_.Seek(written_);
}

void CreateDownloadFile(File& file, const Text& fileName) {
  if (const int error = file.Open(fileName, FileMode::CreateExclusive)) {
    throw Exception(FormatResString(http::SCannotCreateFile,
                                    {fileName, TrimErrorText(SystemErrorText(error))}));
  }
}

void DownloadUrl(THttpClient& client, const Text& url, const Text& fileName) {
  File file;
  CreateDownloadFile(file, fileName);
  // `file` closes itself however this ends.
  client.Request.UserAgent = kDownloadUserAgent;
  FileDestination destination(file);
  try {
    client.Get(url, destination);
  } catch (const TStopped&) {
    // The user gave up on this package: a part of it is of no use to anyone.
    file.Close();
    (void)RemoveFile(fileName);
    throw;
  }
  RequireOkReply(client);
}

void RequireOkReply(const THttpClient& client) {
  if (client.ResponseCode() != 200) {
    const Text statusLine = http::ShownStatusLine(client.ResponseText());
    // One text with both placeholders, so that a language can put its own
    // spacing around the colon after the code.
    // TRANSLATORS: %d is the reply's code, %s its status line, as in
    // "HTTP Error:204: HTTP/1.1 204 No Content".
    throw Exception(Format(_(u"HTTP Error:%d: %s"), {client.ResponseCode(), statusLine}));
  }
}

void DownloadFile(THttpClient& client, const Text& baseUrl, const Text& packagePath,
                  const Text& fileName) {
  DownloadUrl(client, baseUrl + packagePath, fileName);
}

}  // namespace zephora
