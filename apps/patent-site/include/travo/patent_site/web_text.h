// Small text codecs of the web layer: percent-decoding, form bodies, cookie
// headers and HTML escaping. The site decodes requests itself instead of
// trusting the HTTP library's parameter splitting, so that what a client
// actually sent (escapes, field order, duplicates) is what gets judged.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace travo::patent_site {

using Fields = std::vector<std::pair<std::string, std::string>>;

// Decodes "%XX" escapes (either hex case) to bytes. When `plus_is_space`
// is true a "+" becomes a space, as in form bodies. A "%" that does not
// start a valid escape is kept literally.
std::string percent_decode(std::string_view text, bool plus_is_space = false);

// Percent-encodes every byte outside the unreserved set [A-Za-z0-9-._~],
// spaces as "+" (the form encoding browsers use).
std::string form_escape(std::string_view text);

// Splits an application/x-www-form-urlencoded body into its fields, in the
// order sent. A field without "=" has an empty value; empty pieces between
// "&" are skipped.
Fields parse_form(std::string_view body);

// Encodes `fields` as a form body, in order.
std::string encode_form(const Fields& fields);

// The first value under `name`, or nothing.
std::optional<std::string> field(const Fields& fields, std::string_view name);

// The value of cookie `name` in a "Cookie:" header value ("a=1; b=2").
std::optional<std::string> cookie_value(std::string_view header, std::string_view name);

// Escapes & < > " ' for use in HTML text and quoted attribute values.
std::string html_escape(std::string_view text);

}  // namespace travo::patent_site
