#include "travo/platform/socket.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace travo::platform {
namespace {

using namespace std::chrono_literals;

bool inherited_by_children(Socket s) {
#ifdef _WIN32
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(s), &flags));
  return flags & HANDLE_FLAG_INHERIT;
#else
  return !(fcntl(s, F_GETFD) & FD_CLOEXEC);
#endif
}

// 0 when the connection was made, else the system's error code.
int connect_loopback(Socket s, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<unsigned short>(port));
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return 0;
#ifdef _WIN32
  return WSAGetLastError();
#else
  return errno;
#endif
}

TEST(Socket, OpenedAndAcceptedSocketsStayOutOfChildProcesses) {
  int port = 0;
  const Socket listener = loopback_socket(true, port);
  EXPECT_FALSE(inherited_by_children(listener));
  const Socket client = open_socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(client, kInvalidSocket);
  EXPECT_FALSE(inherited_by_children(client));
  ASSERT_EQ(connect_loopback(client, port), 0);
  const Socket server = accept_connection(listener);
  ASSERT_NE(server, kInvalidSocket);
  EXPECT_FALSE(inherited_by_children(server));
  close_socket(server);
  close_socket(client);
  close_socket(listener);
}

TEST(Socket, LoopbackRoundTripAndEndOfStream) {
  int port = 0;
  const Socket listener = loopback_socket(true, port);
  ASSERT_GT(port, 0);
  EXPECT_FALSE(wait_readable(listener, 0ms)) << "nobody has connected yet";

  const Socket client = open_socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connect_loopback(client, port), 0);
  ASSERT_TRUE(wait_readable(listener, 60s));
  const Socket server = accept_connection(listener);
  ASSERT_NE(server, kInvalidSocket);

  const std::string message(300000, 'q');  // more than one send can take
  std::thread writer([&] { EXPECT_TRUE(send_all(client, message)); close_socket(client); });
  std::string got;
  char buffer[4096];
  while (wait_readable(server, 60s)) {
    const std::ptrdiff_t n = receive(server, buffer, sizeof buffer);
    ASSERT_GE(n, 0);
    if (n == 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  writer.join();
  EXPECT_EQ(got.size(), message.size());
  EXPECT_EQ(got, message);

  // The peer has gone: sending fails instead of killing the process.
  bool sent = true;
  for (int i = 0; i < 100 && sent; ++i) sent = send_all(server, std::string(65536, 'x'));
  EXPECT_FALSE(sent);
  close_socket(server);
  close_socket(listener);
}

TEST(Socket, BoundButNotListeningRefusesConnections) {
  int port = 0;
  const Socket bound = loopback_socket(false, port);
  ASSERT_GT(port, 0);
  const Socket client = open_socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_NE(connect_loopback(client, port), 0);
  close_socket(client);
  EXPECT_EQ(connect_socket("127.0.0.1", port, 60s), kInvalidSocket);
  close_socket(bound);
}

// Another loopback address than 127.0.0.1: test proxies listen there, so
// that a site on 127.0.0.1 and its proxy differ by host, not only by port.
TEST(Socket, OtherLoopbackAddressesListenAndConnect) {
  int port = 0;
  const Socket listener = loopback_socket(true, port, "127.0.0.2");
  const Socket client = connect_socket("127.0.0.2", port, 60s);
  ASSERT_NE(client, kInvalidSocket);
  EXPECT_FALSE(inherited_by_children(client));
  ASSERT_TRUE(wait_readable(listener, 60s));
  const Socket server = accept_connection(listener);
  ASSERT_NE(server, kInvalidSocket);
  ASSERT_TRUE(send_all(client, "ping"));
  char buffer[8];
  ASSERT_TRUE(wait_readable(server, 60s));
  EXPECT_EQ(receive(server, buffer, sizeof buffer), 4);
  close_socket(server);
  close_socket(client);
  close_socket(listener);
  EXPECT_THROW(loopback_socket(true, port, "localhost"), std::invalid_argument);
}

}  // namespace
}  // namespace travo::platform
