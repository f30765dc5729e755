#include "transfer/verify/signed_download.h"

#include <exception>
#include <string>
#include <utility>

#include "i18n/translation.h"
#include "platform/exception.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "transfer/http/download_file.h"
#include "transfer/verify/verify_texts.h"

namespace zephora {
namespace {

using verify::SignatureFault;

// Any non-zero number stops the HTTP client's reading; the reason is kept
// beside it and becomes the message.
constexpr int kStopReading = 223;  // ERROR_FILE_TOO_LARGE

// The signature file, held in memory up to the format's limit.
class SignatureDestination : public http::IBodyDestination {
 public:
  int Write(const void* data, std::size_t size) override {
    if (size > verify::kLargestSignatureFile - bytes_.size()) {
      tooLarge_ = true;
      return kStopReading;
    }
    bytes_.append(static_cast<const char*>(data), size);
    return 0;
  }
  int Reserve(std::int64_t length) override {
    if (length > static_cast<std::int64_t>(verify::kLargestSignatureFile - bytes_.size())) {
      tooLarge_ = true;
      return kStopReading;
    }
    return 0;
  }
  int Truncate() override { return 0; }

  const std::string& Bytes() const { return bytes_; }
  bool TooLarge() const { return tooLarge_; }

 private:
  std::string bytes_;
  bool tooLarge_ = false;
};

// The package file, each piece hashed as it is written so the file is
// never read back; nothing past the signed size is written.
class CheckedFileDestination : public http::IBodyDestination {
 public:
  CheckedFileDestination(File& file, verify::PackageSignatureCheck& check)
      : file_(file), check_(check) {}

  int Write(const void* data, std::size_t size) override {
    if ((fault_ = check_.Add(data, size)) != SignatureFault::None)
      return kStopReading;
    return file_.Write(data, size);
  }
  int Reserve(std::int64_t length) override {
    if ((fault_ = check_.Allows(file_.Written() + length)) != SignatureFault::None)
      return kStopReading;
    return file_.Reserve(length);
  }
  int Truncate() override { return file_.Truncate(); }

  SignatureFault Fault() const { return fault_; }

 private:
  FileDestination file_;
  verify::PackageSignatureCheck& check_;
  SignatureFault fault_ = SignatureFault::None;
};

Text LastPart(const Text& url) {
  const std::size_t slash = url.find_last_of(u'/');
  return slash == Text::npos ? url : url.substr(slash + 1);
}

}  // namespace

void DownloadSignedUrl(THttpClient& client, const Text& url, const Text& fileName,
                       const verify::PackageKeys& keys) {
  const Text package = LastPart(url);
  client.Request.UserAgent = kDownloadUserAgent;

  SignatureDestination signatureFile;
  {
    // The signature's few bytes are no part of the package's progress.
    struct KeepProgress {
      THttpClient& client;
      decltype(THttpClient::OnWork) onWork = std::exchange(client.OnWork, nullptr);
      ~KeepProgress() { client.OnWork = std::move(onWork); }
    } keepProgress{client};
    try {
      client.Get(url + u".minisig", signatureFile);
    } catch (const Exception&) {
      if (signatureFile.TooLarge())
        throw Exception(verify::SignatureFaultMessage(SignatureFault::Format, package));
      throw;
    }
  }
  RequireOkReply(client);
  verify::PackageSignatureCheck check(keys, ToUtf8(package));
  if (const SignatureFault fault = check.Accept(signatureFile.Bytes());
      fault != SignatureFault::None) {
    throw Exception(verify::SignatureFaultMessage(fault, package));
  }

  File file;
  CreateDownloadFile(file, fileName);
  // Whatever goes wrong from here, no byte of the package may stay behind
  // for anyone to unpack or run.
  try {
    CheckedFileDestination destination(file, check);
    try {
      client.Get(url, destination);
    } catch (const Exception&) {
      if (destination.Fault() != SignatureFault::None)
        throw Exception(verify::SignatureFaultMessage(destination.Fault(), package));
      throw;
    }
    RequireOkReply(client);
    if (const SignatureFault fault = check.Finish(); fault != SignatureFault::None)
      throw Exception(verify::SignatureFaultMessage(fault, package));
  } catch (...) {
    file.Close();
    (void)RemoveFile(fileName);
    throw;
  }
}

void DownloadSignedFile(THttpClient& client, const Text& baseUrl, const Text& packagePath,
                        const Text& fileName, const verify::PackageKeys& keys) {
  DownloadSignedUrl(client, baseUrl + packagePath, fileName, keys);
}

}  // namespace zephora
