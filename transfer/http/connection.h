// The connection a request travels over: TCP to the server or the proxy,
// with TLS on top for an https URL (inside the proxy's tunnel when there is
// one). Failures are Winsock numbers or TlsError codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/tcp_connection.h"
#include "platform/tls_connection.h"
#include "transfer/http/byte_stream.h"

namespace zephora::http {

class Connection : public IByteStream {
 public:
  // Turns for every wait of the connection, the TLS handshake's included;
  // null for none.
  void SetTurns(TurnGate* turns) { tcp_.SetTurns(turns); }
  [[nodiscard]] int Connect(const std::string& host, std::uint16_t port);
  // TLS from here on, with `host` named and checked.
  [[nodiscard]] int StartTls(const std::string& host, const TlsOptions& options);
  [[nodiscard]] bool IsOpen() const { return tcp_.IsOpen(); }
  [[nodiscard]] bool PeerClosed();
  void Close();
  // The system's code behind the last TLS failure, 0 for none; until Close.
  [[nodiscard]] std::uint32_t TlsFailureCode() const {
    return tls_ != nullptr ? tls_->FailureCode() : 0;
  }

  int Read(void* buffer, std::size_t size, std::size_t& done) override;
  int Write(const void* data, std::size_t size) override;
  int WaitReadable(int milliseconds, bool& ready) override;

 private:
  TcpConnection tcp_;
  std::unique_ptr<TlsConnection> tls_;
};

}  // namespace zephora::http
