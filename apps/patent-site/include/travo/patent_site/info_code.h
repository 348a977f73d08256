// The hidden INFO value of a result list and the page queries derived from it.
//
// INFO is a fixed-layout text made only of [A-Za-z0-9@._-]. Clients address
// result page p by rewriting it (page_query): positions 0-14 kept, 15
// replaced by the code, 16-21 kept, 22-23 replaced by p as upper-case hex
// (at least two digits), 24-42 kept, 43 replaced by "4", the rest kept, then
// "^" and the code appended. Ranges beyond the end of a short value
// contribute nothing, the replacements are still written.
//
// The full value is 56 characters:
//   0-4   "TRVQ."          marker
//   5-14  query id         ten Crockford base-32 digits, new for every search
//   15    "S"              code slot (never "1", so an unrewritten value fails)
//   16-21 "@TWPAT"
//   22-23 "ZZ"             page slot (not hex, for the same reason)
//   24-42 "SORT-PN.DESC@" + the hit total as six digits
//   43    "X"              (never "4")
//   44-55 check            twelve lower-case hex digits of the id and total
// The short variant is the first 30 characters of the full one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace travo::patent_site {

inline constexpr size_t kInfoLength = 56;
inline constexpr size_t kShortInfoLength = 30;

// The INFO value of a search with `query_id` and `total_hits` hits.
std::string make_info(std::uint64_t query_id, size_t total_hits, bool short_form = false);

// The page query a client builds from `info` for `page` and `code`.
std::string page_query(std::string_view info, int page, int code = 1);

// The outcome of checking a page query against the INFO value it must come
// from: the page number, or -1 and a message that says what is wrong.
struct Page_Query_Check {
  int page = -1;
  std::string error;
  bool ok() const { return page >= 0; }
};

// Checks `query` (already percent-decoded) the way the site does: it must be
// exactly page_query(info, p, 1) for some page p in 0..255 written as two
// upper-case hex digits.
Page_Query_Check check_page_query(std::string_view info, std::string_view query);

}  // namespace travo::patent_site
