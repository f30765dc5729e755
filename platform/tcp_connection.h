// Blocking IPv4 TCP. Every operation reports failure as a Winsock error
// number (0 for success) on every platform, because those numbers are what
// the user reads in a socket error message; POSIX errno values and resolver
// codes are mapped onto them. With a turn gate set, no operation blocks for
// longer than a slice without a turn, and a turn that asks to stop ends the
// operation with kSocketStopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/turns.h"

namespace zephora {

// The resolver's failures, numbered as Winsock numbers them.
constexpr int kSocketHostNotFound = 11001;
constexpr int kSocketTryAgain = 11002;
constexpr int kSocketNoRecovery = 11003;
constexpr int kSocketNoData = 11004;
// The operation was given up because a turn asked to stop (Winsock's
// number for an interrupted blocking call).
constexpr int kSocketStopped = 10004;

class TcpConnection {
 public:
  TcpConnection() = default;
  ~TcpConnection() { Close(); }
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;
  TcpConnection(TcpConnection&& other) noexcept : socket_(other.socket_), turns_(other.turns_) {
    other.socket_ = kInvalid;
  }
  TcpConnection& operator=(TcpConnection&& other) noexcept {
    if (this != &other) {
      Close();
      socket_ = other.socket_;
      turns_ = other.turns_;
      other.socket_ = kInvalid;
    }
    return *this;
  }

  // Null: every operation blocks as long as the system lets it. The gate
  // must outlive the operations that use it.
  void SetTurns(TurnGate* turns) { turns_ = turns; }

  // Resolves `host` to an IPv4 address (a dotted address is taken as it
  // stands) and connects; no time-out but the system's own. With turns, the
  // name is resolved on a short-lived thread of its own, since the system
  // offers no resolution that can be waited for in slices.
  [[nodiscard]] int Connect(const std::string& host, std::uint16_t port);
  // Runs a system call that cannot be waited for in slices: with turns, on
  // a short-lived thread of its own while the turns go on. `work` must own
  // everything it touches, since after a stop it finishes alone; the caller
  // sees its results only when this returns 0.
  [[nodiscard]] int RunAside(std::function<void()> work);
  [[nodiscard]] bool IsOpen() const { return socket_ != kInvalid; }
  void Close();
  // Closes with a reset instead of an orderly close (test peers use it).
  void Abort();

  [[nodiscard]] int Send(const void* data, std::size_t size);  // all of it
  // Up to `size` bytes; `done` is 0 when the peer closed in an orderly way.
  [[nodiscard]] int Receive(void* buffer, std::size_t size, std::size_t& done);
  // Waits up to `milliseconds` until a Receive would not block (data, close
  // or error pending); `ready` tells whether that happened in time.
  [[nodiscard]] int WaitReadable(int milliseconds, bool& ready);
  // True when the peer has closed or broken the connection while it sat
  // idle; pending data does not count as closed.
  [[nodiscard]] bool PeerClosed();

 private:
  friend class TcpListener;
  static constexpr std::intptr_t kInvalid = -1;

  // The system's part: `address` in network byte order.
  [[nodiscard]] static int Resolve(const std::string& host, std::uint32_t& address);
  [[nodiscard]] int ConnectTo(std::uint32_t address, std::uint16_t port);
  // One wait of up to `milliseconds` (-1: no limit) for the socket to
  // become readable or writable.
  [[nodiscard]] int Poll(bool writable, int milliseconds, bool& ready);
  // Waits in slices, with a turn after each, until the socket is ready;
  // returns at once without turns.
  [[nodiscard]] int WaitInTurns(bool writable);

  std::intptr_t socket_ = kInvalid;
  TurnGate* turns_ = nullptr;
};

// A listening socket on 127.0.0.1, for the loopback peers of the tests.
class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener() { Close(); }
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Port 0 picks a free ephemeral port; Port() tells which.
  [[nodiscard]] int Listen(std::uint16_t port);
  std::uint16_t Port() const { return port_; }
  // Waits up to `milliseconds` for a connection; `connection` stays closed
  // when none came in time.
  [[nodiscard]] int Accept(TcpConnection& connection, int milliseconds);
  void Close();

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t socket_ = kInvalid;
  std::uint16_t port_ = 0;
};

// The Winsock number for a POSIX errno value, or the value itself when the
// list has no counterpart. Identity on Windows.
int SocketErrorFromErrno(int error);
// The Winsock number for a getaddrinfo() result code.
int SocketErrorFromResolver(int code);

}  // namespace zephora
