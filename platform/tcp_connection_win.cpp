#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <mutex>

#include "platform/tcp_connection.h"

namespace zephora {
namespace {

SOCKET S(std::intptr_t socket) {
  return static_cast<SOCKET>(socket);
}

// Winsock is started once for the process and stays up until it ends.
int StartWinsock() {
  static std::once_flag once;
  static int result = 0;
  std::call_once(once, [] {
    WSADATA data;
    result = WSAStartup(MAKEWORD(2, 2), &data);
  });
  return result;
}

int LastSocketError() {
  return WSAGetLastError();
}

}  // namespace

int SocketErrorFromErrno(int error) {
  return error;
}
int SocketErrorFromResolver(int code) {
  return code;
}

int TcpConnection::Resolve(const std::string& host, std::uint32_t& address) {
  if (const int error = StartWinsock())
    return error;
  in_addr dotted = {};
  if (inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
    address = dotted.s_addr;
    return 0;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
    return LastSocketError();
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return 0;
}

int TcpConnection::ConnectTo(std::uint32_t ip, std::uint16_t port) {
  if (const int error = StartWinsock())
    return error;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = ip;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET)
    return LastSocketError();
  socket_ = static_cast<std::intptr_t>(s);
  // With turns the connect runs on while they are given: a server that
  // never answers must not freeze the window until the system gives up.
  const bool sliced = turns_ != nullptr && turns_->Active();
  u_long nonBlocking = sliced ? 1 : 0;
  if (sliced)
    ioctlsocket(s, FIONBIO, &nonBlocking);
  int error = 0;
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    error = LastSocketError();
  if (sliced && error == WSAEWOULDBLOCK) {
    if (const int waited = WaitInTurns(true)) {
      Close();
      return waited;
    }
    // A refused connect shows as an exception on the socket, not as
    // writable; its error is kept for SO_ERROR.
    int length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
      error = LastSocketError();
  }
  if (error != 0) {
    Close();
    return error;
  }
  if (sliced) {
    nonBlocking = 0;
    ioctlsocket(s, FIONBIO, &nonBlocking);
  }
  // A request head goes out in one write and waits for nothing after it.
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  return 0;
}

void TcpConnection::Close() {
  if (socket_ != kInvalid) {
    closesocket(S(socket_));
    socket_ = kInvalid;
  }
}

void TcpConnection::Abort() {
  if (socket_ != kInvalid) {
    const linger reset = {1, 0};
    setsockopt(S(socket_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
               sizeof reset);
    Close();
  }
}

int TcpConnection::Send(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    if (const int error = WaitInTurns(true))
      return error;
    const int want = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    const int sent = send(S(socket_), bytes, want, 0);
    if (sent == SOCKET_ERROR)
      return LastSocketError();
    bytes += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return 0;
}

int TcpConnection::Receive(void* buffer, std::size_t size, std::size_t& done) {
  done = 0;
  // Bytes that are here already need no wait: a fast download pays no
  // select for its turns.
  u_long available = 0;
  const bool here = turns_ != nullptr && turns_->Active() && turns_->Pass() &&
                    ioctlsocket(S(socket_), FIONREAD, &available) == 0 && available > 0;
  if (!here) {
    if (const int error = WaitInTurns(false))
      return error;
  }
  const int want = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  const int got = recv(S(socket_), static_cast<char*>(buffer), want, 0);
  if (got == SOCKET_ERROR)
    return LastSocketError();
  done = static_cast<std::size_t>(got);
  return 0;
}

int TcpConnection::Poll(bool writable, int milliseconds, bool& ready) {
  ready = false;
  fd_set waited, failed;
  FD_ZERO(&waited);
  FD_SET(S(socket_), &waited);
  FD_ZERO(&failed);
  FD_SET(S(socket_), &failed);
  timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
  // A connect that fails is reported in the exception set only.
  const int result = select(0, writable ? nullptr : &waited, writable ? &waited : nullptr,
                            writable ? &failed : nullptr, milliseconds < 0 ? nullptr : &wait);
  if (result == SOCKET_ERROR)
    return LastSocketError();
  ready = result > 0;
  return 0;
}

bool TcpConnection::PeerClosed() {
  if (socket_ == kInvalid)
    return true;
  bool ready = false;
  if (Poll(false, 0, ready) != 0)
    return true;
  if (!ready)
    return false;
  char probe;
  return recv(S(socket_), &probe, 1, MSG_PEEK) <= 0;
}

int TcpListener::Listen(std::uint16_t port) {
  Close();
  if (const int error = StartWinsock())
    return error;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET)
    return LastSocketError();
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(s, 16) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = LastSocketError();
    closesocket(s);
    return error;
  }
  socket_ = static_cast<std::intptr_t>(s);
  port_ = ntohs(address.sin_port);
  return 0;
}

int TcpListener::Accept(TcpConnection& connection, int milliseconds) {
  connection.Close();
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(S(socket_), &readable);
  timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
  const int result = select(0, &readable, nullptr, nullptr, &wait);
  if (result == SOCKET_ERROR)
    return LastSocketError();
  if (result == 0)
    return 0;
  const SOCKET s = accept(S(socket_), nullptr, nullptr);
  if (s == INVALID_SOCKET)
    return LastSocketError();
  connection.socket_ = static_cast<std::intptr_t>(s);
  return 0;
}

void TcpListener::Close() {
  if (socket_ != kInvalid) {
    closesocket(S(socket_));
    socket_ = kInvalid;
  }
}

}  // namespace zephora
