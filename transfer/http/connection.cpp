#include "transfer/http/connection.h"

namespace zephora::http {

int Connection::Connect(const std::string& host, std::uint16_t port) {
  Close();
  return tcp_.Connect(host, port);
}

int Connection::StartTls(const std::string& host, const TlsOptions& options) {
  tls_ = std::make_unique<TlsConnection>(tcp_);
  return tls_->Handshake(host, options);
}

bool Connection::PeerClosed() {
  return tls_ != nullptr ? tls_->PeerClosed() : tcp_.PeerClosed();
}

void Connection::Close() {
  if (tls_ != nullptr) {
    tls_->Close();
    tls_.reset();
  }
  tcp_.Close();
}

int Connection::Read(void* buffer, std::size_t size, std::size_t& done) {
  return tls_ != nullptr ? tls_->Receive(buffer, size, done) : tcp_.Receive(buffer, size, done);
}

int Connection::Write(const void* data, std::size_t size) {
  return tls_ != nullptr ? tls_->Send(data, size) : tcp_.Send(data, size);
}

int Connection::WaitReadable(int milliseconds, bool& ready) {
  return tls_ != nullptr ? tls_->WaitReadable(milliseconds, ready)
                         : tcp_.WaitReadable(milliseconds, ready);
}

}  // namespace zephora::http
