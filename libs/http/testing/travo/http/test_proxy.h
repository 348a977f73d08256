// A forward proxy for tests, on a loopback address of its choice, that
// records what passes through it.
//
// It speaks HTTP/1.1 as the proxies of a firm do: a request in absolute form
// ("GET http://host:port/path") is sent on to the host with the path alone
// and "Connection: close", and its answer relayed back; "CONNECT host:port"
// opens a tunnel (answered "200 Connection established", then bytes both
// ways until either side closes), or "502" when the host cannot be
// reached. Proxy-Authorization and Proxy-Connection are not passed on.
// Host names are looked up in Test_Proxy_Options::hosts only (a test can
// give a site a name that no DNS knows); addresses are dotted IPv4.
//
// With require_login every request, CONNECT included, is answered 407 with
// "Proxy-Authenticate: Negotiate" and "NTLM" on a connection kept open, as
// a proxy that wants the Windows logon does; nothing is sent on.
//
// Every request line that arrives is recorded, in order, before it is
// answered. Thread-safe; stops and closes every connection when destroyed.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace travo::http::test_support {

struct Test_Proxy_Options {
  std::string address = "127.0.0.1";  // a loopback address to listen on
  bool require_login = false;
  std::map<std::string, std::string> hosts;  // host name -> IPv4 address
};

struct Proxied_Request {
  std::string method;               // "GET", "POST", "CONNECT", ...
  std::string target;               // as in the request line
  std::string proxy_authorization;  // that header's value, "" when absent
};

class Test_Proxy {
 public:
  explicit Test_Proxy(Test_Proxy_Options options = {});
  ~Test_Proxy();
  Test_Proxy(const Test_Proxy&) = delete;
  Test_Proxy& operator=(const Test_Proxy&) = delete;

  int port() const;
  std::string host_port() const;  // "127.0.0.2:PORT"
  std::string url() const;        // "http://127.0.0.2:PORT"
  std::vector<Proxied_Request> requests() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace travo::http::test_support
