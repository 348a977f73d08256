// Sessions behind a proxy: what goes through it, what does not, and how a
// failing proxy is told from a failing site.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "travo/http/session.h"
#include "travo/http/test_proxy.h"
#include "travo/platform/environment.h"
#include "travo/platform/socket.h"

namespace travo::http {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using test_support::Proxied_Request;
using test_support::Test_Proxy;
using test_support::Test_Proxy_Options;
using namespace std::chrono_literals;

// A site on 127.0.0.1 and a proxy on 127.0.0.2 that knows the site also
// by a name no DNS resolves.
class HttpProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.Get("/set-cookie", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "sid=abc123; Path=/");
      res.set_content("ok", "text/plain");
    });
    site_.Get("/echo-cookie", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.get_header_value("Cookie"), "text/plain");
    });
    site_.Post("/form", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.get_param_value("q") + " " + req.get_header_value("Host"), "text/plain; charset=utf-8");
    });
    port_ = site_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { site_.listen_after_bind(); });
    // A stop() before the loop runs would be lost, and the join hang.
    while (!site_.is_running()) std::this_thread::sleep_for(1ms);
  }
  void TearDown() override {
    site_.stop();
    if (thread_.joinable()) thread_.join();
  }

  std::string site(const std::string& path, const std::string& host = "127.0.0.1") const {
    return "http://" + host + ":" + std::to_string(port_) + path;
  }
  static Options through(const std::string& proxy, const std::string& no_proxy = "") {
    Options o;
    o.proxy = Proxy{proxy, no_proxy, false, "the test"};
    return o;
  }

  httplib::Server site_;
  int port_ = 0;
  std::thread thread_;
};

Test_Proxy_Options listening_on(const char* address, bool require_login = false) {
  Test_Proxy_Options o;
  o.address = address;
  o.require_login = require_login;
  return o;
}

std::vector<std::string> lines(const Test_Proxy& proxy) {
  std::vector<std::string> out;
  for (const Proxied_Request& r : proxy.requests()) out.push_back(r.method + " " + r.target);
  return out;
}

TEST_F(HttpProxyTest, PlainRequestsGoThroughTheProxyUnlessNoProxyNamesTheHost) {
  Test_Proxy_Options options = listening_on("127.0.0.2");
  options.hosts = {{"patent-site.test", "127.0.0.1"}};
  Test_Proxy proxy(options);
  {
    Session session(through(proxy.url()));
    EXPECT_EQ(session.get(site("/set-cookie"), {}).body, "ok");
    EXPECT_EQ(session.get(site("/echo-cookie"), {}).body, "sid=abc123");
    EXPECT_EQ(session.post_form(site("/form"), {{"q", "檢索"}}, {}).body, "檢索 127.0.0.1:" + std::to_string(port_));
  }
  EXPECT_THAT(lines(proxy), ::testing::ElementsAre("GET " + site("/set-cookie"), "GET " + site("/echo-cookie"),
                                                   "POST " + site("/form")));

  // Only the proxy knows this name: the request cannot have gone around it.
  Session named(through(proxy.url()));
  EXPECT_EQ(named.post_form(site("/form", "patent-site.test"), {{"q", "x"}}, {}).body,
            "x patent-site.test:" + std::to_string(port_));

  Session bypassing(through(proxy.url(), "localhost,127.0.0.1"));
  EXPECT_EQ(bypassing.get(site("/set-cookie"), {}).body, "ok");
  EXPECT_EQ(proxy.requests().size(), 4u) << "no_proxy sends 127.0.0.1 directly";
}

TEST_F(HttpProxyTest, AnExplicitSettingOverridesTheEnvironment) {
  // A proxy variable naming a port that refuses: libcurl alone would use it.
  int refusing = 0;
  const platform::Socket bound = platform::loopback_socket(false, refusing);
  const std::optional<std::string> saved = platform::environment_variable("http_proxy");
  platform::set_environment_variable("http_proxy", "http://127.0.0.1:" + std::to_string(refusing));
  Session direct(through(""));
  const std::string body = direct.get(site("/set-cookie"), {}).body;
  Session unset;
  EXPECT_THROW(unset.get(site("/set-cookie"), {}), Error) << "without a setting libcurl reads http_proxy";
  if (saved) platform::set_environment_variable("http_proxy", *saved);
  else platform::unset_environment_variable("http_proxy");
  platform::close_socket(bound);
  EXPECT_EQ(body, "ok");
}

// Accepts a connection, says something that is not TLS, and closes it.
class Not_Tls_Server {
 public:
  Not_Tls_Server() {
    fd_ = platform::loopback_socket(true, port_);
    thread_ = std::thread([this] {
      while (!stop_) {
        if (!platform::wait_readable(fd_, 20ms)) continue;
        const platform::Socket c = platform::accept_connection(fd_);
        if (c == platform::kInvalidSocket) continue;
        platform::send_all(c, "HTTP/1.1 400 Not TLS\r\nContent-Length: 0\r\n\r\n");
        platform::close_socket(c);
      }
    });
  }
  ~Not_Tls_Server() {
    stop_ = true;
    thread_.join();
    platform::close_socket(fd_);
  }
  int port() const { return port_; }

 private:
  platform::Socket fd_ = platform::kInvalidSocket;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(HttpProxyTest, HttpsGoesThroughATunnelAndASiteFailureBehindItIsTheSites) {
  Test_Proxy proxy(listening_on("127.0.0.2"));
  Not_Tls_Server not_tls;
  const std::string address = "https://127.0.0.1:" + std::to_string(not_tls.port()) + "/travo2";
  Session session(through(proxy.url()));
  try {
    session.get(address, {});
    FAIL() << "a handshake with a server that speaks no TLS must fail";
  } catch (const Proxy_Error& e) {
    FAIL() << "the proxy did its part: " << e.what();
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr(address));
  }
  EXPECT_THAT(lines(proxy), ::testing::ElementsAre("CONNECT 127.0.0.1:" + std::to_string(not_tls.port())));
}

TEST_F(HttpProxyTest, AProxyThatCannotBeReachedIsAProxyError) {
  int refusing = 0;
  const platform::Socket bound = platform::loopback_socket(false, refusing);
  const std::string proxy = "127.0.0.1:" + std::to_string(refusing);
  for (const std::string& address : {site("/set-cookie"), "https://127.0.0.1:" + std::to_string(port_) + "/"}) {
    Session session(through("http://user:secret@" + proxy));
    try {
      session.get(address, {});
      ADD_FAILURE() << "a refusing proxy must fail " << address;
    } catch (const Proxy_Error& e) {
      EXPECT_EQ(e.failure(), Proxy_Error::Failure::unreachable) << e.what();
      EXPECT_EQ(e.proxy(), "http://" + proxy) << "without its credentials";
      EXPECT_EQ(e.description(), "the test");
      EXPECT_THAT(e.what(), HasSubstr(address));
      EXPECT_THAT(e.what(), Not(HasSubstr("secret")));
    }
  }
  platform::close_socket(bound);
}

TEST_F(HttpProxyTest, ALoginThatFailsOrARefusedTunnelIsAProxyError) {
  Test_Proxy login(listening_on("127.0.0.2", true));
  for (const std::string& address : {site("/set-cookie"), "https://127.0.0.1:" + std::to_string(port_) + "/"}) {
    Session session(through(login.url()));
    try {
      session.get(address, {});
      ADD_FAILURE() << "a proxy that answers 407 must fail " << address;
    } catch (const Proxy_Error& e) {
      EXPECT_EQ(e.failure(), Proxy_Error::Failure::login) << e.what();
      EXPECT_EQ(e.status(), 407);
      EXPECT_FALSE(e.system_login());
    }
  }

  // The proxy cannot reach the site: it refuses the tunnel.
  int refusing = 0;
  const platform::Socket bound = platform::loopback_socket(false, refusing);
  Test_Proxy proxy(listening_on("127.0.0.2"));
  Session session(through(proxy.url()));
  try {
    session.get("https://127.0.0.1:" + std::to_string(refusing) + "/", {});
    ADD_FAILURE() << "a refused tunnel must fail";
  } catch (const Proxy_Error& e) {
    EXPECT_EQ(e.failure(), Proxy_Error::Failure::refused) << e.what();
    EXPECT_EQ(e.status(), 502);
  }
  platform::close_socket(bound);
}

// With the Windows logon allowed, a 407 is answered with Negotiate or NTLM
// and never with a password: whatever was offered carries no "Basic".
TEST_F(HttpProxyTest, TheWindowsLogonIsOfferedAndNoPassword) {
  Test_Proxy login(listening_on("127.0.0.2", true));
  Options options = through(login.url());
  options.proxy->system_login = true;
  Session session(options);
  try {
    session.get(site("/set-cookie"), {});
    ADD_FAILURE() << "the test proxy accepts no login";
  } catch (const Proxy_Error& e) {
    EXPECT_EQ(e.failure(), Proxy_Error::Failure::login) << e.what();
    EXPECT_TRUE(e.system_login());
  }
  const std::vector<Proxied_Request> requests = login.requests();
  ASSERT_FALSE(requests.empty());
  for (const Proxied_Request& r : requests) {
    EXPECT_THAT(r.proxy_authorization, Not(HasSubstr("Basic")));
  }
}

}  // namespace
}  // namespace travo::http
