// Reading hits off a result page.
//
// Column selectors: "td.sumtd2_PN > a.link02" (publication number),
// "div.divsum_TI" (title), "td.sumtd2_AD", "td.sumtd2_ID", "td.sumtd2_AN"
// (dates and application number), "td.sumtd2_PA" (applicant). Texts are
// trimmed of Unicode white space; a title keeps only its first line.
#pragma once

#include <optional>
#include <string>

#include "travo/harrow/page_data.h"
#include "travo/html/document.h"

namespace travo::harrow {

// The six columns of a parsed result page.
Page_Data extract_hits(const html::Document& page);

// An applicant cell as text: each line-break element becomes a line feed,
// other elements contribute their text, character references are decoded;
// lines are trimmed, blank ones dropped, and only the part before the first
// ";" is kept. "己 &amp; 庚<b>有限</b>公司" gives "己 & 庚有限公司".
std::string applicant_text(const html::Node& cell);

// The trimmed text of the first <font class="numfmt">, if the page has one.
std::optional<std::string> find_count(const html::Document& page);

// Whether `input` is the hidden INFO input (type exactly "hidden", name
// exactly "INFO") whose value page queries are built from.
bool is_info_input(const html::Node& input);

// Whether the page bears the marks of a result list page that paging relies
// on: a form holding the hidden input named INFO. A result page with no hits
// keeps them; a captcha, a maintenance notice or a redesigned page does not.
bool has_result_form(const html::Document& page);

// The page's <title> as one line (white space runs become one space,
// trimmed, at most kMaxTitleChars characters with "…" when cut), or
// nothing when the page has no title or an empty one.
inline constexpr size_t kMaxTitleChars = 60;
std::optional<std::string> page_title(const html::Document& page);

// What the worker says when the site answers a result page that is not one:
// "檢索網站回覆了無法辨識的頁面（第 N 頁），可能網站維護中或已改版", then the
// page's title in full-width brackets when it has one. `page_number` is
// 1-based, as users count pages.
std::string unrecognised_page_message(int page_number, const std::optional<std::string>& title);

// The hit count as an integer: digit-group separators ("," "，" and white
// space) are removed first, so "1,234" reads as 1234. Throws
// std::invalid_argument when what is left is not a decimal integer.
long long parse_count(const std::string& count_text);

}  // namespace travo::harrow
