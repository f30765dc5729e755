// TLS 1.2 or 1.3 over a connected TcpConnection, with the same operations
// as TCP. Failures are Winsock numbers from the socket or TlsError codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/tcp_connection.h"
#include "platform/tls_engine.h"

namespace zephora {

class TlsConnection {
 public:
  // `tcp` stays the caller's and must outlive this object.
  explicit TlsConnection(TcpConnection& tcp);
  ~TlsConnection();
  TlsConnection(const TlsConnection&) = delete;
  TlsConnection& operator=(const TlsConnection&) = delete;

  // The handshake with `host` and the check of its certificate.
  [[nodiscard]] int Handshake(const std::string& host, const TlsOptions& options);

  [[nodiscard]] int Send(const void* data, std::size_t size);
  // Up to `size` bytes; `done` is 0 when the server closed the session.
  [[nodiscard]] int Receive(void* buffer, std::size_t size, std::size_t& done);
  // Waits up to `milliseconds` until a Receive would not block.
  [[nodiscard]] int WaitReadable(int milliseconds, bool& ready);
  // True when the server has closed the session or the connection while it
  // sat idle; pending data does not count as closed.
  [[nodiscard]] bool PeerClosed();
  // Ends the session (close_notify when it is still sound); the TCP
  // connection stays open for its owner to close.
  void Close();
  // The system's code behind the last TLS failure (TlsEngine::FailureCode),
  // until Close.
  [[nodiscard]] std::uint32_t FailureCode() const {
    return engine_ != nullptr ? engine_->FailureCode() : 0;
  }

 private:
  class Wire;
  // Reads ahead into pending_ within `milliseconds` (-1: without limit).
  int ReadAhead(int milliseconds, bool& ready);

  TcpConnection& tcp_;
  std::unique_ptr<Wire> wire_;
  std::unique_ptr<TlsEngine> engine_;
  std::vector<char> pending_;  // application data read ahead
  std::size_t pendingBegin_ = 0;
  bool closed_ = false;  // the server closed the session
  bool broken_ = false;  // a failure left the session unusable
};

}  // namespace zephora
