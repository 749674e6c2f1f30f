// The server's only platform code for sockets: what Winsock and POSIX
// sockets spell differently, behind one set of names. httplib.h brings in
// the platform's socket headers (winsock2.h on Windows, where it also starts
// Winsock and maps poll() to WSAPoll()) and defines socket_t for both.
#ifndef VELVET_TOOLS_PREVIEW_SERVE_SOCKET_H
#define VELVET_TOOLS_PREVIEW_SERVE_SOCKET_H

#include <httplib.h>

#include <algorithm>
#include <climits>
#include <cstddef>

#ifndef _WIN32
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace preview::serve::net {

#ifdef _WIN32
// Winsock counts bytes in int (a larger buffer goes in parts) and never
// raises SIGPIPE.
using io_size = int;
constexpr int kSendFlags = 0;
constexpr int kShutBoth = SD_BOTH;
inline int poll_one(pollfd& p, int ms) {
  return ::WSAPoll(&p, 1, ms);
}
inline void close(socket_t s) {
  ::closesocket(s);
}
inline io_size recv(socket_t s, char* buffer, std::size_t size) {
  return ::recv(s, buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
}
inline io_size send(socket_t s, const char* data, std::size_t size) {
  return ::send(s, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), kSendFlags);
}
// The call failed only for now and may be made again.
inline bool try_again() {
  const int e = ::WSAGetLastError();
  return e == WSAEINTR || e == WSAEWOULDBLOCK;
}
#else
using io_size = ssize_t;
// A client gone mid-answer must not end the program with SIGPIPE.
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr int kShutBoth = SHUT_RDWR;
inline int poll_one(pollfd& p, int ms) {
  return ::poll(&p, 1, ms);
}
inline void close(socket_t s) {
  ::close(s);
}
inline io_size recv(socket_t s, char* buffer, std::size_t size) {
  return ::recv(s, buffer, size, 0);
}
inline io_size send(socket_t s, const char* data, std::size_t size) {
  return ::send(s, data, size, kSendFlags);
}
inline bool try_again() {
  return errno == EINTR || errno == EAGAIN;
}
#endif

inline void shutdown(socket_t s) {
  ::shutdown(s, kShutBoth);
}

// Sends each write at once. An answer goes out as its head and then its
// body; held back until the head is acknowledged, which a client delays by
// up to 40 ms, the body of every answer would come that much late.
inline void no_delay(socket_t s) {
  const int one = 1;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

// Acknowledges what was read at once. A browser sends a POST's head and its
// body apart, and holds the body back until the head is acknowledged; a
// delayed acknowledgement (Linux's, on a connection kept open) costs every
// change the page sends 40 ms. Linux turns this off again by itself, so it
// is asked after each read; elsewhere there is no such switch.
inline void quick_ack(socket_t s) {
#ifdef TCP_QUICKACK
  const int one = 1;
  ::setsockopt(s, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#else
  (void)s;
#endif
}

}  // namespace preview::serve::net

#endif  // VELVET_TOOLS_PREVIEW_SERVE_SOCKET_H
