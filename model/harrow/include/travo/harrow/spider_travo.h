// One search session with the patent site, as a browser would drive it.
//
// A Spider_TRAVO lives for one search command. Use it in this order:
//   Spider_TRAVO s(false, {.site = base});
//   s.add_keyword("電池");
//   s.run();          // two form posts; resp_enter = result page 0
//   s.get_info();     // hidden INFO value of that page
//   s.to_patent(p);   // fetch result page p (0, 1, 2, ...)
//   s.get_data();     // the six columns of the page just fetched
// All requests go through one HTTP session whose cookie jar lasts as long as
// the object. Diagnostic lines go to standard output. Network failures and
// time-outs throw (std::runtime_error with a message for the user); a request
// cut short through http::Options::abort_requested throws http::Aborted
// unchanged. The status code of a reply is never judged.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "travo/harrow/page_data.h"
#include "travo/http/session.h"

namespace travo::harrow {

// The base address used when neither --site, TRAVO_SITE nor the user's
// setting names one: the bundled local patent site on its default port.
inline constexpr const char* kDefaultSite = "http://127.0.0.1:8631";

// The fixed path of the site's entry address.
inline constexpr const char* kEntryPath = "/travo2/travokmc/travobkm";
// The form field that carries the search text, in the first post and in the
// reply form posted back.
inline constexpr const char* kSearchField = "_21_1_T";
// The site lists at most this many hits of a search, whatever its count says.
inline constexpr long long kMaxListedHits = 2000;
// Characters of the pretty-printed entry page printed with `log` on.
inline constexpr size_t kLoggedPageChars = 2000;
inline constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/115.0.0.0 Safari/537.36";

struct Spider_Config {
  // The site's base address: scheme and host (a port is kept; any path is
  // ignored).
  std::string site = kDefaultSite;
  // Where `site` came from and where the user changes it, in the words of
  // the message ("來自環境變數 TRAVO_SITE"). A site that cannot be reached is
  // reported as
  //   連線檢索網站失敗（步驟）：原因；檢索網站位址 ADDRESS 來自…
  // naming the address always and this text when there is one.
  std::string site_where;
  http::Options http;
};

class Spider_TRAVO {
 public:
  // With `log` true the entry page is fetched at once and its first 2000
  // characters are printed pretty-printed. Throws std::invalid_argument for
  // a site address without http:// or https://.
  explicit Spider_TRAVO(bool log = false, const Spider_Config& config = {});

  void add_keyword(const std::string& keyword);
  void run();
  void get_info();
  void to_patent(int pages = 0, int code = 1);
  Page_Data get_data();

  bool log = false;
  std::string url;                      // base address + kEntryPath
  http::Fields headers;                 // User-Agent, Referer, Origin
  http::Session session;
  http::Fields payload;                 // fields of the first post
  std::optional<std::string> patents_number;
  std::optional<http::Response> resp_enter;
  std::string info_value;
  // Whether the reply to the first post had no form, and that reply's
  // title: get_info() then reports an unrecognised page.
  bool formless_reply = false;
  std::optional<std::string> formless_reply_title;

 private:
  // "檢索網站位址 ADDRESS 來自…", the tail of a network failure's message.
  std::string site_note_;
};

// The second post of a search, as read off the reply to the first one.
struct Form_Post {
  std::string target;   // the form's action resolved against the entry address
  http::Fields fields;  // every named input of the form, in document order
};

// Reads the first form of `reply_html`: its action resolved against `url`
// (absent or empty: `url` itself) and its named inputs (a repeated name keeps
// its first position and takes the later value; a missing value is ""). The
// "_21_1_T" field, if the form has one, takes `search_text`. Returns nothing
// when the reply has no form.
std::optional<Form_Post> read_form_post(std::string_view reply_html, const std::string& url,
                                        const std::string& search_text);

// The origin (scheme://host[:port], no path, no trailing slash) of `site`.
// Throws std::invalid_argument when `site` is not an http(s) address.
std::string site_origin(const std::string& site);

}  // namespace travo::harrow
