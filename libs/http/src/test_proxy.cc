#include "travo/http/test_proxy.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

#include "travo/platform/socket.h"
#include "travo/text/ascii.h"

namespace travo::http::test_support {
namespace {

using namespace std::chrono_literals;
using platform::Socket;

// How long a connection may stay silent in the middle of a request; only a
// broken client reaches it.
constexpr auto kIdleLimit = 120s;
constexpr auto kPoll = 10ms;

using text::iequals;

struct Request {
  std::string method, target, version;
  std::vector<std::pair<std::string, std::string>> headers;

  std::string header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
      if (iequals(n, name)) return v;
    }
    return "";
  }
};

bool parse_head(std::string_view head, Request& out) {
  std::size_t line_end = head.find("\r\n");
  const std::string_view first = head.substr(0, line_end);
  const std::size_t a = first.find(' ');
  const std::size_t b = first.find(' ', a == std::string_view::npos ? a : a + 1);
  if (a == std::string_view::npos || b == std::string_view::npos) return false;
  out.method = std::string(first.substr(0, a));
  out.target = std::string(first.substr(a + 1, b - a - 1));
  out.version = std::string(first.substr(b + 1));
  while (line_end != std::string_view::npos) {
    const std::size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string_view line = head.substr(start, line_end == std::string_view::npos ? std::string_view::npos
                                                                                        : line_end - start);
    const std::size_t colon = line.find(':');
    if (line.empty() || colon == std::string_view::npos) continue;
    out.headers.emplace_back(text::trim_ascii(line.substr(0, colon)), text::trim_ascii(line.substr(colon + 1)));
  }
  return true;
}

// "host:port" split; port 0 when missing or bad.
std::pair<std::string, int> host_and_port(std::string_view authority, int default_port) {
  const std::size_t colon = authority.rfind(':');
  if (colon == std::string_view::npos) return {std::string(authority), default_port};
  return {std::string(authority.substr(0, colon)), std::atoi(std::string(authority.substr(colon + 1)).c_str())};
}

}  // namespace

struct Test_Proxy::Impl {
  Test_Proxy_Options options;
  Socket listener = platform::kInvalidSocket;
  int port = 0;
  std::atomic<bool> stopping{false};
  std::thread acceptor;
  mutable std::mutex mutex;
  std::vector<Proxied_Request> records;
  std::vector<std::thread> connections;

  explicit Impl(Test_Proxy_Options o) : options(std::move(o)) {
    listener = platform::loopback_socket(true, port, options.address);
    acceptor = std::thread([this] { accept_loop(); });
  }

  ~Impl() {
    stopping = true;
    acceptor.join();
    platform::close_socket(listener);
    std::vector<std::thread> running;
    {
      std::lock_guard lock(mutex);
      running.swap(connections);
    }
    for (std::thread& t : running) t.join();
  }

  void accept_loop() {
    while (!stopping) {
      if (!platform::wait_readable(listener, kPoll)) continue;
      const Socket client = platform::accept_connection(listener);
      if (client == platform::kInvalidSocket) continue;
      std::lock_guard lock(mutex);
      connections.emplace_back([this, client] {
        serve(client);
        platform::close_socket(client);
      });
    }
  }

  // Appends what arrives next on `s`; false at the end of the stream, on
  // an error, a stop, or a long silence.
  bool read_some(Socket s, std::string& buffer) {
    const auto deadline = std::chrono::steady_clock::now() + kIdleLimit;
    while (!stopping && std::chrono::steady_clock::now() < deadline) {
      if (!platform::wait_readable(s, kPoll)) continue;
      char chunk[16384];
      const std::ptrdiff_t n = platform::receive(s, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer.append(chunk, static_cast<std::size_t>(n));
      return true;
    }
    return false;
  }

  std::string address_of(const std::string& host) const {
    const auto it = options.hosts.find(host);
    return it == options.hosts.end() ? host : it->second;
  }

  // Requests on one client connection, until it closes or is handed on.
  void serve(Socket client) {
    std::string buffer;
    for (;;) {
      std::size_t end;
      while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!read_some(client, buffer)) return;
      }
      Request request;
      const bool parsed = parse_head(std::string_view(buffer).substr(0, end + 2), request);
      buffer.erase(0, end + 4);
      if (!parsed) {
        platform::send_all(client, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return;
      }
      {
        std::lock_guard lock(mutex);
        records.push_back({request.method, request.target, request.header("Proxy-Authorization")});
      }
      const std::size_t length = static_cast<std::size_t>(std::atoll(request.header("Content-Length").c_str()));
      while (buffer.size() < length) {
        if (!read_some(client, buffer)) return;
      }
      std::string body = buffer.substr(0, length);
      buffer.erase(0, length);

      if (options.require_login) {
        platform::send_all(client,
                           "HTTP/1.1 407 Proxy Authentication Required\r\n"
                           "Proxy-Authenticate: Negotiate\r\nProxy-Authenticate: NTLM\r\n"
                           "Content-Length: 0\r\n\r\n");
        continue;
      }
      if (iequals(request.method, "CONNECT")) {
        tunnel(client, request.target, buffer);
      } else {
        forward(client, request, body);
      }
      return;
    }
  }

  Socket connect_to(const std::string& host, int port_number) {
    return platform::connect_socket(address_of(host), port_number, 30s);
  }

  static void bad_gateway(Socket client) {
    platform::send_all(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  }

  void tunnel(Socket client, const std::string& target, const std::string& early) {
    const auto [host, port_number] = host_and_port(target, 443);
    const Socket server = connect_to(host, port_number);
    if (server == platform::kInvalidSocket) return bad_gateway(client);
    if (platform::send_all(client, "HTTP/1.1 200 Connection established\r\n\r\n") &&
        (early.empty() || platform::send_all(server, early))) {
      relay(client, server);
    }
    platform::close_socket(server);
  }

  // Bytes both ways until either side closes.
  void relay(Socket a, Socket b) {
    while (!stopping) {
      for (const auto& [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
        if (!platform::wait_readable(from, kPoll)) continue;
        char chunk[16384];
        const std::ptrdiff_t n = platform::receive(from, chunk, sizeof chunk);
        if (n <= 0 || !platform::send_all(to, std::string_view(chunk, static_cast<std::size_t>(n)))) return;
      }
    }
  }

  void forward(Socket client, const Request& request, const std::string& body) {
    std::string_view rest = request.target;
    if (!rest.starts_with("http://")) return bad_gateway(client);
    rest.remove_prefix(7);
    const std::size_t slash = rest.find('/');
    const auto [host, port_number] = host_and_port(rest.substr(0, slash), 80);
    const std::string path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    const Socket server = connect_to(host, port_number);
    if (server == platform::kInvalidSocket) return bad_gateway(client);
    std::string out = request.method + " " + path + " " + request.version + "\r\n";
    for (const auto& [name, value] : request.headers) {
      if (iequals(name, "Proxy-Authorization") || iequals(name, "Proxy-Connection") || iequals(name, "Connection") ||
          iequals(name, "Keep-Alive")) {
        continue;
      }
      out += name + ": " + value + "\r\n";
    }
    out += "Connection: close\r\n\r\n" + body;
    if (platform::send_all(server, out)) {
      std::string answer;
      while (read_some(server, answer)) {
        if (!platform::send_all(client, answer)) break;
        answer.clear();
      }
    }
    platform::close_socket(server);
  }
};

Test_Proxy::Test_Proxy(Test_Proxy_Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Test_Proxy::~Test_Proxy() = default;

int Test_Proxy::port() const { return impl_->port; }

std::string Test_Proxy::host_port() const { return impl_->options.address + ":" + std::to_string(impl_->port); }

std::string Test_Proxy::url() const { return "http://" + host_port(); }

std::vector<Proxied_Request> Test_Proxy::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records;
}

}  // namespace travo::http::test_support
