// The TLS engine on OpenSSL: the system's trust store through OpenSSL's
// default verify paths (so SSL_CERT_FILE and SSL_CERT_DIR work), or only a
// CA file's certificates; records travel through a BIO over the wire.
#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "platform/tls_engine.h"

namespace zephora {
namespace {

class OpenSslEngine : public TlsEngine {
 public:
  explicit OpenSslEngine(TlsWire& wire) : wire_(wire) {}
  ~OpenSslEngine() override {
    SSL_free(ssl_);  // and the BIO with it
    SSL_CTX_free(context_);
  }
  OpenSslEngine(const OpenSslEngine&) = delete;
  OpenSslEngine& operator=(const OpenSslEngine&) = delete;

  bool Start(const std::string& host, const TlsOptions& options);
  int Handshake() override;
  int Read(void* buffer, std::size_t size, std::size_t& done) override;
  int Write(const void* data, std::size_t size) override;
  void Shutdown() override;
  std::uint32_t FailureCode() const override { return failureCode_; }

 private:
  static BIO_METHOD* WireMethod();
  static int WireRead(BIO* bio, char* data, std::size_t size, std::size_t* done);
  static int WireWrite(BIO* bio, const char* data, std::size_t size, std::size_t* done);
  static long WireControl(BIO* bio, int command, long number, void* pointer);

  // Makes the failure of an SSL call into a code, and empties OpenSSL's
  // error queue for the next call.
  int Failure(int result, bool handshake);
  void Reset() {
    ERR_clear_error();
    wireError_ = 0;
  }

  TlsWire& wire_;
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  int wireError_ = 0;  // the wire's failure behind the last call's
  std::uint32_t failureCode_ = 0;
};

BIO_METHOD* OpenSslEngine::WireMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* created = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "wire");
    BIO_meth_set_read_ex(created, WireRead);
    BIO_meth_set_write_ex(created, WireWrite);
    BIO_meth_set_ctrl(created, WireControl);
    return created;
  }();
  return method;
}

int OpenSslEngine::WireRead(BIO* bio, char* data, std::size_t size, std::size_t* done) {
  auto* engine = static_cast<OpenSslEngine*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  std::size_t got = 0;
  const int error = engine->wire_.Receive(data, size, got);
  if (error == kTlsWouldBlock) {
    BIO_set_retry_read(bio);
    return 0;
  }
  if (error != 0) {
    engine->wireError_ = error;
    return 0;
  }
  if (got == 0)
    return 0;  // the end without close_notify: OpenSSL reports it as such
  *done = got;
  return 1;
}

int OpenSslEngine::WireWrite(BIO* bio, const char* data, std::size_t size, std::size_t* done) {
  auto* engine = static_cast<OpenSslEngine*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (const int error = engine->wire_.Send(data, size)) {
    engine->wireError_ = error;
    return 0;
  }
  *done = size;
  return 1;
}

long OpenSslEngine::WireControl(BIO*, int command, long, void*) {
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

bool OpenSslEngine::Start(const std::string& host, const TlsOptions& options) {
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr)
    return false;
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(context_, TLS1_3_VERSION);
  // A renegotiation could bring another certificate mid-download.
  SSL_CTX_set_options(context_, SSL_OP_NO_RENEGOTIATION);
  // Whole records and more in one read from the wire, not header and body
  // in two.
  SSL_CTX_set_read_ahead(context_, 1);
  SSL_CTX_set_default_read_buffer_len(context_, 65536);
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
  // A CA file that cannot be read leaves nothing trusted: every server fails.
  if (options.caFile.empty()) {
    SSL_CTX_set_default_verify_paths(context_);
  } else {
    SSL_CTX_load_verify_locations(context_, ToUtf8(options.caFile).c_str(), nullptr);
  }
  ERR_clear_error();

  ssl_ = SSL_new(context_);
  if (ssl_ == nullptr)
    return false;
  in_addr address;
  const bool isAddress = inet_pton(AF_INET, host.c_str(), &address) == 1;
  if (isAddress) {
    if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str()) != 1)
      return false;
  } else {
    if (SSL_set_tlsext_host_name(ssl_, host.c_str()) != 1 || SSL_set1_host(ssl_, host.c_str()) != 1)
      return false;
    SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  }
  BIO* bio = BIO_new(WireMethod());
  if (bio == nullptr)
    return false;
  BIO_set_data(bio, this);
  BIO_set_init(bio, 1);
  SSL_set_bio(ssl_, bio, bio);
  return true;
}

int OpenSslEngine::Failure(int result, bool handshake) {
  const int kind = SSL_get_error(ssl_, result);
  int reason = 0;
  const unsigned long queued = ERR_peek_error();
  if (ERR_GET_LIB(queued) == ERR_LIB_SSL)
    reason = ERR_GET_REASON(queued);
  const long verified = SSL_get_verify_result(ssl_);
  const int wireError = wireError_;
  Reset();

  if (wireError != 0)
    return wireError;
  if (kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE)
    return kTlsWouldBlock;
  // The verification's result names a certificate problem; otherwise
  // OpenSSL's error code, as its own messages print it.
  failureCode_ = static_cast<std::uint32_t>(handshake && verified != X509_V_OK ? verified : queued);
  if (!handshake)
    return kTlsCutOff;
  switch (verified) {
    case X509_V_OK:
      break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return kTlsExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return kTlsNotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return kTlsOtherHost;
    default:
      return kTlsUntrusted;
  }
  switch (reason) {
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_VERSION_TOO_LOW:
      return kTlsNoCommonVersion;
    default:
      return kTlsHandshakeFailed;
  }
}

int OpenSslEngine::Handshake() {
  Reset();
  const int result = SSL_connect(ssl_);
  if (result == 1)
    return 0;
  const int error = Failure(result, true);
  // The handshake waits without limit, so the wire never asks to wait.
  return error == kTlsWouldBlock ? kTlsHandshakeFailed : error;
}

int OpenSslEngine::Read(void* buffer, std::size_t size, std::size_t& done) {
  done = 0;
  Reset();
  if (SSL_read_ex(ssl_, buffer, size, &done) == 1)
    return 0;
  if (SSL_get_error(ssl_, 0) == SSL_ERROR_ZERO_RETURN) {
    Reset();
    return 0;  // the server's close_notify
  }
  return Failure(0, false);
}

int OpenSslEngine::Write(const void* data, std::size_t size) {
  Reset();
  std::size_t written = 0;
  if (SSL_write_ex(ssl_, data, size, &written) == 1)
    return 0;
  return Failure(0, false);
}

void OpenSslEngine::Shutdown() {
  Reset();
  SSL_shutdown(ssl_);
  Reset();
}

}  // namespace

int TlsEngine::Create(TlsWire& wire, const std::string& host, const TlsOptions& options,
                      std::unique_ptr<TlsEngine>& engine) {
  auto created = std::make_unique<OpenSslEngine>(wire);
  const bool started = created->Start(host, options);
  ERR_clear_error();
  // Kept on failure too, as the interface promises.
  engine = std::move(created);
  return started ? 0 : kTlsHandshakeFailed;
}

}  // namespace zephora
