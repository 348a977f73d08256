// A local stand-in for the patent office's public patent-search site, served
// over HTTP on its own threads; tests embed it on loopback.
//
// The site answers on one path, kEntryPath ("/travo2/travokmc/travobkm"):
//
//   GET  (no query)       the search form (what a browser sees first; its
//                         view state belongs to no session).
//   POST (no query)       first post of a search. Needs the form fields
//                         "_IMG_檢索.x" and "_IMG_檢索.y" (the image-button
//                         click) and takes the search text from "_21_1_T".
//                         Opens a session: sets the cookie
//                         "TRAVOSID=<id>; Path=/; HttpOnly" and answers a page
//                         whose first form has a relative action
//                         ("travobkm?@@0.NNNN"), the hidden fields
//                         __EVENTTARGET, __EVENTARGUMENT, __VIEWSTATE (the
//                         session's token) and __VIEWSTATEGENERATOR, the text
//                         input "_21_1_T" and the image input "_IMG_檢索"; a
//                         second form follows that must not be needed.
//   POST ?@@0.NNNN        the form posted back. Needs the session cookie
//                         (else 403) and the four hidden fields with the
//                         values issued (else 400). Searches the posted
//                         "_21_1_T", or the first post's text when absent, and
//                         answers result page 0 with the hidden input INFO.
//   GET  ?<page query>    result page p, where the query must be exactly what
//                         the rewrite of INFO gives for p and code 1 (see
//                         info_code.h), percent-decoded; needs the cookie
//                         (else 403), a bad query gets 400.
//
// A result page holds the count <font class="numfmt">N</font> and up to
// hits_per_page hits in the cells clients select (see pages.h); a page past
// the last hit has the same layout and no hits. Form bodies must be
// application/x-www-form-urlencoded. Error pages are HTML with no form, no
// INFO and no hits. Every response is text/html; charset=utf-8.
//
// The fault switches of Options make the site misbehave on purpose, for
// tests of clients. Page-numbered faults apply to GETs of that page only.
//
// All observation members are thread-safe. The HTTP library's compile
// definitions travel with this target, so tests that link it may use
// httplib::Client directly.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "travo/patent_site/corpus.h"
#include "travo/patent_site/pages.h"

namespace travo::patent_site {

struct Options {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
  int patents = 5000;
  unsigned seed = 1;
  int hits_per_page = 10;
  std::chrono::milliseconds delay{0};  // before every response

  // Fault switches. Page numbers are 0-based, 0..255.
  std::optional<int> drop_page;          // declare the full length, send half, close
  bool no_count = false;                 // no font.numfmt element on any page
  bool no_count_when_empty = false;      // a search without hits: result pages without the count
  bool count_separators = false;         // count written as "5,123"
  std::optional<std::string> count_text; // count element shows this text (escaped)
  std::optional<int> short_titles_page;  // the last hit has no title div
  int empty_page0 = 0;                   // first K GETs of page 0 in each session:
                                         // no hits and no count (the posted
                                         // reply still has both)
  bool no_form = false;                  // the first post's reply has no form
  std::optional<int> stall_page;         // never answer, until stop()
  std::optional<int> huge_page;          // kHugePageBytes of body, streamed
  std::optional<int> invalid_utf8_page;  // Big5 bytes (B4 FA B8 D5) after each title
  std::optional<int> error500_page;      // HTTP 500 error page
  std::optional<int> redirect_loop_page; // 302 to its own address
  std::optional<int> rotate_cookie_page; // new session id set on this page, old one forgotten
  bool short_info = false;               // 30-character INFO (page queries 33 characters)
  std::optional<int> captcha_page;       // a captcha form instead of the page: no hits, no count
  bool maintenance = false;              // every request: HTTP 503 with a maintenance notice
};

inline constexpr size_t kHugePageBytes = 100u * 1024u * 1024u;

// One request as the site saw it.
struct Request_Record {
  std::string method;
  std::string target;   // raw, as sent
  std::vector<std::pair<std::string, std::string>> headers;  // sorted by name
  std::string body;
  int status = 0;       // status answered (200 also for cut-off bodies)
  int page = -1;        // result page of a valid page GET, else -1
};

class Patent_Site {
 public:
  // Generates the corpus and starts listening before returning. Throws
  // std::invalid_argument for bad options and std::runtime_error when the
  // address cannot be bound.
  explicit Patent_Site(Options options = {});
  ~Patent_Site();  // stop()
  Patent_Site(const Patent_Site&) = delete;
  Patent_Site& operator=(const Patent_Site&) = delete;

  int port() const;
  std::string base_url() const;   // "http://127.0.0.1:PORT"
  std::string entry_url() const;  // base_url() + kEntryPath
  const Options& options() const;

  // Stops serving and wakes stalled requests; idempotent. Returns once all
  // connections are closed (an idle keep-alive connection a client still
  // holds may take up to a second).
  void stop();

  // Observation.
  // Valid GETs of result page `page`, counted on arrival (the reply to the
  // form post is page 0 too but is not a fetch).
  int page_fetches(int page) const;
  std::map<int, int> page_fetch_counts() const;
  int request_count() const;
  int post_count() const;
  int error_count() const;                // responses with status >= 400
  std::vector<Request_Record> requests() const;  // the latest 10000
  size_t session_count() const;
  void reset_counters();                  // counters and records, not sessions

  // The corpus and its matching, as the site uses them.
  const std::vector<Patent>& corpus() const;
  std::vector<size_t> search(std::string_view query) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace travo::patent_site
