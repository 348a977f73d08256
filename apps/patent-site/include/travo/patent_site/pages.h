// HTML of the site's pages, modelled on the office's ASP.NET pages.
//
// The markup is deliberately real-world: upper-case tags here and there,
// unclosed <p>, character references, several classes on one element, a
// script holding markup-like strings, and decoys that share a class or a tag
// with the elements clients select but must not match
// ("td.sumtd2_PN > a.link02", "div.divsum_TI", "td.sumtd2_AD",
// "td.sumtd2_ID", "td.sumtd2_AN", "td.sumtd2_PA", font.numfmt, the hidden
// INFO input). Every page is UTF-8 unless a fault asks otherwise.
//
// What a tolerant parser extracts from the hit at rank r (text content,
// trimmed of Unicode white space): the publication number, the Chinese title
// as the first line of the title cell, both dates, the application number;
// and from the applicant cell's inner markup extracted_applicant().
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "travo/patent_site/corpus.h"

namespace travo::patent_site {

// The site's own names and values. They repeat what the client (harrow)
// spells on purpose: this site stands in for one outside the system, and a
// shared constant would hide a client that drifted from it.
inline constexpr std::string_view kEntryPath = "/travo2/travokmc/travobkm";
inline constexpr std::string_view kSearchField = "_21_1_T";
inline constexpr std::string_view kImageButton = "_IMG_檢索";
inline constexpr std::string_view kViewStateGenerator = "C2EE9ABB";

// The page a browser gets for GET on the entry path: the search form, with
// a view state that belongs to no session.
std::string search_page(std::string_view viewstate);

// The reply to the first post: its first form carries the session's hidden
// state and posts to `action` (relative); a second form follows it.
struct Reply_Form {
  std::string_view action;
  std::string_view viewstate;
  std::string_view search_text;  // prefilled into the search field
};
std::string reply_form_page(const Reply_Form& form);

// A reply to the first post without any form (the --no-form fault).
std::string busy_page();

// What a blocking site sends instead of a result page (--captcha-page): a
// captcha form titled "安全驗證－請輸入驗證碼", no hits, no count.
std::string captcha_page(std::string_view action);

// The notice a site under maintenance sends for every request
// (--maintenance): titled "系統維護中", no form, no hits, no count.
std::string maintenance_page();

// One result page.
struct Result_View {
  std::string_view action;
  std::string_view viewstate;
  std::string_view info;
  bool show_count = true;
  std::string_view count_text;           // shown in font.numfmt verbatim (escaped)
  int page = 0;                          // 0-based, shown in the pager
  size_t first_rank = 0;                 // 0-based rank of hits[0] in the list
  size_t total_hits = 0;
  std::span<const Patent* const> hits;
  bool drop_last_title = false;          // one title div fewer than number cells
  bool invalid_utf8 = false;             // Big5 bytes of 測試 after each title
};
std::string result_page(const Result_View& view);

// An error page: a title and the message, no form, no INFO, no hits.
std::string error_page(int status, std::string_view message);

// The count as the site writes it: plain digits, or with "," every three.
std::string format_count(size_t n, bool separators);

// The inner markup of a patent's applicant cell, as the site writes it.
std::string applicant_cell_markup(const Patent& patent);

// What the applicant rule (inner markup, "<br>" to line feeds, lines trimmed
// and joined, cut at the first ";") yields for that cell, assuming the
// parser writes "&" back as "&amp;" and the line break as "<br>". Applicants
// on lines all remain, one per line; of ";"-separated ones only the first.
// Note that the ";" of "&amp;" cuts too: "己 & 庚有限公司" yields "己 &amp".
std::string extracted_applicant(const Patent& patent);

}  // namespace travo::patent_site
