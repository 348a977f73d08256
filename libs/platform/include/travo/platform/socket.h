// The few socket calls that must differ between POSIX systems and Windows:
// opening a connection that child processes do not inherit (the HTTP layer),
// and the loopback helpers that tests use to play a raw or refusing server
// or a proxy.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace travo::platform {

#ifdef _WIN32
using Socket = std::uintptr_t;  // SOCKET
#else
using Socket = int;
#endif
inline constexpr Socket kInvalidSocket = static_cast<Socket>(-1);

// socket(2) whose handle is not inherited by child processes (a converter
// started later must not keep our connections open). kInvalidSocket on
// failure. Starts Winsock on first use.
Socket open_socket(int family, int type, int protocol);

void close_socket(Socket s);

// A TCP socket bound to `address` (an IPv4 loopback address: all of
// 127.0.0.0/8 is the local machine) on a free port, which is stored in
// `port`. With `listening` false nothing accepts on the port, so connections
// to it are refused. Throws std::system_error on failure, and
// std::invalid_argument for an address that is not dotted IPv4.
Socket loopback_socket(bool listening, int& port, std::string_view address = "127.0.0.1");

// A TCP connection to the dotted IPv4 `address` and `port`, made within
// `timeout`; kInvalidSocket when it is refused, times out or fails.
Socket connect_socket(std::string_view address, int port, std::chrono::milliseconds timeout);

// True once `s` is readable (a connection waits, data or the end of the
// stream arrived) within `timeout`.
bool wait_readable(Socket s, std::chrono::milliseconds timeout);

// The next connection on a listening socket, or kInvalidSocket.
Socket accept_connection(Socket listener);

// Bytes read into `buffer`: 0 at the end of the stream, -1 on error.
std::ptrdiff_t receive(Socket s, char* buffer, std::size_t size);

// Writes all of `data`; false when the peer has gone. Never raises SIGPIPE.
bool send_all(Socket s, std::string_view data);

}  // namespace travo::platform
