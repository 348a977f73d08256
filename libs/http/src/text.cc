// The byte-level helpers of travo/http/session.h that need no network:
// form encoding, address escaping and UTF-8 repair.
#include <cstdint>
#include <string>
#include <string_view>

#include "travo/http/session.h"

namespace travo::http {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool is_alnum(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool is_hex(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

void append_escaped(std::string& out, unsigned char c) {
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 0x0F];
}

// The application/x-www-form-urlencoded byte serializer of the WHATWG URL
// standard, which is what browsers send: ASCII letters, digits and "*-._"
// stay, a space becomes "+", every other byte becomes %XX.
void append_form_component(std::string& out, std::string_view s) {
  for (unsigned char c : s) {
    if (is_alnum(c) || c == '*' || c == '-' || c == '.' || c == '_') {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      append_escaped(out, c);
    }
  }
}

// Bytes that may stand unescaped in an address: RFC 3986 unreserved and
// reserved characters, plus '%' (checked separately).
bool url_safe(unsigned char c) {
  if (is_alnum(c)) return true;
  switch (c) {
    case '-': case '.': case '_': case '~':                       // unreserved
    case ':': case '/': case '?': case '#': case '[': case ']':   // gen-delims
    case '@':
    case '!': case '$': case '&': case '\'': case '(': case ')':  // sub-delims
    case '*': case '+': case ',': case ';': case '=':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string form_encode(const Fields& fields) {
  std::string out;
  bool first = true;
  for (const auto& [name, value] : fields) {
    if (!first) out += '&';
    first = false;
    append_form_component(out, name);
    out += '=';
    append_form_component(out, value);
  }
  return out;
}

std::string escape_url(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  for (std::size_t i = 0; i < url.size(); ++i) {
    const auto c = static_cast<unsigned char>(url[i]);
    if (c == '%') {
      if (i + 2 < url.size() &&
          is_hex(static_cast<unsigned char>(url[i + 1])) &&
          is_hex(static_cast<unsigned char>(url[i + 2]))) {
        out += '%';
      } else {
        out += "%25";
      }
    } else if (url_safe(c)) {
      out += static_cast<char>(c);
    } else {
      append_escaped(out, c);
    }
  }
  return out;
}

std::string to_utf8(std::string_view bytes) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  // Valid bytes are copied in stretches, not one by one: a page is almost
  // all valid, so decoding it is one scan and a few block copies.
  std::size_t valid_from = 0;
  auto replace = [&](std::size_t at, std::size_t skip) {
    out.append(bytes.data() + valid_from, at - valid_from);
    out += kReplacement;
    valid_from = at + skip;
  };
  while (i < n) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    // Length of the sequence and the allowed range of its second byte
    // (Unicode Table 3-7: no overlongs, no surrogates, nothing past U+10FFFF).
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      len = 3;
      if (b0 == 0xE0) lo = 0xA0;
      if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      len = 4;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    } else {
      replace(i, 1);  // 0x80..0xC1 or 0xF5..0xFF: never valid here
      ++i;
      continue;
    }
    // Consume the maximal valid prefix; if it is incomplete, it becomes a
    // single U+FFFD and decoding resumes at the offending byte.
    std::size_t j = 1;
    while (j < len && i + j < n) {
      const auto b = static_cast<unsigned char>(bytes[i + j]);
      const unsigned char l = j == 1 ? lo : 0x80;
      const unsigned char h = j == 1 ? hi : 0xBF;
      if (b < l || b > h) break;
      ++j;
    }
    if (j != len) replace(i, j);
    i += j;
  }
  out.append(bytes.data() + valid_from, n - valid_from);
  return out;
}

}  // namespace travo::http
