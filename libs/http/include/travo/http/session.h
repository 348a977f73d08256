// An HTTP/HTTPS session over libcurl that behaves like one browser tab.
//
// A Session owns one cookie jar: cookies set by any response are sent with
// every later request of the same session, and die with it. Requests are
// sent one at a time and block until the reply is complete. Redirects are
// followed as a browser would (a bounded number of hops). TLS certificates
// and host names are always verified.
//
// Every request has a connect time-out and a stall time-out (no bytes
// received for that long); either one, a network failure, a body larger than
// the size limit or a redirect loop throws travo::http::Error with a message
// that says what happened and for which address. The status code is not
// judged: a 404 or 500 page comes back as a Response like any other.
//
// Requests go through the proxy that Options::proxy names (found by
// travo/platform/proxy.h), or, without one, through the proxy libcurl finds
// in the environment by itself. When the proxy fails rather than the site
// (it cannot be reached, it answers 407 and the login does not succeed, it
// refuses the tunnel to an https:// site) the request throws Proxy_Error,
// so that callers can tell the user about the proxy instead of the site.
//
// Certificate revocation is checked on a best-effort basis (Schannel, the
// Windows TLS library, is the one that checks it): a revocation server that
// cannot be reached, or a certificate without one, as behind a firm's
// TLS-inspecting proxy, does not fail the request; a revoked certificate
// does. No CA file is ever named: on Windows the system's certificate store
// is the trust store, where firms install their own roots.
//
// A request can be cut short from outside: Options::abort_requested is
// asked from libcurl's progress callback, which runs several times a second
// even while the server is silent, so a stalled site cannot hold it up.
//
// Response bodies are decoded as UTF-8 whatever the server declares:
// invalid byte sequences become U+FFFD.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace travo::http {

// An ordered list of name/value pairs (form fields or request headers).
using Fields = std::vector<std::pair<std::string, std::string>>;

inline constexpr std::chrono::milliseconds kConnectTimeout{15000};
inline constexpr std::chrono::milliseconds kStallTimeout{30000};
inline constexpr std::size_t kMaxBodyBytes = 32u * 1024u * 1024u;
inline constexpr long kMaxRedirects = 10;

// A proxy handed to libcurl as it is (CURLOPT_PROXY, CURLOPT_NOPROXY).
struct Proxy {
  std::string address;   // "http://host:port" and the like; "" connects directly
  std::string no_proxy;  // hosts reached directly, in libcurl's no_proxy syntax
  // Answer a 407 with the user's Windows logon: Negotiate or NTLM with the
  // current credentials (libcurl's user name ":"), never a password typed
  // in. Meant for Windows, where libcurl has SSPI.
  bool system_login = false;
  // Where the proxy was found, in words for the user; Proxy_Error carries
  // it back unchanged.
  std::string description;
};

struct Options {
  std::chrono::milliseconds connect_timeout = kConnectTimeout;
  std::chrono::milliseconds stall_timeout = kStallTimeout;
  std::size_t max_body_bytes = kMaxBodyBytes;
  long max_redirects = kMaxRedirects;  // more hops than this throw Error
  // Asked on the requesting thread while a request runs (at least every
  // kAbortCheckInterval); true cuts the request short with Aborted. Must
  // not throw.
  std::function<bool()> abort_requested;
  // The proxy of every request; without one libcurl reads the environment
  // variables itself.
  std::optional<Proxy> proxy;
};

inline constexpr std::chrono::milliseconds kAbortCheckInterval{50};

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The request was cut short because Options::abort_requested said so.
class Aborted : public Error {
 public:
  using Error::Error;
};

// The proxy of Options::proxy failed the request, before anything reached
// the site: it could not be reached or dropped the connection before
// answering (unreachable), it asked for a login that did not succeed
// (login: a 407 answer, or the Windows logon could not be offered), or it
// would not open the tunnel to the site (refused, with its status).
class Proxy_Error : public Error {
 public:
  enum class Failure { unreachable, login, refused };
  Proxy_Error(Failure failure, const Proxy& proxy, long status, const std::string& what);

  Failure failure() const { return failure_; }
  // The proxy's address without any credentials.
  const std::string& proxy() const { return proxy_; }
  // Proxy::description of the proxy.
  const std::string& description() const { return description_; }
  // Whether the Windows logon was offered to it (Proxy::system_login).
  bool system_login() const { return system_login_; }
  // The proxy's answer: 407, the tunnel's refusal; 0 when it gave none.
  long status() const { return status_; }

 private:
  Failure failure_;
  std::string proxy_;
  std::string description_;
  bool system_login_;
  long status_;
};

struct Response {
  long status = 0;
  std::string url;      // the final address, after redirects
  Fields headers;       // of the final response, in order received
  std::string body;     // decoded as UTF-8
};

class Session {
 public:
  explicit Session(Options options = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // GET `url` with `headers` in the given order. Characters that may not
  // stand in an address (non-ASCII, spaces, "^", ...) are percent-encoded
  // as UTF-8 first; existing "%XX" escapes are kept. A header whose name is
  // empty or holds ':', a space or a line break, or whose value holds a line
  // break, throws Error before anything is sent.
  Response get(const std::string& url, const Fields& headers);

  // POST `fields` as an application/x-www-form-urlencoded UTF-8 body, in
  // order, with `headers` in the given order (checked as for get()). As in
  // browsers, a 301, 302 or 303 answer is followed with a GET.
  Response post_form(const std::string& url, const Fields& fields, const Fields& headers);

  // The cookies the jar holds now, as "name=value" pairs.
  Fields cookies() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Resolves `reference` against `base` as browsers do (RFC 3986). An empty
// reference gives `base`. Throws Error for a base that is not an absolute
// address.
std::string resolve(const std::string& base, const std::string& reference);

// The application/x-www-form-urlencoded form of `fields` (UTF-8, spaces as
// "+"), as a browser sends it: ASCII letters, digits and "*-._" are kept,
// every other byte becomes "%XX" (upper-case hex), including "~".
std::string form_encode(const Fields& fields);

// Percent-encodes the bytes of `url` that may not stand in an address,
// leaving reserved characters and existing escapes alone.
std::string escape_url(std::string_view url);

// `bytes` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string to_utf8(std::string_view bytes);

}  // namespace travo::http
