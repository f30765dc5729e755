// The TLS engine on SChannel through SSPI. SChannel runs the protocol; the
// server's chain and name are checked here, against the Windows certificate
// store (kept current by Windows Update) or, when a CA file is given, by a
// chain engine whose only roots are that file's certificates.
//
// secur32.dll and crypt32.dll are not KnownDLLs, so they are loaded at first
// use from System32 (system_library_win.h), never imported: Windows would
// look for an imported one in the Downloads folder that SETUP.EXE runs from.
// In this order: each of these headers needs the ones before it.
#include <winsock2.h>

#include <windows.h>

// CERT_CHAIN_PARA's time limit for fetching what the chain check needs.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <wincrypt.h>

#include "platform/sspi_win.h"
// SCH_CREDENTIALS and TLS_PARAMETERS, which use UNICODE_STRING.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>

#include <schannel.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/file.h"
#include "platform/system_library_win.h"
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
// Windows fetches revocation lists and missing certificates itself; a
// server that does not answer must not hold the installation for long.
constexpr DWORD kChainFetchMs = 4000;
// Revocation that could not be checked (the list's server did not answer in
// time, or no list is named): passed, as browsers do.
constexpr DWORD kRevocationUnknown =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

// crypt32.dll's functions for the CA file and the chain check, each named
// as Windows names it.
struct CertificateFunctions {
  decltype(&::CertOpenStore) CertOpenStore = nullptr;
  decltype(&::CertCloseStore) CertCloseStore = nullptr;
  decltype(&::CertAddEncodedCertificateToStore) CertAddEncodedCertificateToStore = nullptr;
  decltype(&::CryptStringToBinaryA) CryptStringToBinaryA = nullptr;
  decltype(&::CertFreeCertificateContext) CertFreeCertificateContext = nullptr;
  decltype(&::CertDuplicateCertificateContext) CertDuplicateCertificateContext = nullptr;
  decltype(&::CertCreateCertificateChainEngine) CertCreateCertificateChainEngine = nullptr;
  decltype(&::CertFreeCertificateChainEngine) CertFreeCertificateChainEngine = nullptr;
  decltype(&::CertGetCertificateChain) CertGetCertificateChain = nullptr;
  decltype(&::CertFreeCertificateChain) CertFreeCertificateChain = nullptr;
  decltype(&::CertVerifyTimeValidity) CertVerifyTimeValidity = nullptr;
  decltype(&::CertVerifyCertificateChainPolicy) CertVerifyCertificateChainPolicy = nullptr;
  HRESULT error = S_OK;  // why they are not all there
};

// Loaded once and kept for the life of the process.
const CertificateFunctions& Crypt32() {
  static const SystemLibrary library(L"crypt32.dll");
  static const CertificateFunctions functions = [] {
    CertificateFunctions found;
    bool missing = false;
    const auto find = [&missing](auto& function, const char* name) {
      function = library.Find<std::remove_reference_t<decltype(function)>>(name);
      missing = missing || function == nullptr;
    };
    find(found.CertOpenStore, "CertOpenStore");
    find(found.CertCloseStore, "CertCloseStore");
    find(found.CertAddEncodedCertificateToStore, "CertAddEncodedCertificateToStore");
    find(found.CryptStringToBinaryA, "CryptStringToBinaryA");
    find(found.CertFreeCertificateContext, "CertFreeCertificateContext");
    find(found.CertDuplicateCertificateContext, "CertDuplicateCertificateContext");
    find(found.CertCreateCertificateChainEngine, "CertCreateCertificateChainEngine");
    find(found.CertFreeCertificateChainEngine, "CertFreeCertificateChainEngine");
    find(found.CertGetCertificateChain, "CertGetCertificateChain");
    find(found.CertFreeCertificateChain, "CertFreeCertificateChain");
    find(found.CertVerifyTimeValidity, "CertVerifyTimeValidity");
    find(found.CertVerifyCertificateChainPolicy, "CertVerifyCertificateChainPolicy");
    if (missing) {
      found.error = library.Error() != 0 ? HRESULT_FROM_WIN32(library.Error())
                                         : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    return found;
  }();
  return functions;
}

// The owners below hold only what these functions made, so they are there.
void CloseStore(HCERTSTORE store) noexcept {
  Crypt32().CertCloseStore(store, 0);
}
void FreeCertificate(PCCERT_CONTEXT certificate) noexcept {
  Crypt32().CertFreeCertificateContext(certificate);
}
void FreeChain(PCCERT_CHAIN_CONTEXT chain) noexcept {
  Crypt32().CertFreeCertificateChain(chain);
}
void FreeChainEngine(HCERTCHAINENGINE engine) noexcept {
  Crypt32().CertFreeCertificateChainEngine(engine);
}
using unique_store = unique_handle<handle_traits::NullInvalid<HCERTSTORE, CloseStore>>;
using unique_certificate =
    unique_handle<handle_traits::NullInvalid<PCCERT_CONTEXT, FreeCertificate>>;
using unique_chain = unique_handle<handle_traits::NullInvalid<PCCERT_CHAIN_CONTEXT, FreeChain>>;
using unique_chain_engine =
    unique_handle<handle_traits::NullInvalid<HCERTCHAINENGINE, FreeChainEngine>>;

// The roots of a CA file and the chain engine that trusts only them, shared
// with a chain check that a stop may leave running on its own.
struct TrustedRoots {
  unique_store roots;
  unique_chain_engine engine;
};

// A chain built aside, and what it was built with.
struct ChainCall {
  std::shared_ptr<TrustedRoots> trusted;
  unique_certificate certificate;
  unique_chain chain;
  DWORD error = 0;
};

// The certificates of a PEM file in a memory store; none when the file
// cannot be read, which leaves nothing trusted.
unique_store LoadCaFile(const Text& path) {
  const CertificateFunctions& crypt32 = Crypt32();
  unique_store store(crypt32.CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
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
    if (crypt32.CryptStringToBinaryA(pem.data() + at, length, CRYPT_STRING_BASE64HEADER, nullptr,
                                     &size, nullptr, nullptr)) {
      std::vector<BYTE> der(size);
      if (crypt32.CryptStringToBinaryA(pem.data() + at, length, CRYPT_STRING_BASE64HEADER,
                                       der.data(), &size, nullptr, nullptr)) {
        crypt32.CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), size,
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
      sspi_->DeleteSecurityContext(&context_);
    if (haveCredentials_)
      sspi_->FreeCredentialsHandle(&credentials_);
  }
  SChannelEngine(const SChannelEngine&) = delete;
  SChannelEngine& operator=(const SChannelEngine&) = delete;

  int Start(const std::string& host, const TlsOptions& options);
  int Handshake() override;
  int Read(void* buffer, std::size_t size, std::size_t& done) override;
  int Write(const void* data, std::size_t size) override;
  void Shutdown() override;
  std::uint32_t FailureCode() const override { return failureCode_; }

 private:
  bool AcquireCredentials();
  // InitializeSecurityContext until it has what it needs: the handshake,
  // or a message after it (a TLS 1.3 session ticket).
  int Negotiate();
  int SendToken(SecBuffer& token);
  int CheckServer();
  [[nodiscard]] int BuildChainAside(PCCERT_CONTEXT received, DWORD flags,
                                    std::shared_ptr<ChainCall>& call);
  // Reads more bytes from the wire behind what is buffered; `ended` when
  // the server closed the connection.
  int Fill(bool& ended);
  // Takes the bytes that the last call left unused as the next input.
  void KeepExtra(const SecBuffer* extra) {
    start_ = extra != nullptr ? end_ - extra->cbBuffer : end_;
    if (start_ == end_)
      start_ = end_ = 0;
  }
  // `error`, remembering the system's code behind it for the message.
  int Fail(int error, std::uint32_t code) {
    failureCode_ = code;
    return error;
  }

  TlsWire& wire_;
  const SecurityFunctionTableW* sspi_ = nullptr;
  std::wstring host_;
  std::shared_ptr<TrustedRoots> trusted_;  // null: the system's store
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
  ULONG request_ = kContextRequest;
  DWORD protocol_ = 0;
  SecPkgContext_StreamSizes sizes_{};
  std::vector<char> input_;  // received, not yet used: [start_, end_)
  std::size_t start_ = 0;
  std::size_t end_ = 0;
  std::vector<char> plain_;  // decrypted, not yet read: [plainStart_, end)
  std::size_t plainStart_ = 0;
  std::vector<char> output_;
  bool closed_ = false;
  // A message after the handshake that DecryptMessage handed to
  // InitializeSecurityContext (SEC_I_RENEGOTIATE) and that is not complete
  // yet: a read with a deadline can stop in its middle. Until it completes,
  // the context takes nothing but InitializeSecurityContext.
  bool exchangePending_ = false;
  std::uint32_t failureCode_ = 0;
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
  SECURITY_STATUS status = SEC_E_OK;
  auto acquire = [&](void* data) {
    status = sspi_->AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                              SECPKG_CRED_OUTBOUND, nullptr, data, nullptr, nullptr,
                                              &credentials_, nullptr);
    return status == SEC_E_OK;
  };
  if (acquire(&current))
    return haveCredentials_ = true;
  // Older systems know only SCHANNEL_CRED, and TLS 1.2 at most.
  SCHANNEL_CRED older{};
  older.dwVersion = SCHANNEL_CRED_VERSION;
  older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  older.dwFlags = kFlags;
  haveCredentials_ = acquire(&older);
  failureCode_ = static_cast<std::uint32_t>(status);
  return haveCredentials_;
}

int SChannelEngine::Start(const std::string& host, const TlsOptions& options) {
  HRESULT error = S_OK;
  sspi_ = SspiFunctions(error);
  if (sspi_ == nullptr)
    return Fail(kTlsHandshakeFailed, static_cast<std::uint32_t>(error));
  if (const HRESULT missing = Crypt32().error; FAILED(missing))
    return Fail(kTlsHandshakeFailed, static_cast<std::uint32_t>(missing));
  host_ = ToWide(FromUtf8(host));
  if (!options.caFile.empty()) {
    trusted_ = std::make_shared<TrustedRoots>();
    trusted_->roots = LoadCaFile(options.caFile);
    CERT_CHAIN_ENGINE_CONFIG config{};
    // The Windows 7 layout, up to hExclusiveTrustedPeople: Windows takes
    // it, and Wine refuses the longer one.
    config.cbSize = offsetof(CERT_CHAIN_ENGINE_CONFIG, hExclusiveTrustedPeople) +
                    sizeof config.hExclusiveTrustedPeople;
    config.hExclusiveRoot = trusted_->roots.get();
    HCERTCHAINENGINE engine = nullptr;
    if (!trusted_->roots || !Crypt32().CertCreateCertificateChainEngine(&config, &engine))
      return Fail(kTlsUntrusted, static_cast<std::uint32_t>(HRESULT_FROM_WIN32(GetLastError())));
    trusted_->engine.reset(engine);
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
    sspi_->FreeContextBuffer(token.pvBuffer);
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
    const SECURITY_STATUS status = sspi_->InitializeSecurityContextW(
        &credentials_, haveContext_ ? &context_ : nullptr, host_.data(), request_, 0, 0,
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
      return Fail(kTlsHandshakeFailed, static_cast<std::uint32_t>(status));
    if (sendError != 0)
      return sendError;
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
      // The server asks for a client certificate, which this program has
      // none of. As Schannel's documentation describes, the handshake goes
      // on without one, on the same input, which SChannel has not taken;
      // the server decides whether that will do. A second time would go
      // round for ever.
      if ((request_ & ISC_REQ_USE_SUPPLIED_CREDS) != 0)
        return Fail(kTlsHandshakeFailed, static_cast<std::uint32_t>(status));
      request_ |= ISC_REQ_USE_SUPPLIED_CREDS;
      continue;
    }
    if (in[0].cbBuffer > 0)
      KeepExtra(in[1].BufferType == SECBUFFER_EXTRA ? &in[1] : nullptr);
    if (status == SEC_E_OK)
      return 0;
    if (status != SEC_I_CONTINUE_NEEDED)
      return Fail(kTlsHandshakeFailed, static_cast<std::uint32_t>(status));
    if (start_ == end_) {
      bool ended = false;
      if (const int error = fill(ended))
        return error;
      if (ended)
        return kTlsHandshakeFailed;
    }
  }
}

// Building a chain may fetch certificates and revocation lists over the
// network, in a call that cannot be waited for in slices: it runs aside,
// owning all it touches, so that a stop may leave it to finish alone.
int SChannelEngine::BuildChainAside(PCCERT_CONTEXT received, DWORD flags,
                                    std::shared_ptr<ChainCall>& call) {
  const CertificateFunctions& crypt32 = Crypt32();
  call = std::make_shared<ChainCall>();
  call->trusted = trusted_;
  call->certificate.reset(crypt32.CertDuplicateCertificateContext(received));
  return wire_.RunAside([call, flags, &crypt32] {
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    chainPara.dwUrlRetrievalTimeout = kChainFetchMs;
    PCCERT_CONTEXT certificate = call->certificate.get();
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (crypt32.CertGetCertificateChain(call->trusted ? call->trusted->engine.get() : nullptr,
                                        certificate, nullptr, certificate->hCertStore, &chainPara,
                                        flags, nullptr, &built)) {
      call->chain.reset(built);
    } else {
      call->error = GetLastError();
    }
  });
}

int SChannelEngine::CheckServer() {
  const CertificateFunctions& crypt32 = Crypt32();
  PCCERT_CONTEXT received = nullptr;
  const SECURITY_STATUS queried =
      sspi_->QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &received);
  if (queried != SEC_E_OK || received == nullptr)
    return Fail(kTlsUntrusted, static_cast<std::uint32_t>(queried));
  const unique_certificate certificate(received);

  // Revocation of every certificate but the root, which nothing can revoke;
  // all the fetches for it together within kChainFetchMs.
  constexpr DWORD kChainFlags =
      CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT;
  std::shared_ptr<ChainCall> call;
  if (const int error = BuildChainAside(received, kChainFlags, call))
    return error;
  const PCCERT_CHAIN_CONTEXT built = call->chain.get();
  if (built == nullptr)
    return Fail(kTlsUntrusted, static_cast<std::uint32_t>(HRESULT_FROM_WIN32(call->error)));

  // The chain's own status first: Wine's SSL policy passes a partial chain.
  // Its bits are the code support sees (CERT_TRUST_IS_UNTRUSTED_ROOT,
  // CERT_TRUST_IS_REVOKED, ...), less a revocation that could not be
  // checked: that passes, so it is no part of any failure's code.
  const DWORD trust = built->TrustStatus.dwErrorStatus;
  const DWORD errors = trust & ~kRevocationUnknown;
  if ((errors & CERT_TRUST_IS_REVOKED) != 0)
    return Fail(kTlsRevoked, errors);
  // Windows looks for a missing issuer through the system's network
  // settings, which the caller may want to say.
  if ((errors & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) != 0)
    return Fail(kTlsUnknownIssuer, errors);
  if ((errors & ~static_cast<DWORD>(CERT_TRUST_IS_NOT_TIME_VALID)) != 0)
    return Fail(kTlsUntrusted, errors);
  if (errors != 0) {
    const CERT_SIMPLE_CHAIN* simple = built->rgpChain[0];
    for (DWORD i = 0; i < simple->cElement; ++i) {
      const CERT_CHAIN_ELEMENT* element = simple->rgpElement[i];
      if (element->TrustStatus.dwErrorStatus & CERT_TRUST_IS_NOT_TIME_VALID)
        return Fail(crypt32.CertVerifyTimeValidity(nullptr, element->pCertContext->pCertInfo) < 0
                        ? kTlsNotYetValid
                        : kTlsExpired,
                    errors);
    }
    return Fail(kTlsExpired, errors);
  }

  HTTPSPolicyCallbackData ssl{};
  ssl.cbStruct = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = host_.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!crypt32.CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, built, &policy, &status))
    return Fail(kTlsUntrusted, static_cast<std::uint32_t>(HRESULT_FROM_WIN32(GetLastError())));
  const HRESULT policyError = static_cast<HRESULT>(status.dwError);
  if (policyError == CERT_E_REVOCATION_FAILURE || policyError == CRYPT_E_NO_REVOCATION_CHECK ||
      policyError == CRYPT_E_REVOCATION_OFFLINE) {
    // A policy that does not take the flag above (Wine's) stops at the
    // unchecked revocation before it looks at the host name. It gets the
    // chain once more, built without the revocation check, for the rest.
    std::shared_ptr<ChainCall> plainCall;
    if (const int error = BuildChainAside(received, 0, plainCall))
      return error;
    const PCCERT_CHAIN_CONTEXT plain = plainCall->chain.get();
    if (plain == nullptr) {
      return Fail(kTlsUntrusted, static_cast<std::uint32_t>(HRESULT_FROM_WIN32(plainCall->error)));
    }
    status = {};
    status.cbSize = sizeof status;
    if (!crypt32.CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, plain, &policy, &status)) {
      return Fail(kTlsUntrusted, static_cast<std::uint32_t>(HRESULT_FROM_WIN32(GetLastError())));
    }
  }
  switch (static_cast<HRESULT>(status.dwError)) {
    case S_OK:
      return 0;
    case CERT_E_REVOKED:
    case CRYPT_E_REVOKED:
      return Fail(kTlsRevoked, status.dwError);
    case CERT_E_CN_NO_MATCH:
      return Fail(kTlsOtherHost, status.dwError);
    case CERT_E_EXPIRED:
      return Fail(kTlsExpired, status.dwError);
    default:
      return Fail(kTlsUntrusted, status.dwError);
  }
}

int SChannelEngine::Handshake() {
  if (const int error = Negotiate())
    return error;
  SecPkgContext_ConnectionInfo info{};
  if (const SECURITY_STATUS status =
          sspi_->QueryContextAttributesW(&context_, SECPKG_ATTR_CONNECTION_INFO, &info);
      status != SEC_E_OK) {
    return Fail(kTlsHandshakeFailed, static_cast<std::uint32_t>(status));
  }
  // Not only what was asked for: what was agreed.
  protocol_ = info.dwProtocol;
  if ((protocol_ & kProtocols) == 0)
    return Fail(kTlsNoCommonVersion, protocol_);
  if (const SECURITY_STATUS status =
          sspi_->QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
      status != SEC_E_OK) {
    return Fail(kTlsHandshakeFailed, static_cast<std::uint32_t>(status));
  }
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
    if (exchangePending_) {
      // Resumed where the last read stopped; kTlsWouldBlock leaves it pending.
      if (const int error = Negotiate())
        return error;
      exchangePending_ = false;
      continue;
    }
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
      const SECURITY_STATUS status = sspi_->DecryptMessage(&context_, &desc, 0, nullptr);
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
          // tickets, key updates) so; InitializeSecurityContext takes the
          // bytes that follow them. A TLS 1.2 renegotiation could bring
          // another certificate mid-download: refused.
          if ((protocol_ & SP_PROT_TLS1_3_CLIENT) == 0)
            return Fail(kTlsCutOff, static_cast<std::uint32_t>(status));
          exchangePending_ = true;
          if (const int error = Negotiate()) {
            // The data already decrypted is the caller's all the same; the
            // exchange goes on at the next read.
            if (error == kTlsWouldBlock && done > 0)
              return 0;
            return error;
          }
          exchangePending_ = false;
        }
        if (done > 0)
          return 0;
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE)
        return Fail(kTlsCutOff, static_cast<std::uint32_t>(status));
    }
    bool ended = false;
    if (const int error = Fill(ended))
      return error;
    if (ended)
      return kTlsCutOff;  // closed without close_notify: the data may be cut short
  }
}

int SChannelEngine::Write(const void* data, std::size_t size) {
  // The server sends the rest of a message it has begun whatever we do, so
  // this waits for no one who waits for us.
  if (exchangePending_) {
    if (const int error = Negotiate())
      return error;
    exchangePending_ = false;
  }
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
    if (const SECURITY_STATUS status = sspi_->EncryptMessage(&context_, 0, &desc, 0);
        status != SEC_E_OK) {
      return Fail(kTlsCutOff, static_cast<std::uint32_t>(status));
    }
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
  if (sspi_->ApplyControlToken(&context_, &controlDesc) != SEC_E_OK)
    return;
  SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
  ULONG attributes = 0;
  sspi_->InitializeSecurityContextW(&credentials_, &context_, host_.data(), request_, 0, 0, nullptr,
                                    0, nullptr, &outDesc, &attributes, nullptr);
  SendToken(out[0]);
}

}  // namespace

int TlsEngine::Create(TlsWire& wire, const std::string& host, const TlsOptions& options,
                      std::unique_ptr<TlsEngine>& engine) {
  auto created = std::make_unique<SChannelEngine>(wire);
  const int error = created->Start(host, options);
  // Kept on failure too, for the code behind it.
  engine = std::move(created);
  return error;
}

}  // namespace zephora
