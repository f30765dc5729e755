// One TLS client session, as the system's TLS library runs it: SChannel on
// Windows, OpenSSL elsewhere. The engine reads and writes its records
// through a TlsWire and knows nothing of sockets; TlsConnection drives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/text.h"

namespace zephora {

// TLS failures. Numbered past Winsock's numbers, so that they travel in the
// same int as a socket error from the connection to the message.
enum TlsError : int {
  kTlsUntrusted = 20001,  // the chain does not end in a trusted root
  kTlsExpired,            // a certificate of the chain has expired
  kTlsNotYetValid,        // a certificate of the chain is not valid yet
  kTlsOtherHost,          // the certificate names another host
  kTlsHandshakeFailed,
  kTlsNoCommonVersion,  // the server offers neither TLS 1.2 nor TLS 1.3
  kTlsCutOff,           // the connection ended without the server closing TLS, or a record was bad
  kTlsRevoked,          // a certificate of the chain has been revoked
  // The chain ends in a root that is not trusted, or stops short of one.
  // On Windows the system looks for missing certificates itself, through
  // its own network settings.
  kTlsUnknownIssuer,
};

// What the session trusts.
struct TlsOptions {
  // Empty: the system's trust store. Otherwise a PEM file whose certificates
  // are the only trusted roots (development builds and tests; a release
  // never sets it).
  Text caFile;
};

// Returned by a TlsWire that may not block now, and passed on by the engine.
constexpr int kTlsWouldBlock = 10035;  // WSAEWOULDBLOCK

// Where the records go: a TCP connection, in practice.
class TlsWire {
 public:
  virtual ~TlsWire() = default;
  // Up to `size` bytes; `done` is 0 when the peer closed in an orderly way.
  // Failures are Winsock numbers, or kTlsWouldBlock.
  [[nodiscard]] virtual int Receive(void* buffer, std::size_t size, std::size_t& done) = 0;
  [[nodiscard]] virtual int Send(const void* data, std::size_t size) = 0;
  // Runs a call that may wait on the network outside the wire (the system
  // fetching certificates for the chain check) as the wire's waits run;
  // `work` owns all it touches. Failures as for Receive; 0 once it ran.
  [[nodiscard]] virtual int RunAside(std::function<void()> work) {
    work();
    return 0;
  }
};

class TlsEngine {
 public:
  virtual ~TlsEngine() = default;

  // This platform's engine for a session with `host`, which it names in the
  // handshake (SNI) and checks the server's certificate against. Failures
  // are TlsError codes; the engine is handed over on failure too, for its
  // FailureCode.
  [[nodiscard]] static int Create(TlsWire& wire, const std::string& host, const TlsOptions& options,
                                  std::unique_ptr<TlsEngine>& engine);

  // Runs the whole handshake and checks the server's certificate chain and
  // name. Failures: Winsock numbers of the wire, TlsError codes.
  [[nodiscard]] virtual int Handshake() = 0;
  // Up to `size` bytes of application data; `done` is 0 only when the server
  // closed the session (close_notify). kTlsWouldBlock when the wire would
  // block before a whole record came; the next call goes on from there.
  [[nodiscard]] virtual int Read(void* buffer, std::size_t size, std::size_t& done) = 0;
  [[nodiscard]] virtual int Write(const void* data, std::size_t size) = 0;
  // Tells the server that no more data follows (close_notify); best effort.
  virtual void Shutdown() = 0;
  // The system's own code behind the last failure, so that support can tell
  // an unknown root from a revoked or mis-named certificate: SChannel's
  // SECURITY_STATUS, the chain's error bits or the SSL policy's error on
  // Windows; OpenSSL's verification result or error code elsewhere. 0 when
  // there is none, as for a failure of the wire.
  virtual std::uint32_t FailureCode() const = 0;
};

}  // namespace zephora
