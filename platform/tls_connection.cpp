#include "platform/tls_connection.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>

namespace zephora {
namespace {

constexpr std::size_t kReadAheadSize = 16384;  // one record's data at most
constexpr std::size_t kFirstBytesKept = 16;

// Whether the server's first record says that it speaks neither TLS 1.2 nor
// 1.3: a protocol_version alert, or a ServerHello that chose an older
// version. Libraries word this case differently or not at all.
bool RefusedOurVersions(std::string_view first) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(first[i]); };
  constexpr unsigned kAlert = 21, kHandshake = 22, kServerHello = 2, kProtocolVersion = 70;
  if (first.size() >= 7 && byte(0) == kAlert)
    return byte(6) == kProtocolVersion;
  if (first.size() >= 11 && byte(0) == kHandshake && byte(5) == kServerHello)
    return (byte(9) << 8 | byte(10)) < 0x0303;
  return false;
}

}  // namespace

// The TCP connection as the engine's wire. While a deadline is set, a
// receive that would wait beyond it reports kTlsWouldBlock instead.
class TlsConnection::Wire : public TlsWire {
 public:
  explicit Wire(TcpConnection& tcp) : tcp_(tcp) {}

  // -1: no deadline.
  void SetDeadline(int milliseconds) {
    limited_ = milliseconds >= 0;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  }

  int Receive(void* buffer, std::size_t size, std::size_t& done) override {
    done = 0;
    if (limited_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline_ - std::chrono::steady_clock::now());
      bool ready = false;
      if (const int error =
              tcp_.WaitReadable(static_cast<int>(std::max<long long>(0, left.count())), ready))
        return error;
      if (!ready)
        return kTlsWouldBlock;
    }
    const int error = tcp_.Receive(buffer, size, done);
    if (error != 0 || done == 0 || first_.size() >= kFirstBytesKept)
      return error;
    // Anything but a TLS record (a plain HTTP answer) fails at once, rather
    // than have the library wait for a record length read from text.
    first_.append(static_cast<const char*>(buffer),
                  std::min(done, kFirstBytesKept - first_.size()));
    constexpr unsigned char kFirstRecordType = 20, kLastRecordType = 23;
    const auto type = static_cast<unsigned char>(first_[0]);
    return type >= kFirstRecordType && type <= kLastRecordType ? 0 : kTlsHandshakeFailed;
  }
  int Send(const void* data, std::size_t size) override { return tcp_.Send(data, size); }
  int RunAside(std::function<void()> work) override { return tcp_.RunAside(std::move(work)); }

  // The first bytes the server sent.
  std::string_view First() const { return first_; }

 private:
  TcpConnection& tcp_;
  bool limited_ = false;
  std::chrono::steady_clock::time_point deadline_;
  std::string first_;
};

TlsConnection::TlsConnection(TcpConnection& tcp) : tcp_(tcp) {}

TlsConnection::~TlsConnection() = default;

int TlsConnection::Handshake(const std::string& host, const TlsOptions& options) {
  wire_ = std::make_unique<Wire>(tcp_);
  int error = TlsEngine::Create(*wire_, host, options, engine_);
  if (error == 0)
    error = engine_->Handshake();
  if (error == kTlsHandshakeFailed && RefusedOurVersions(wire_->First()))
    error = kTlsNoCommonVersion;
  broken_ = error != 0;
  return error;
}

int TlsConnection::Send(const void* data, std::size_t size) {
  const int error = engine_->Write(data, size);
  broken_ = broken_ || error != 0;
  return error;
}

int TlsConnection::Receive(void* buffer, std::size_t size, std::size_t& done) {
  done = 0;
  if (pendingBegin_ < pending_.size()) {
    done = std::min(size, pending_.size() - pendingBegin_);
    std::memcpy(buffer, pending_.data() + pendingBegin_, done);
    pendingBegin_ += done;
    return 0;
  }
  if (closed_)
    return 0;
  const int error = engine_->Read(buffer, size, done);
  if (error != 0) {
    broken_ = true;
    return error;
  }
  closed_ = done == 0;
  return 0;
}

int TlsConnection::ReadAhead(int milliseconds, bool& ready) {
  ready = true;
  if (pendingBegin_ < pending_.size() || closed_)
    return 0;
  pending_.resize(kReadAheadSize);
  pendingBegin_ = 0;
  std::size_t done = 0;
  wire_->SetDeadline(milliseconds);
  const int error = engine_->Read(pending_.data(), pending_.size(), done);
  wire_->SetDeadline(-1);
  pending_.resize(done);
  if (error == kTlsWouldBlock) {
    ready = false;
    return 0;
  }
  if (error != 0) {
    broken_ = true;
    return error;
  }
  closed_ = done == 0;
  return 0;
}

int TlsConnection::WaitReadable(int milliseconds, bool& ready) {
  return ReadAhead(milliseconds, ready);
}

bool TlsConnection::PeerClosed() {
  if (broken_ || closed_)
    return true;
  bool ready = false;
  return ReadAhead(0, ready) != 0 || closed_;
}

void TlsConnection::Close() {
  if (engine_ != nullptr && !broken_)
    engine_->Shutdown();
  engine_.reset();
  wire_.reset();
  pending_.clear();
  pendingBegin_ = 0;
  closed_ = false;
  broken_ = false;
}

}  // namespace zephora
