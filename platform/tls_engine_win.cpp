// The TLS engine on SChannel through SSPI. SChannel runs the protocol; the
// server's chain and name are checked here, against the Windows certificate
// store (kept current by Windows Update) or, when a CA file is given, by a
// chain engine whose only roots are that file's certificates.
// In this order: each of these headers needs the ones before it.
#include <winsock2.h>

#include <windows.h>

#include <wincrypt.h>
#define SECURITY_WIN32
#include <security.h>
// SCH_CREDENTIALS and TLS_PARAMETERS, which use UNICODE_STRING.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>

#include <schannel.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/tls_engine.h"
#include "platform/wide.h"
#include "platform/win_handles.h"

namespace zephora {
namespace {

constexpr DWORD kProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
constexpr ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                  ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                                  ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
// Room for several records: 16 KiB of data each, and their overhead.
constexpr std::size_t kInputSize = 4 * (16384 + 2048);
constexpr std::size_t kLargestCaFile = 4 << 20;

void CloseStore(HCERTSTORE store) noexcept {
  CertCloseStore(store, 0);
}
void FreeCertificate(PCCERT_CONTEXT certificate) noexcept {
  CertFreeCertificateContext(certificate);
}
using unique_store = unique_handle<handle_traits::NullInvalid<HCERTSTORE, CloseStore>>;
using unique_certificate =
    unique_handle<handle_traits::NullInvalid<PCCERT_CONTEXT, FreeCertificate>>;
using unique_chain =
    unique_handle<handle_traits::NullInvalid<PCCERT_CHAIN_CONTEXT, CertFreeCertificateChain>>;
using unique_chain_engine =
    unique_handle<handle_traits::NullInvalid<HCERTCHAINENGINE, CertFreeCertificateChainEngine>>;

// The certificates of a PEM file in a memory store; none when the file
// cannot be read, which leaves nothing trusted.
unique_store LoadCaFile(const Text& path) {
  unique_store store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  File file;
  if (!store || file.Open(path, FileMode::ReadShareRead) != 0)
    return store;
  std::string pem;
  char chunk[16384];
  std::size_t done = 0;
  while (pem.size() < kLargestCaFile && file.Read(chunk, sizeof chunk, done) == 0 && done > 0)
    pem.append(chunk, done);

  constexpr std::string_view kBegin = "-----BEGIN CERTIFICATE-----";
  constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  for (std::size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at)) {
    const std::size_t end = pem.find(kEnd, at);
    if (end == std::string::npos)
      break;
    const DWORD length = static_cast<DWORD>(end + kEnd.size() - at);
    DWORD size = 0;
    if (CryptStringToBinaryA(pem.data() + at, length, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                             nullptr, nullptr)) {
      std::vector<BYTE> der(size);
      if (CryptStringToBinaryA(pem.data() + at, length, CRYPT_STRING_BASE64HEADER, der.data(),
                               &size, nullptr, nullptr)) {
        CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), size,
                                         CERT_STORE_ADD_ALWAYS, nullptr);
      }
    }
    at = end + kEnd.size();
  }
  return store;
}

class SChannelEngine : public TlsEngine {
 public:
  explicit SChannelEngine(TlsWire& wire) : wire_(wire), input_(kInputSize) {}
  ~SChannelEngine() override {
    if (haveContext_)
      DeleteSecurityContext(&context_);
    if (haveCredentials_)
      FreeCredentialsHandle(&credentials_);
  }
  SChannelEngine(const SChannelEngine&) = delete;
  SChannelEngine& operator=(const SChannelEngine&) = delete;

  int Start(const std::string& host, const TlsOptions& options);
  int Handshake() override;
  int Read(void* buffer, std::size_t size, std::size_t& done) override;
  int Write(const void* data, std::size_t size) override;
  void Shutdown() override;

 private:
  bool AcquireCredentials();
  // InitializeSecurityContext until it has what it needs: the handshake,
  // or a message after it (a TLS 1.3 session ticket).
  int Negotiate();
  int SendToken(SecBuffer& token);
  int CheckServer();
  // Reads more bytes from the wire behind what is buffered; `ended` when
  // the server closed the connection.
  int Fill(bool& ended);
  // Takes the bytes that the last call left unused as the next input.
  void KeepExtra(const SecBuffer* extra) {
    start_ = extra != nullptr ? end_ - extra->cbBuffer : end_;
    if (start_ == end_)
      start_ = end_ = 0;
  }

  TlsWire& wire_;
  std::wstring host_;
  unique_store roots_;
  unique_chain_engine chainEngine_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  DWORD protocol_ = 0;
  SecPkgContext_StreamSizes sizes_{};
  std::vector<char> input_;  // received, not yet used: [start_, end_)
  std::size_t start_ = 0;
  std::size_t end_ = 0;
  std::vector<char> plain_;  // decrypted, not yet read: [plainStart_, end)
  std::size_t plainStart_ = 0;
  std::vector<char> output_;
  bool closed_ = false;
};

bool SChannelEngine::AcquireCredentials() {
  // SChannel checks nothing itself: CheckServer does, with the chain engine.
  constexpr DWORD kFlags =
      SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  // SCH_CREDENTIALS (Windows 10 1809 on) is the form that offers TLS 1.3.
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols = ~kProtocols;
  SCH_CREDENTIALS current{};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = kFlags;
  current.cTlsParameters = 1;
  current.pTlsParameters = &parameters;
  auto acquire = [&](void* data) {
    return AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                     SECPKG_CRED_OUTBOUND, nullptr, data, nullptr, nullptr,
                                     &credentials_, nullptr) == SEC_E_OK;
  };
  if (acquire(&current))
    return haveCredentials_ = true;
  // Older systems know only SCHANNEL_CRED, and TLS 1.2 at most.
  SCHANNEL_CRED older{};
  older.dwVersion = SCHANNEL_CRED_VERSION;
  older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  older.dwFlags = kFlags;
  return haveCredentials_ = acquire(&older);
}

int SChannelEngine::Start(const std::string& host, const TlsOptions& options) {
  host_ = ToWide(FromUtf8(host));
  if (!options.caFile.empty()) {
    roots_ = LoadCaFile(options.caFile);
    CERT_CHAIN_ENGINE_CONFIG config{};
    // The Windows 7 layout, up to hExclusiveTrustedPeople: Windows takes
    // it, and Wine refuses the longer one.
    config.cbSize = offsetof(CERT_CHAIN_ENGINE_CONFIG, hExclusiveTrustedPeople) +
                    sizeof config.hExclusiveTrustedPeople;
    config.hExclusiveRoot = roots_.get();
    HCERTCHAINENGINE engine = nullptr;
    if (!roots_ || !CertCreateCertificateChainEngine(&config, &engine))
      return kTlsUntrusted;
    chainEngine_.reset(engine);
  }
  return AcquireCredentials() ? 0 : kTlsHandshakeFailed;
}

int SChannelEngine::Fill(bool& ended) {
  ended = false;
  if (start_ > 0) {
    std::memmove(input_.data(), input_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  if (end_ == input_.size())
    return kTlsCutOff;  // no record is that long: not TLS
  std::size_t got = 0;
  if (const int error = wire_.Receive(input_.data() + end_, input_.size() - end_, got))
    return error;
  ended = got == 0;
  end_ += got;
  return 0;
}

int SChannelEngine::SendToken(SecBuffer& token) {
  int error = 0;
  if (token.pvBuffer != nullptr) {
    if (token.cbBuffer > 0)
      error = wire_.Send(token.pvBuffer, token.cbBuffer);
    FreeContextBuffer(token.pvBuffer);
    token.pvBuffer = nullptr;
  }
  return error;
}

int SChannelEngine::Negotiate() {
  // A record too long for the input is a failed handshake here.
  const auto fill = [this](bool& ended) {
    const int error = Fill(ended);
    return error == kTlsCutOff ? kTlsHandshakeFailed : error;
  };
  for (;;) {
    SecBuffer in[2] = {
        {static_cast<ULONG>(end_ - start_), SECBUFFER_TOKEN, input_.data() + start_},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
    ULONG attributes = 0;
    const SECURITY_STATUS status = InitializeSecurityContextW(
        &credentials_, haveContext_ ? &context_ : nullptr, host_.data(), kContextRequest, 0, 0,
        haveContext_ ? &inDesc : nullptr, 0, haveContext_ ? nullptr : &context_, &outDesc,
        &attributes, nullptr);
    if (!haveContext_ && !FAILED(status))
      haveContext_ = true;
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      SendToken(out[0]);
      bool ended = false;
      if (const int error = fill(ended))
        return error;
      if (ended)
        return kTlsHandshakeFailed;
      continue;
    }
    // Sent even on failure: it may be the alert that tells the server why.
    const int sendError = SendToken(out[0]);
    if (FAILED(status))
      return kTlsHandshakeFailed;
    if (sendError != 0)
      return sendError;
    if (in[0].cbBuffer > 0)
      KeepExtra(in[1].BufferType == SECBUFFER_EXTRA ? &in[1] : nullptr);
    if (status == SEC_E_OK)
      return 0;
    if (status != SEC_I_CONTINUE_NEEDED)
      return kTlsHandshakeFailed;  // e.g. the server asks for a client certificate
    if (start_ == end_) {
      bool ended = false;
      if (const int error = fill(ended))
        return error;
      if (ended)
        return kTlsHandshakeFailed;
    }
  }
}

int SChannelEngine::CheckServer() {
  PCCERT_CONTEXT received = nullptr;
  if (QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &received) != SEC_E_OK ||
      received == nullptr) {
    return kTlsUntrusted;
  }
  const unique_certificate certificate(received);

  LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT built = nullptr;
  if (!CertGetCertificateChain(chainEngine_.get(), received, nullptr, received->hCertStore,
                               &chainPara, 0, nullptr, &built)) {
    return kTlsUntrusted;
  }
  const unique_chain chain(built);

  // The chain's own status first: Wine's SSL policy passes a partial chain.
  const DWORD trust = built->TrustStatus.dwErrorStatus;
  if ((trust & ~static_cast<DWORD>(CERT_TRUST_IS_NOT_TIME_VALID)) != 0)
    return kTlsUntrusted;
  if (trust != 0) {
    const CERT_SIMPLE_CHAIN* simple = built->rgpChain[0];
    for (DWORD i = 0; i < simple->cElement; ++i) {
      const CERT_CHAIN_ELEMENT* element = simple->rgpElement[i];
      if (element->TrustStatus.dwErrorStatus & CERT_TRUST_IS_NOT_TIME_VALID)
        return CertVerifyTimeValidity(nullptr, element->pCertContext->pCertInfo) < 0
                   ? kTlsNotYetValid
                   : kTlsExpired;
    }
    return kTlsExpired;
  }

  HTTPSPolicyCallbackData ssl{};
  ssl.cbStruct = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = host_.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, built, &policy, &status))
    return kTlsUntrusted;
  switch (static_cast<HRESULT>(status.dwError)) {
    case S_OK:
      return 0;
    case CERT_E_CN_NO_MATCH:
      return kTlsOtherHost;
    case CERT_E_EXPIRED:
      return kTlsExpired;
    default:
      return kTlsUntrusted;
  }
}

int SChannelEngine::Handshake() {
  if (const int error = Negotiate())
    return error;
  SecPkgContext_ConnectionInfo info{};
  if (QueryContextAttributesW(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK)
    return kTlsHandshakeFailed;
  // Not only what was asked for: what was agreed.
  protocol_ = info.dwProtocol;
  if ((protocol_ & kProtocols) == 0)
    return kTlsNoCommonVersion;
  if (QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK)
    return kTlsHandshakeFailed;
  output_.resize(sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer);
  return CheckServer();
}

int SChannelEngine::Read(void* buffer, std::size_t size, std::size_t& done) {
  done = 0;
  for (;;) {
    if (plainStart_ < plain_.size()) {
      done = std::min(size, plain_.size() - plainStart_);
      std::memcpy(buffer, plain_.data() + plainStart_, done);
      plainStart_ += done;
      return 0;
    }
    if (closed_)
      return 0;
    if (start_ < end_) {
      constexpr unsigned char kAlert = 21;
      const bool alert = static_cast<unsigned char>(input_[start_]) == kAlert;
      SecBuffer buffers[4] = {
          {static_cast<ULONG>(end_ - start_), SECBUFFER_DATA, input_.data() + start_},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr},
      };
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      const SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
      if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE || status == SEC_I_CONTEXT_EXPIRED) {
        const SecBuffer* extra = nullptr;
        for (const SecBuffer& b : buffers) {
          if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
            // Straight to the caller; what does not fit waits in plain_.
            const char* data = static_cast<const char*>(b.pvBuffer);
            done = std::min<std::size_t>(size, b.cbBuffer);
            std::memcpy(buffer, data, done);
            plain_.assign(data + done, data + b.cbBuffer);
            plainStart_ = 0;
          } else if (b.BufferType == SECBUFFER_EXTRA) {
            extra = &b;
          }
        }
        KeepExtra(extra);
        // Wine reports the server's close_notify as an empty TLS 1.2 alert
        // record that decrypted without error.
        closed_ = status == SEC_I_CONTEXT_EXPIRED || (status == SEC_E_OK && alert && done == 0);
        if (status == SEC_I_RENEGOTIATE) {
          // TLS 1.3 reports its messages after the handshake (session
          // tickets, key updates) so. A TLS 1.2 renegotiation could bring
          // another certificate mid-download: refused.
          if ((protocol_ & SP_PROT_TLS1_3_CLIENT) == 0)
            return kTlsCutOff;
          if (const int error = Negotiate())
            return error;
        }
        if (done > 0)
          return 0;
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE)
        return kTlsCutOff;
    }
    bool ended = false;
    if (const int error = Fill(ended))
      return error;
    if (ended)
      return kTlsCutOff;  // closed without close_notify: the data may be cut short
  }
}

int SChannelEngine::Write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const std::size_t piece = std::min<std::size_t>(size, sizes_.cbMaximumMessage);
    char* header = output_.data();
    std::memcpy(header + sizes_.cbHeader, bytes, piece);
    SecBuffer buffers[4] = {
        {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, header},
        {static_cast<ULONG>(piece), SECBUFFER_DATA, header + sizes_.cbHeader},
        {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, header + sizes_.cbHeader + piece},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK)
      return kTlsCutOff;
    const std::size_t record = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
    if (const int error = wire_.Send(header, record))
      return error;
    bytes += piece;
    size -= piece;
  }
  return 0;
}

void SChannelEngine::Shutdown() {
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
  if (ApplyControlToken(&context_, &controlDesc) != SEC_E_OK)
    return;
  SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
  ULONG attributes = 0;
  InitializeSecurityContextW(&credentials_, &context_, host_.data(), kContextRequest, 0, 0, nullptr,
                             0, nullptr, &outDesc, &attributes, nullptr);
  SendToken(out[0]);
}

}  // namespace

int TlsEngine::Create(TlsWire& wire, const std::string& host, const TlsOptions& options,
                      std::unique_ptr<TlsEngine>& engine) {
  auto created = std::make_unique<SChannelEngine>(wire);
  if (const int error = created->Start(host, options))
    return error;
  engine = std::move(created);
  return 0;
}

}  // namespace zephora
