#include "travo/http/session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "travo/platform/socket.h"

namespace travo::http {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

// How long /drip keeps sending.
constexpr auto kDripFor = 3000ms;

// A cpp-httplib server on a free loopback port, serving the routes the
// tests need, stopped (without waiting for slow handlers) at tear-down.
class HttpSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Get("/set-cookie", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Set-Cookie", "sid=abc123; Path=/");
      res.set_content("ok", "text/plain");
    });
    server_.Get("/echo-cookie", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.get_header_value("Cookie"), "text/plain");
    });
    server_.Post("/form", [](const httplib::Request& req, httplib::Response& res) {
      // Decoded fields as the server sees them, one per line.
      std::string out = req.get_header_value("Content-Type") + "\n";
      for (const auto& [name, value] : req.params) out += name + "=" + value + "\n";
      res.set_content(out, "text/plain; charset=utf-8");
    });
    server_.Get("/query", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.target + "\n" + req.get_param_value("q") + "\n" + req.get_param_value("x"),
                      "text/plain; charset=utf-8");
    });
    server_.Get("/latin1", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("caf\xE9 \xC0\xAF ok", "text/html; charset=iso-8859-1");
    });
    server_.Get("/error", [](const httplib::Request&, httplib::Response& res) {
      res.status = 500;
      res.set_header("X-Reason", "testing");
      res.set_content("boom", "text/plain");
    });
    server_.Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("X-Hop", "first");
      res.set_redirect("/landing", 302);
    });
    server_.Post("/post-redirect", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/landing", 303);
    });
    server_.Get("/landing", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content("landed by " + req.method, "text/plain");
    });
    server_.Get("/loop", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("/loop", 302);
    });
    server_.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
      // Silent until tear-down: however slowly the client runs, it never
      // sees an answer before its own stall time-out.
      std::unique_lock lock(mutex_);
      ++slow_arrivals_;
      released_.notify_all();
      released_.wait(lock, [this] { return stopping_; });
      res.set_content("late", "text/plain");
    });
    server_.Get("/drip", [](const httplib::Request&, httplib::Response& res) {
      // A byte every 50 ms until kDripFor has passed since the first: never
      // silent for long, longer than the stall time-out overall however
      // late this thread gets to run. (Not a text type, which the server
      // would compress and so hold back.)
      auto first = std::make_shared<std::optional<std::chrono::steady_clock::time_point>>();
      res.set_chunked_content_provider("application/octet-stream", [first](std::size_t, httplib::DataSink& sink) {
        const auto now = std::chrono::steady_clock::now();
        if (!*first) {
          *first = now;
        } else if (now - **first > kDripFor) {
          sink.done();
          return true;
        } else {
          std::this_thread::sleep_for(50ms);
        }
        sink.write("x", 1);
        return true;
      });
    });
    server_.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(10000, 'b'), "text/plain");
    });
    server_.Get("/big-chunked", [](const httplib::Request&, httplib::Response& res) {
      auto sent = std::make_shared<int>(0);
      res.set_chunked_content_provider("text/plain", [sent](std::size_t, httplib::DataSink& sink) {
        if (*sent == 10) {
          sink.done();
        } else {
          const std::string chunk(1000, 'c');
          sink.write(chunk.data(), chunk.size());
          ++*sent;
        }
        return true;
      });
    });

    server_.set_tcp_nodelay(true);  // no Nagle delay on kept-alive connections
    port_ = server_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(1ms);
  }

  void TearDown() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    released_.notify_all();
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }

  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool stopping_ = false;
  int slow_arrivals_ = 0;  // requests /slow has received
};

// Accepts connections on a free loopback port and records each request's
// raw bytes (headers in wire order, exact body), answering 200 "ok".
class Raw_Server {
 public:
  Raw_Server() {
    fd_ = platform::loopback_socket(true, port_);
    thread_ = std::thread([this] { run(); });
  }
  ~Raw_Server() {
    stop_ = true;
    thread_.join();
    platform::close_socket(fd_);
  }

  int port() const { return port_; }
  std::string last_request() {
    std::lock_guard lock(mutex_);
    return last_;
  }

 private:
  void run() {
    while (!stop_) {
      if (!platform::wait_readable(fd_, 20ms)) continue;
      const platform::Socket conn = platform::accept_connection(fd_);
      if (conn == platform::kInvalidSocket) continue;
      const std::string request = read_request(conn);
      {
        std::lock_guard lock(mutex_);
        last_ = request;
      }
      const std::string reply =
          "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
      platform::send_all(conn, reply);
      platform::close_socket(conn);
    }
  }

  static std::string read_request(platform::Socket conn) {
    std::string data;
    std::size_t want = std::string::npos;
    char buf[4096];
    while (want == std::string::npos || data.size() < want) {
      // Bounds a client that never finishes its request; a busy machine may
      // leave long gaps between the parts of a whole one.
      if (!platform::wait_readable(conn, 60s)) break;
      const std::ptrdiff_t n = platform::receive(conn, buf, sizeof buf);
      if (n <= 0) break;
      data.append(buf, static_cast<std::size_t>(n));
      const std::size_t end = data.find("\r\n\r\n");
      if (want == std::string::npos && end != std::string::npos) {
        std::size_t length = 0;
        std::string lower = data.substr(0, end);
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (const auto at = lower.find("\r\ncontent-length:"); at != std::string::npos) {
          length = std::stoul(lower.substr(at + 17));
        }
        want = end + 4 + length;
      }
    }
    return data;
  }

  platform::Socket fd_ = platform::kInvalidSocket;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::string last_;
};

TEST_F(HttpSessionTest, CookiesStayInTheirOwnSession) {
  Session first;
  Session second;
  EXPECT_EQ(first.get(url("/set-cookie"), {}).body, "ok");
  EXPECT_EQ(first.get(url("/echo-cookie"), {}).body, "sid=abc123");
  EXPECT_EQ(first.cookies(), (Fields{{"sid", "abc123"}}));

  EXPECT_EQ(second.get(url("/echo-cookie"), {}).body, "");
  EXPECT_TRUE(second.cookies().empty());
  EXPECT_EQ(first.get(url("/echo-cookie"), {}).body, "sid=abc123");
}

TEST(HttpRawRequest, PostFormSendsExactBodyAndHeadersInOrder) {
  Raw_Server server;
  Session session;
  const std::string address = "http://127.0.0.1:" + std::to_string(server.port()) + "/search";
  const Response response = session.post_form(
      address, {{"_IMG_檢索.x", "12"}, {"q", "a b&c=d"}, {"_IMG_檢索.y", "7"}},
      {{"X-Zeta", "1"}, {"Referer", "http://example.com/page?x=1"}, {"X-Alpha", "two words"}});
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "ok");

  const std::string request = server.last_request();
  EXPECT_TRUE(request.starts_with("POST /search HTTP/1.1\r\n")) << request;
  EXPECT_THAT(request, HasSubstr("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
  EXPECT_THAT(request, ::testing::Not(HasSubstr("Expect:")));
  const std::size_t zeta = request.find("\r\nX-Zeta: 1\r\n");
  const std::size_t referer = request.find("\r\nReferer: http://example.com/page?x=1\r\n");
  const std::size_t alpha = request.find("\r\nX-Alpha: two words\r\n");
  ASSERT_NE(zeta, std::string::npos) << request;
  ASSERT_NE(referer, std::string::npos) << request;
  ASSERT_NE(alpha, std::string::npos) << request;
  EXPECT_LT(zeta, referer);
  EXPECT_LT(referer, alpha);
  const std::string body =
      "_IMG_%E6%AA%A2%E7%B4%A2.x=12&q=a+b%26c%3Dd&_IMG_%E6%AA%A2%E7%B4%A2.y=7";
  EXPECT_TRUE(request.ends_with("\r\n\r\n" + body)) << request;
}

TEST_F(HttpSessionTest, PostFormFieldsArriveDecoded) {
  Session session;
  const Response response =
      session.post_form(url("/form"), {{"_IMG_檢索.x", "12"}, {"q", "a b&c=d 中"}}, {});
  EXPECT_EQ(response.body,
            "application/x-www-form-urlencoded\n_IMG_檢索.x=12\nq=a b&c=d 中\n");
  EXPECT_EQ(session.get(url("/landing"), {}).body, "landed by GET");  // back to GET
}

TEST_F(HttpSessionTest, GetEscapesTheAddress) {
  Session session;
  const Response response = session.get(url("/query?q=檢 索^&x=%41"), {});
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "/query?q=%E6%AA%A2%20%E7%B4%A2%5E&x=%41\n檢 索^\nA");
  EXPECT_EQ(response.url, url("/query?q=%E6%AA%A2%20%E7%B4%A2%5E&x=%41"));
}

TEST_F(HttpSessionTest, ResolvedAddressCanBeFetched) {
  Session session;
  const std::string target = resolve(url("/travo2/travokmc"), "../query?@@0.1^&x=中");
  const Response response = session.get(target, {});
  EXPECT_EQ(response.status, 200);
  EXPECT_THAT(response.body, ::testing::EndsWith("\n\n中"));
}

TEST_F(HttpSessionTest, InvalidBytesBecomeReplacementCharacters) {
  Session session;
  const Response response = session.get(url("/latin1"), {});
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "caf\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD ok");
}

TEST_F(HttpSessionTest, ErrorStatusIsAnOrdinaryResponse) {
  Session session;
  const Response response = session.get(url("/error"), {});
  EXPECT_EQ(response.status, 500);
  EXPECT_EQ(response.body, "boom");
  EXPECT_THAT(response.headers, ::testing::Contains(std::pair<std::string, std::string>("X-Reason", "testing")));
}

TEST_F(HttpSessionTest, RedirectsAreFollowed) {
  Session session;
  const Response response = session.get(url("/redirect"), {});
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.url, url("/landing"));
  EXPECT_EQ(response.body, "landed by GET");
  for (const auto& [name, value] : response.headers) {
    EXPECT_NE(name, "X-Hop") << "headers must be the final response's only";
    EXPECT_NE(name, "Location");
  }

  const Response after_post = session.post_form(url("/post-redirect"), {{"a", "1"}}, {});
  EXPECT_EQ(after_post.status, 200);
  EXPECT_EQ(after_post.body, "landed by GET");
}

TEST_F(HttpSessionTest, RedirectLoopThrows) {
  Session session;
  try {
    session.get(url("/loop"), {});
    FAIL() << "a redirect loop must throw";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("redirect"));
    EXPECT_THAT(e.what(), HasSubstr(url("/loop")));
  }
}

TEST_F(HttpSessionTest, StallTimeOutThrowsButSteadyTrickleDoesNot) {
  Options options;
  // Far above the drip's 50 ms pauses, however busy the machine, and below
  // its length.
  options.stall_timeout = kDripFor / 2;
  Session session(options);
  try {
    session.get(url("/slow"), {});
    FAIL() << "a silent server must time out";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("timed out"));
    EXPECT_THAT(e.what(), HasSubstr(url("/slow")));
  }
  // Longer than the stall time-out in total, but never silent that long.
  const std::string dripped = session.get(url("/drip"), {}).body;
  EXPECT_GE(dripped.size(), 2u);
  EXPECT_EQ(dripped.find_first_not_of('x'), std::string::npos) << dripped;
}

TEST_F(HttpSessionTest, AbortRequestCutsAStalledRequestShort) {
  std::atomic<bool> stop{false};
  Options options;
  options.stall_timeout = std::chrono::hours(1);  // only the abort can end the wait
  options.abort_requested = [&stop] { return stop.load(); };
  Session session(options);
  EXPECT_EQ(session.get(url("/big"), {}).body.size(), 10000u);

  // Asks for the abort once the server holds the request; should the abort
  // not work, it releases the server after a long bound so the test fails
  // instead of hanging.
  std::thread stopper([this, &stop] {
    std::unique_lock lock(mutex_);
    if (released_.wait_for(lock, 120s, [this] { return slow_arrivals_ > 0; })) {
      stop = true;
      if (released_.wait_for(lock, 120s, [this] { return stopping_; })) return;
    }
    stopping_ = true;
    released_.notify_all();
  });
  try {
    const Response late = session.get(url("/slow"), {});
    ADD_FAILURE() << "the abort did not cut the request short: " << late.body;
  } catch (const Aborted& e) {
    EXPECT_THAT(e.what(), HasSubstr("cancelled"));
    EXPECT_THAT(e.what(), HasSubstr(url("/slow")));
  }
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  released_.notify_all();
  stopper.join();

  // The same session serves the next request once the abort is withdrawn,
  // and an abort asked before a request starts stops it at once.
  stop = false;
  EXPECT_EQ(session.get(url("/big"), {}).body.size(), 10000u);
  stop = true;
  EXPECT_THROW(session.get(url("/big"), {}), Aborted);
}

TEST_F(HttpSessionTest, BodyLargerThanTheLimitThrows) {
  Options options;
  options.max_body_bytes = 5000;
  Session session(options);
  for (const char* path : {"/big", "/big-chunked"}) {
    try {
      session.get(url(path), {});
      FAIL() << path << " must exceed the limit";
    } catch (const Error& e) {
      EXPECT_THAT(e.what(), HasSubstr("larger than 5000 bytes"));
      EXPECT_THAT(e.what(), HasSubstr(url(path)));
    }
  }
  EXPECT_EQ(session.get(url("/latin1"), {}).status, 200);  // the session still works
}

TEST(HttpFailures, ConnectionRefusedThrows) {
  // A bound socket that does not listen refuses connections.
  int port = 0;
  const platform::Socket fd = platform::loopback_socket(false, port);
  const std::string address = "http://127.0.0.1:" + std::to_string(port) + "/x";

  Session session;
  try {
    session.get(address, {});
    FAIL() << "a refused connection must throw";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr(address));
  }
  platform::close_socket(fd);
}

TEST(HttpFailures, UnresolvableHostOrUnsupportedSchemeThrows) {
  Options options;
  options.connect_timeout = 2000ms;
  Session session(options);
  EXPECT_THROW(session.get("http://no-such-host.invalid/", {}), Error);
  EXPECT_THROW(session.get("ftp://127.0.0.1/", {}), Error);
  EXPECT_THROW(session.get("http://127.0.0.1:1/", {{"X-A", "1\r\nX-Injected: 1"}}), Error);
}

}  // namespace
}  // namespace travo::http
