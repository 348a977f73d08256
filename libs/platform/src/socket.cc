#include "travo/platform/socket.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace travo::platform {
namespace {

#ifdef _WIN32
using socklen_type = int;

void start_winsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    // Never paired with WSACleanup: sockets may be in use until exit.
    if (const int rc = WSAStartup(MAKEWORD(2, 2), &data); rc != 0) {
      throw std::system_error(rc, std::system_category(), "WSAStartup");
    }
  });
}

int last_error() { return WSAGetLastError(); }
#else
using socklen_type = socklen_t;
void start_winsock() {}
int last_error() { return errno; }
#endif

bool parse_ipv4(std::string_view text, in_addr& out) {
  const std::string copy(text);
  return ::inet_pton(AF_INET, copy.c_str(), &out) == 1;
}

void set_blocking(Socket s, bool blocking) {
#ifdef _WIN32
  u_long non_blocking = blocking ? 0 : 1;
  ::ioctlsocket(static_cast<SOCKET>(s), FIONBIO, &non_blocking);
#else
  const int flags = ::fcntl(s, F_GETFL);
  ::fcntl(s, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
#endif
}

// After a non-blocking connect(): waits for the outcome.
bool connected_within(Socket s, std::chrono::milliseconds timeout) {
#ifdef _WIN32
  WSAPOLLFD p{static_cast<SOCKET>(s), POLLWRNORM, 0};
  if (WSAPoll(&p, 1, static_cast<INT>(timeout.count())) <= 0) return false;
#else
  pollfd p{s, POLLOUT, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
#endif
  int error = 0;
  socklen_type length = sizeof error;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) return false;
  return error == 0;
}

}  // namespace

Socket open_socket(int family, int type, int protocol) {
#ifdef _WIN32
  try {
    start_winsock();
  } catch (const std::system_error&) {
    return kInvalidSocket;
  }
  const SOCKET s = WSASocketW(family, type, protocol, nullptr, 0,
                              WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<Socket>(s);
#else
  const int s = ::socket(family, type | SOCK_CLOEXEC, protocol);
  return s < 0 ? kInvalidSocket : s;
#endif
}

void close_socket(Socket s) {
  if (s == kInvalidSocket) return;
#ifdef _WIN32
  ::closesocket(static_cast<SOCKET>(s));
#else
  ::close(s);
#endif
}

Socket loopback_socket(bool listening, int& port, std::string_view ipv4) {
  start_winsock();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (!parse_ipv4(ipv4, address.sin_addr)) {
    throw std::invalid_argument("not an IPv4 address: " + std::string(ipv4));
  }
  const Socket s = open_socket(AF_INET, SOCK_STREAM, 0);
  if (s == kInvalidSocket) throw std::system_error(last_error(), std::system_category(), "socket");
  socklen_type length = sizeof address;
  const char* step = nullptr;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    step = "bind";
  } else if (listening && ::listen(s, 16) != 0) {
    step = "listen";
  } else if (::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    step = "getsockname";
  }
  if (step) {
    const int error = last_error();
    close_socket(s);
    throw std::system_error(error, std::system_category(), step);
  }
  port = ntohs(address.sin_port);
  return s;
}

Socket connect_socket(std::string_view ipv4, int port, std::chrono::milliseconds timeout) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<unsigned short>(port));
  if (port <= 0 || port > 65535 || !parse_ipv4(ipv4, address.sin_addr)) return kInvalidSocket;
  const Socket s = open_socket(AF_INET, SOCK_STREAM, 0);
  if (s == kInvalidSocket) return kInvalidSocket;
  set_blocking(s, false);
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (!ok) {
#ifdef _WIN32
    const bool pending = last_error() == WSAEWOULDBLOCK;
#else
    const bool pending = last_error() == EINPROGRESS;
#endif
    ok = pending && connected_within(s, timeout);
  }
  if (!ok) {
    close_socket(s);
    return kInvalidSocket;
  }
  set_blocking(s, true);
  return s;
}

bool wait_readable(Socket s, std::chrono::milliseconds timeout) {
#ifdef _WIN32
  WSAPOLLFD p{static_cast<SOCKET>(s), POLLRDNORM, 0};
  return WSAPoll(&p, 1, static_cast<INT>(timeout.count())) > 0;
#else
  pollfd p{s, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
#endif
}

Socket accept_connection(Socket listener) {
#ifdef _WIN32
  const SOCKET s = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  // Accepted sockets inherit the listener's attributes, but be explicit.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<Socket>(s);
#else
  const int s = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  return s < 0 ? kInvalidSocket : s;
#endif
}

std::ptrdiff_t receive(Socket s, char* buffer, std::size_t size) {
#ifdef _WIN32
  const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
  const int n = ::recv(static_cast<SOCKET>(s), buffer, chunk, 0);
  return n == SOCKET_ERROR ? -1 : n;
#else
  return ::recv(s, buffer, size, 0);
#endif
}

bool send_all(Socket s, std::string_view data) {
  while (!data.empty()) {
#ifdef _WIN32
    const int chunk = static_cast<int>(std::min<std::size_t>(data.size(), INT_MAX));
    const int n = ::send(static_cast<SOCKET>(s), data.data(), chunk, 0);
#else
    const ssize_t n = ::send(s, data.data(), data.size(), MSG_NOSIGNAL);
#endif
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace travo::platform
