// travo::http::Session over libcurl.
//
// Each Session owns one easy handle (whose in-memory cookie engine is the
// session's jar) and one multi handle (its connection cache). A request is
// driven through the multi interface by our own loop so that the stall
// time-out can be measured with millisecond precision: after every wake-up
// the loop checks how long ago the last byte was seen and aborts the
// transfer once that exceeds Options::stall_timeout.
#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "travo/http/session.h"
#include "travo/platform/proxy.h"
#include "travo/platform/socket.h"
#include "travo/text/ascii.h"

namespace travo::http {
namespace {

using Clock = std::chrono::steady_clock;

void global_init() {
  static std::once_flag once;
  std::call_once(once, [] {
    const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK) {
      throw Error(std::string("cannot initialise libcurl: ") + curl_easy_strerror(rc));
    }
  });
}

struct Slist_Deleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, Slist_Deleter>;

struct Url_Deleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using Url = std::unique_ptr<CURLU, Url_Deleter>;

// True if `ref` starts with a URI scheme followed by ':' (RFC 3986 3.1).
bool has_scheme(std::string_view ref) {
  if (ref.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!alpha(ref[0])) return false;
  for (std::size_t i = 1; i < ref.size(); ++i) {
    const char c = ref[i];
    if (c == ':') return true;
    if (!(alpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')) return false;
  }
  return false;
}

std::string clean_reference(std::string_view ref) {
  auto c0_or_space = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!ref.empty() && c0_or_space(ref.front())) ref.remove_prefix(1);
  while (!ref.empty() && c0_or_space(ref.back())) ref.remove_suffix(1);
  std::string out;
  out.reserve(ref.size());
  for (char c : ref) {
    if (c != '\t' && c != '\n' && c != '\r') out += c;
  }
  return out;
}

}  // namespace

struct Session::Impl {
  Options options;
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  char error_buffer[CURL_ERROR_SIZE] = {};

  // State of the transfer in progress.
  std::string body;
  Fields headers;
  bool connected = false;  // a request is under way on an established connection
  Clock::time_point last_activity;
  curl_off_t last_dlnow = 0, last_ulnow = 0;
  bool body_too_large = false;
  bool aborted = false;  // abort_requested said so
  const char* callback_failure = nullptr;  // why a callback aborted, if it did
  Slist request_headers;

  explicit Impl(Options o) : options(o) {
    global_init();
    easy = curl_easy_init();
    multi = curl_multi_init();
    if (easy == nullptr || multi == nullptr) {
      if (easy != nullptr) curl_easy_cleanup(easy);
      if (multi != nullptr) curl_multi_cleanup(multi);
      throw Error("cannot create a libcurl handle");
    }
    try {
      configure();
    } catch (...) {
      curl_easy_cleanup(easy);
      curl_multi_cleanup(multi);
      throw;
    }
  }

  ~Impl() {
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
  }

  void touch() { last_activity = Clock::now(); }

  static std::size_t on_write(char* data, std::size_t size, std::size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    const std::size_t n = size * count;
    self->touch();
    if (self->body.size() + n > self->options.max_body_bytes) {
      self->body_too_large = true;
      return 0;  // aborts with CURLE_WRITE_ERROR
    }
    try {
      self->body.append(data, n);
    } catch (...) {
      self->callback_failure = "out of memory";
      return 0;
    }
    return n;
  }

  static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    const std::size_t n = size * count;
    self->touch();
    const std::string_view line(data, n);
    if (line.starts_with("HTTP/")) {
      // A new response (after a redirect or a 1xx): keep only the last one's.
      self->headers.clear();
      return n;
    }
    const std::string_view content = text::trim_ascii(line);
    if (content.empty()) return n;  // the blank line ending a header block
    if ((line.front() == ' ' || line.front() == '\t') && !self->headers.empty()) {
      // Obsolete line folding: continues the previous value.
      try {
        auto& value = self->headers.back().second;
        value += ' ';
        value += to_utf8(content);
      } catch (...) {
        self->callback_failure = "out of memory";
        return 0;
      }
      return n;
    }
    const std::size_t colon = content.find(':');
    if (colon == std::string_view::npos) return n;
    const std::string_view name = text::trim_ascii(content.substr(0, colon));
    const std::string_view value = text::trim_ascii(content.substr(colon + 1));
    if (text::iequals(name, "Content-Length")) {
      std::uint64_t length = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
      if (ec == std::errc::result_out_of_range ||
          (ec == std::errc() && end == value.data() + value.size() &&
           length > self->options.max_body_bytes)) {
        self->body_too_large = true;
        return 0;  // aborts with CURLE_WRITE_ERROR
      }
    }
    try {
      self->headers.emplace_back(to_utf8(name), to_utf8(value));
    } catch (...) {
      self->callback_failure = "out of memory";
      return 0;
    }
    return n;
  }

  static int on_progress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    auto* self = static_cast<Impl*>(user);
    if (dlnow != self->last_dlnow || ulnow != self->last_ulnow) {
      self->last_dlnow = dlnow;
      self->last_ulnow = ulnow;
      self->touch();
    }
    if (self->options.abort_requested && self->options.abort_requested()) {
      self->aborted = true;
      return 1;  // aborts with CURLE_ABORTED_BY_CALLBACK
    }
    return 0;
  }

  // A new connection is being opened: until it is up (and the request is
  // about to be sent) only the connect time-out applies.
  static curl_socket_t on_open_socket(void* user, curlsocktype, curl_sockaddr* address) {
    auto* self = static_cast<Impl*>(user);
    self->connected = false;
    // Child processes must not inherit our connections.
    const platform::Socket s =
        platform::open_socket(address->family, address->socktype, address->protocol);
    return s == platform::kInvalidSocket ? CURL_SOCKET_BAD : static_cast<curl_socket_t>(s);
  }

  // The connection is established (or reused) and the request goes out
  // now: from here on, silence longer than the stall time-out is an error.
  static int on_prereq(void* user, char*, char*, int, int) {
    auto* self = static_cast<Impl*>(user);
    self->connected = true;
    self->last_dlnow = 0;
    self->last_ulnow = 0;
    self->touch();
    return CURL_PREREQFUNC_OK;
  }

  void setopt_or_throw(CURLcode rc, const char* what) {
    if (rc != CURLE_OK) {
      throw Error(std::string("cannot set libcurl option ") + what + ": " + curl_easy_strerror(rc));
    }
  }

  // Options shared by every request, set once: the handle, its cookie jar
  // and its connections live as long as the session.
  void configure() {
#define TRAVO_SETOPT(opt, value) setopt_or_throw(curl_easy_setopt(easy, opt, value), #opt)
    TRAVO_SETOPT(CURLOPT_ERRORBUFFER, error_buffer);
    TRAVO_SETOPT(CURLOPT_NOSIGNAL, 1L);
    TRAVO_SETOPT(CURLOPT_PROTOCOLS_STR, "http,https");
    TRAVO_SETOPT(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    TRAVO_SETOPT(CURLOPT_COOKIEFILE, "");  // the in-memory cookie engine
    TRAVO_SETOPT(CURLOPT_FOLLOWLOCATION, 1L);
    TRAVO_SETOPT(CURLOPT_MAXREDIRS, options.max_redirects);
    TRAVO_SETOPT(CURLOPT_AUTOREFERER, 1L);
    // gzip and deflate only: servers that honour "br" tend to compress at
    // brotli's slowest level, which costs them milliseconds per page.
    TRAVO_SETOPT(CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    TRAVO_SETOPT(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    TRAVO_SETOPT(CURLOPT_CONNECTTIMEOUT_MS,
                 static_cast<long>(std::max<std::int64_t>(1, options.connect_timeout.count())));
    TRAVO_SETOPT(CURLOPT_WRITEFUNCTION, &Impl::on_write);
    TRAVO_SETOPT(CURLOPT_WRITEDATA, this);
    TRAVO_SETOPT(CURLOPT_HEADERFUNCTION, &Impl::on_header);
    TRAVO_SETOPT(CURLOPT_HEADERDATA, this);
    TRAVO_SETOPT(CURLOPT_NOPROGRESS, 0L);
    TRAVO_SETOPT(CURLOPT_XFERINFOFUNCTION, &Impl::on_progress);
    TRAVO_SETOPT(CURLOPT_XFERINFODATA, this);
    TRAVO_SETOPT(CURLOPT_OPENSOCKETFUNCTION, &Impl::on_open_socket);
    TRAVO_SETOPT(CURLOPT_OPENSOCKETDATA, this);
    TRAVO_SETOPT(CURLOPT_PREREQFUNCTION, &Impl::on_prereq);
    TRAVO_SETOPT(CURLOPT_PREREQDATA, this);
    // Only Schannel reads these; the verification itself stays on.
    TRAVO_SETOPT(CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    TRAVO_SETOPT(CURLOPT_PROXY_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    if (options.proxy) {
      // Set even when empty: "" keeps libcurl from reading the environment.
      TRAVO_SETOPT(CURLOPT_PROXY, options.proxy->address.c_str());
      TRAVO_SETOPT(CURLOPT_NOPROXY, options.proxy->no_proxy.c_str());
      if (options.proxy->system_login && !options.proxy->address.empty()) {
        TRAVO_SETOPT(CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_NEGOTIATE | CURLAUTH_NTLM));
        TRAVO_SETOPT(CURLOPT_PROXYUSERPWD, ":");
      }
    }
  }

  // Clears the state of the previous transfer and sets what differs per
  // request. A null `post_body` means GET, otherwise a form POST of it.
  void prepare(const std::string& url, Slist header_list, const std::string* post_body) {
    body.clear();
    headers.clear();
    connected = false;
    last_dlnow = last_ulnow = 0;
    body_too_large = false;
    aborted = false;
    callback_failure = nullptr;
    error_buffer[0] = '\0';
    touch();
    TRAVO_SETOPT(CURLOPT_URL, url.c_str());
    request_headers = std::move(header_list);  // must outlive the transfer
    TRAVO_SETOPT(CURLOPT_HTTPHEADER, request_headers.get());
    if (post_body == nullptr) {
      TRAVO_SETOPT(CURLOPT_HTTPGET, 1L);
    } else {
      // libcurl sends "Content-Type: application/x-www-form-urlencoded" for
      // POSTFIELDS unless a header overrides it, and drops the body when a
      // 301/302/303 turns the request into a GET.
      TRAVO_SETOPT(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post_body->size()));
      TRAVO_SETOPT(CURLOPT_COPYPOSTFIELDS, post_body->c_str());
    }
  }
#undef TRAVO_SETOPT

  std::string effective_url() {
    char* u = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &u) == CURLE_OK && u != nullptr) return u;
    return {};
  }

  // Whether the request that ended at the current address went through
  // Options::proxy.
  bool through_proxy() {
    if (!options.proxy || options.proxy->address.empty()) return false;
    if (options.proxy->no_proxy.empty()) return true;
    Url parsed(curl_url());
    char* host = nullptr;
    const std::string current = effective_url();
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, current.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
      return true;
    }
    const bool direct = platform::no_proxy_matches(options.proxy->no_proxy, host);
    curl_free(host);
    return !direct;
  }

  // The proxy's part in a failed transfer, if it was the proxy that failed.
  std::optional<Proxy_Error::Failure> proxy_failure(CURLcode result) {
    if (!through_proxy()) return std::nullopt;
    long connect_code = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connect_code);
    if (connect_code == 407 || result == CURLE_LOGIN_DENIED || result == CURLE_AUTH_ERROR) {
      return Proxy_Error::Failure::login;
    }
    if (connect_code >= 300) return Proxy_Error::Failure::refused;
    // Until the proxy has answered a tunnel's CONNECT, or taken the request
    // (`connected`), nothing of the site is involved: libcurl resolves and
    // connects to the proxy alone. A SOCKS v4 proxy is the exception that
    // leaves the site's name to us.
    if (result == CURLE_COULDNT_RESOLVE_HOST) return std::nullopt;
    if (connect_code == 0 && !connected) return Proxy_Error::Failure::unreachable;
    return std::nullopt;
  }

  std::string where(const std::string& url) {
    std::string current = effective_url();
    if (current.empty() || current == url) return url;
    return url + " (redirected to " + current + ")";
  }

  // Runs the prepared transfer to completion; throws Error on any failure.
  Response perform(const std::string& url) {
    struct Attached {
      CURLM* multi;
      CURL* easy;
      ~Attached() { curl_multi_remove_handle(multi, easy); }
    };
    if (const CURLMcode mc = curl_multi_add_handle(multi, easy); mc != CURLM_OK) {
      throw Error("cannot start the request to " + url + ": " + curl_multi_strerror(mc));
    }
    Attached attached{multi, easy};

    const auto stall = std::max(options.stall_timeout, std::chrono::milliseconds(1));
    CURLcode result = CURLE_OK;
    for (;;) {
      int running = 0;
      if (const CURLMcode mc = curl_multi_perform(multi, &running); mc != CURLM_OK) {
        throw Error("request to " + url + " failed: " + curl_multi_strerror(mc));
      }
      if (running == 0) break;
      int wait_ms = 1000;
      if (connected) {
        const auto silent = Clock::now() - last_activity;
        if (silent >= stall) {
          throw Error("request timed out: no data received for " + std::to_string(stall.count()) +
                      " ms from " + where(url));
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(stall - silent).count();
        wait_ms = static_cast<int>(std::clamp<std::int64_t>(left, 1, 1000));
      }
      // The progress callback only runs when the loop comes round.
      if (options.abort_requested) wait_ms = std::min(wait_ms, static_cast<int>(kAbortCheckInterval.count()));
      if (const CURLMcode mc = curl_multi_poll(multi, nullptr, 0, wait_ms, nullptr); mc != CURLM_OK) {
        throw Error("request to " + url + " failed: " + curl_multi_strerror(mc));
      }
    }
    int pending = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &pending)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) result = msg->data.result;
    }

    if (result != CURLE_OK) {
      const std::string detail = error_buffer[0] != '\0' ? error_buffer : curl_easy_strerror(result);
      if (aborted) throw Aborted("request to " + where(url) + " was cancelled");
      if (body_too_large) {
        throw Error("response body larger than " + std::to_string(options.max_body_bytes) +
                    " bytes from " + where(url));
      }
      if (callback_failure != nullptr) {
        throw Error("request to " + where(url) + " failed: " + callback_failure);
      }
      if (const std::optional<Proxy_Error::Failure> failure = proxy_failure(result)) {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &status);
        throw proxy_error(*failure, status, url, detail);
      }
      if (result == CURLE_OPERATION_TIMEDOUT) {
        throw Error("request timed out for " + where(url) + ": " + detail);
      }
      if (result == CURLE_TOO_MANY_REDIRECTS) {
        throw Error("redirect loop: more than " + std::to_string(options.max_redirects) +
                    " redirects from " + where(url) + ": " + detail);
      }
      throw Error("request to " + where(url) + " failed: " + detail);
    }

    Response response;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
    // A plain http:// request carries the proxy's 407 back as its answer.
    if (response.status == 407 && through_proxy()) {
      throw proxy_error(Proxy_Error::Failure::login, 407, url, "HTTP 407");
    }
    response.url = effective_url();
    if (response.url.empty()) response.url = url;
    response.headers = std::move(headers);
    response.body = to_utf8(body);
    headers.clear();
    body.clear();
    body.shrink_to_fit();
    return response;
  }

  Proxy_Error proxy_error(Proxy_Error::Failure failure, long status, const std::string& url,
                          const std::string& detail) {
    const std::string proxy = platform::proxy_for_display(options.proxy->address);
    switch (failure) {
      case Proxy_Error::Failure::login:
        return Proxy_Error(failure, *options.proxy, status,
                           "the proxy " + proxy + " did not accept the login for " + where(url) + ": " + detail);
      case Proxy_Error::Failure::refused:
        return Proxy_Error(failure, *options.proxy, status,
                           "the proxy " + proxy + " refused the tunnel to " + where(url) + ": " + detail);
      case Proxy_Error::Failure::unreachable:
        break;
    }
    return Proxy_Error(failure, *options.proxy, status,
                       "cannot reach the proxy " + proxy + " for " + where(url) + ": " + detail);
  }

  Slist header_list(const Fields& fields, bool no_expect) {
    Slist list;
    auto append = [&list](const std::string& line) {
      curl_slist* next = curl_slist_append(list.get(), line.c_str());
      if (next == nullptr) throw Error("out of memory building request headers");
      if (!list) list.reset(next);  // later appends return the same head
    };
    for (const auto& [name, value] : fields) {
      if (name.empty() || name.find_first_of(":\r\n \t") != std::string::npos ||
          value.find_first_of("\r\n") != std::string::npos) {
        throw Error("invalid request header \"" + name + "\"");
      }
      // "Name:" would make libcurl drop the header; "Name;" sends it empty.
      append(value.empty() ? name + ";" : name + ": " + value);
    }
    if (no_expect) append("Expect:");  // browsers never wait for 100-continue
    return list;
  }
};

Proxy_Error::Proxy_Error(Failure failure, const Proxy& proxy, long status, const std::string& what)
    : Error(what),
      failure_(failure),
      proxy_(platform::proxy_for_display(proxy.address)),
      description_(proxy.description),
      system_login_(proxy.system_login),
      status_(status) {}

Session::Session(Options options) : impl_(std::make_unique<Impl>(options)) {}

Session::~Session() = default;

Response Session::get(const std::string& url, const Fields& headers) {
  const std::string address = escape_url(url);
  impl_->prepare(address, impl_->header_list(headers, false), nullptr);
  return impl_->perform(address);
}

Response Session::post_form(const std::string& url, const Fields& fields, const Fields& headers) {
  const std::string address = escape_url(url);
  const std::string body = form_encode(fields);
  impl_->prepare(address, impl_->header_list(headers, true), &body);
  return impl_->perform(address);
}

Fields Session::cookies() const {
  Fields out;
  curl_slist* list = nullptr;
  if (curl_easy_getinfo(impl_->easy, CURLINFO_COOKIELIST, &list) != CURLE_OK) return out;
  Slist owned(list);
  for (curl_slist* item = list; item != nullptr; item = item->next) {
    // Netscape format: domain, tailmatch, path, secure, expires, name, value.
    std::string_view line(item->data);
    std::string_view fields[7];
    std::size_t n = 0;
    while (n < 6) {
      const std::size_t tab = line.find('\t');
      if (tab == std::string_view::npos) break;
      fields[n++] = line.substr(0, tab);
      line.remove_prefix(tab + 1);
    }
    if (n != 6) continue;
    fields[6] = line;
    out.emplace_back(std::string(fields[5]), std::string(fields[6]));
  }
  return out;
}

std::string resolve(const std::string& base, const std::string& reference) {
  global_init();
  Url url(curl_url());
  if (!url) throw Error("out of memory resolving " + reference);
  const std::string escaped_base = escape_url(base);
  if (const CURLUcode rc = curl_url_set(url.get(), CURLUPART_URL, escaped_base.c_str(), CURLU_NON_SUPPORT_SCHEME);
      rc != CURLUE_OK) {
    throw Error("not an absolute address: \"" + base + "\" (" + curl_url_strerror(rc) + ")");
  }
  if (reference.empty()) return base;
  // As in an href: surrounding spaces and control characters are ignored,
  // and so are tabs and line breaks anywhere.
  std::string ref = clean_reference(reference);
  if (ref.empty()) return base;
  if (has_scheme(ref)) return ref;  // absolute: used as it is
  ref = escape_url(ref);
  if (ref.front() == '#') {
    // Same document, other fragment (libcurl would drop the base's path).
    return escaped_base.substr(0, escaped_base.find('#')) + ref;
  }
  if (const CURLUcode rc = curl_url_set(url.get(), CURLUPART_URL, ref.c_str(), CURLU_NON_SUPPORT_SCHEME);
      rc != CURLUE_OK) {
    throw Error("cannot resolve \"" + reference + "\" against " + base + ": " + curl_url_strerror(rc));
  }
  char* out = nullptr;
  if (const CURLUcode rc = curl_url_get(url.get(), CURLUPART_URL, &out, 0); rc != CURLUE_OK) {
    throw Error("cannot resolve \"" + reference + "\" against " + base + ": " + curl_url_strerror(rc));
  }
  std::string result(out);
  curl_free(out);
  return result;
}

}  // namespace travo::http
