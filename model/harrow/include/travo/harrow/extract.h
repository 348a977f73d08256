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

// The hit count as an integer: digit-group separators ("," "，" and white
// space) are removed first, so "1,234" reads as 1234. Throws
// std::invalid_argument when what is left is not a decimal integer.
long long parse_count(const std::string& count_text);

}  // namespace travo::harrow
