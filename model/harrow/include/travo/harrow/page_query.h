// The query string of one result page, derived from the hidden INFO value of
// the first result page.
//
// INFO is a fixed-layout text; positions count characters (code points), not
// bytes. The page query keeps INFO but for four positions: 15 becomes the
// code as decimal text, 22-23 the page number as upper-case hexadecimal of at
// least two digits, 43 becomes "4"; then "^" and the code are appended. Where
// INFO is shorter than a range, that range contributes only the characters
// that exist, so any INFO (even "") gives a query.
//
//   page_query("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn", 3, 1)
//     == "0123456789ABCDE1GHIJKL03OPQRSTUVWXYZabcdefg4ijklmn^1"
//   page_query("", 0, 1) == "1004^1"
#pragma once

#include <string>
#include <string_view>

namespace travo::harrow {

// `pages` is the 0-based page number (negative values are rejected with
// std::invalid_argument); `code` is written as decimal text.
std::string page_query(std::string_view info, int pages, int code);

// The page number as upper-case hexadecimal, zero-padded to two digits.
std::string pages_hex(int pages);

}  // namespace travo::harrow
