#include "travo/patent_site/info_code.h"

#include <cstdio>

namespace travo::patent_site {
namespace {

// Characters of the value at [pos, pos + len), clipped to its end.
std::string_view clip(std::string_view s, size_t pos, size_t len) {
  if (pos >= s.size()) return {};
  return s.substr(pos, len);
}

bool is_upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

std::uint64_t mix(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

std::string make_info(std::uint64_t query_id, size_t total_hits, bool short_form) {
  static constexpr char kCrockford[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
  std::string info = "TRVQ.";
  std::uint64_t id = query_id;
  for (int i = 0; i < 10; ++i, id >>= 5) info.push_back(kCrockford[id & 31]);
  info += "S@TWPATZZSORT-PN.DESC@";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%06zu", total_hits % 1000000);
  info += buf;
  info += "X";
  std::snprintf(buf, sizeof buf, "%012llx",
                static_cast<unsigned long long>(mix(query_id ^ (total_hits * 0x9E3779B97F4A7C15ull)) &
                                                0xFFFFFFFFFFFFull));
  info += buf;
  if (short_form) info.resize(kShortInfoLength);
  return info;
}

std::string page_query(std::string_view info, int page, int code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(page));
  const std::string code_text = std::to_string(code);
  std::string q;
  q.reserve(info.size() + 8);
  q += clip(info, 0, 15);
  q += code_text;
  q += clip(info, 16, 6);
  q += hex;
  q += clip(info, 24, 19);
  q += "4";
  q += clip(info, 44, std::string_view::npos);
  q += "^";
  q += code_text;
  return q;
}

Page_Query_Check check_page_query(std::string_view info, std::string_view query) {
  // Where the pieces of a code-1 query sit, for an INFO of this length.
  const size_t code_pos = clip(info, 0, 15).size();
  const size_t hex_pos = code_pos + 1 + clip(info, 16, 6).size();
  const size_t four_pos = hex_pos + 2 + clip(info, 24, 19).size();
  const std::string expected = page_query(info, 0, 1);

  Page_Query_Check result;
  if (query.size() != expected.size()) {
    result.error = "page query has " + std::to_string(query.size()) + " characters, expected " +
                   std::to_string(expected.size()) + " (the INFO value with two rewritten " +
                   "positions and \"^1\" appended)";
    return result;
  }
  for (size_t i = 0; i < query.size(); ++i) {
    if (i == hex_pos || i == hex_pos + 1) {
      if (!is_upper_hex(query[i])) {
        result.error = "page number at positions " + std::to_string(hex_pos) + "-" +
                       std::to_string(hex_pos + 1) + " must be two upper-case hex digits, got \"" +
                       std::string(query.substr(hex_pos, 2)) + "\"";
        return result;
      }
      continue;
    }
    if (query[i] == expected[i]) continue;
    if (i == code_pos) {
      result.error = "position " + std::to_string(i) + " must hold the code 1";
    } else if (i == four_pos) {
      result.error = "position " + std::to_string(i) + " must hold \"4\"";
    } else if (i + 2 >= query.size()) {
      result.error = "page query must end with \"^1\"";
    } else {
      result.error = "page query differs from the search's INFO at position " + std::to_string(i) +
                     " (expected '" + std::string(1, expected[i]) + "', got '" +
                     std::string(1, query[i]) + "')";
    }
    return result;
  }
  result.page = std::stoi(std::string(query.substr(hex_pos, 2)), nullptr, 16);
  return result;
}

}  // namespace travo::patent_site
