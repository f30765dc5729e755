#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/tcp_connection.h"

namespace zephora {
namespace {

int Fd(std::intptr_t socket) {
  return static_cast<int>(socket);
}

int LastSocketError() {
  return SocketErrorFromErrno(errno);
}

}  // namespace

int SocketErrorFromErrno(int error) {
  switch (error) {
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
      return 10024;
    case EWOULDBLOCK:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    // Writing to a connection the peer has reset: Winsock reports the reset.
    case EPIPE:
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    default:
      return error;
  }
}

int SocketErrorFromResolver(int code) {
  switch (code) {
    case 0:
      return 0;
    case EAI_NONAME:
      return kSocketHostNotFound;
    case EAI_AGAIN:
      return kSocketTryAgain;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return kSocketNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return kSocketNoData;
#endif
    case EAI_MEMORY:
      return 10055;
    case EAI_SYSTEM:
      return SocketErrorFromErrno(errno);
    default:
      return kSocketNoRecovery;
  }
}

int TcpConnection::Resolve(const std::string& host, std::uint32_t& address) {
  in_addr dotted = {};
  if (::inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
    address = dotted.s_addr;
    return 0;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int code = ::getaddrinfo(host.c_str(), nullptr, &hints, &found))
    return SocketErrorFromResolver(code);
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return 0;
}

int TcpConnection::ConnectTo(std::uint32_t ip, std::uint16_t port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = ip;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0)
    return LastSocketError();
  socket_ = fd;
  // With turns the connect runs on while they are given: a server that
  // never answers must not freeze the window until the system gives up.
  const bool sliced = turns_ != nullptr && turns_->Active();
  const int flags = ::fcntl(fd, F_GETFL);
  if (sliced)
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int result;
  do {
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR && !sliced);
  int error = result == 0 ? 0 : errno;
  if (sliced && (error == EINPROGRESS || error == EINTR)) {
    if (const int waited = WaitInTurns(true)) {
      Close();
      return waited;
    }
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
      error = errno;
  }
  if (error != 0) {
    Close();
    return SocketErrorFromErrno(error);
  }
  if (sliced)
    ::fcntl(fd, F_SETFL, flags);
  // A request head goes out in one write and waits for nothing after it.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return 0;
}

void TcpConnection::Close() {
  if (socket_ != kInvalid) {
    ::close(Fd(socket_));
    socket_ = kInvalid;
  }
}

void TcpConnection::Abort() {
  if (socket_ != kInvalid) {
    const linger reset = {1, 0};
    ::setsockopt(Fd(socket_), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    Close();
  }
}

int TcpConnection::Send(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    if (const int error = WaitInTurns(true))
      return error;
    const ssize_t sent = ::send(Fd(socket_), bytes, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR)
        continue;
      return LastSocketError();
    }
    bytes += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return 0;
}

int TcpConnection::Receive(void* buffer, std::size_t size, std::size_t& done) {
  done = 0;
  // Bytes that are here already need no wait: a fast download pays no
  // extra call for its turns.
  if (turns_ != nullptr && turns_->Active() && turns_->Pass()) {
    const ssize_t got = ::recv(Fd(socket_), buffer, size, MSG_DONTWAIT);
    if (got >= 0) {
      done = static_cast<std::size_t>(got);
      return 0;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
      return LastSocketError();
  }
  if (const int error = WaitInTurns(false))
    return error;
  for (;;) {
    const ssize_t got = ::recv(Fd(socket_), buffer, size, 0);
    if (got >= 0) {
      done = static_cast<std::size_t>(got);
      return 0;
    }
    if (errno != EINTR)
      return LastSocketError();
  }
}

int TcpConnection::Poll(bool writable, int milliseconds, bool& ready) {
  ready = false;
  pollfd entry = {Fd(socket_), static_cast<short>(writable ? POLLOUT : POLLIN), 0};
  for (;;) {
    const int result = ::poll(&entry, 1, milliseconds);
    if (result >= 0) {
      ready = result > 0;
      return 0;
    }
    if (errno != EINTR)
      return LastSocketError();
  }
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
  const ssize_t got = ::recv(Fd(socket_), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  return got <= 0;
}

int TcpListener::Listen(std::uint16_t port) {
  Close();
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0)
    return LastSocketError();
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = LastSocketError();
    ::close(fd);
    return error;
  }
  socket_ = fd;
  port_ = ntohs(address.sin_port);
  return 0;
}

int TcpListener::Accept(TcpConnection& connection, int milliseconds) {
  connection.Close();
  pollfd entry = {Fd(socket_), POLLIN, 0};
  for (;;) {
    const int result = ::poll(&entry, 1, milliseconds);
    if (result == 0)
      return 0;
    if (result > 0)
      break;
    if (errno != EINTR)
      return LastSocketError();
  }
  for (;;) {
    const int fd = ::accept4(Fd(socket_), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      connection.socket_ = fd;
      return 0;
    }
    if (errno != EINTR)
      return LastSocketError();
  }
}

void TcpListener::Close() {
  if (socket_ != kInvalid) {
    ::close(Fd(socket_));
    socket_ = kInvalid;
  }
}

}  // namespace zephora
