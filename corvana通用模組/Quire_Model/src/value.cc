#include "quire_model/value.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace quire_model {

std::string float_text(double number) {
  if (std::isnan(number)) return "nan";
  if (std::isinf(number)) return number < 0 ? "-inf" : "inf";

  // Shortest round-trip digits, then laid out as Python's repr lays them
  // out: positional for decimal exponents -4 to 15, scientific otherwise.
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::scientific);
  std::string sci(buf, end);  // "-1.2345e+03"
  std::string out;
  size_t i = 0;
  if (sci[0] == '-') {
    out += '-';
    i = 1;
  }
  const size_t e_pos = sci.find('e');
  std::string digits;
  for (size_t k = i; k < e_pos; ++k)
    if (sci[k] != '.') digits += sci[k];
  const int exponent = std::atoi(sci.c_str() + e_pos + 1);

  if (exponent >= -4 && exponent < 16) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += digits;
    } else {
      const size_t int_digits = static_cast<size_t>(exponent) + 1;
      if (digits.size() <= int_digits) {
        out += digits;
        out.append(int_digits - digits.size(), '0');
        out += ".0";
      } else {
        out += digits.substr(0, int_digits);
        out += '.';
        out += digits.substr(int_digits);
      }
    }
    return out;
  }
  out += digits[0];
  if (digits.size() > 1) {
    out += '.';
    out += digits.substr(1);
  }
  out += exponent < 0 ? "e-" : "e+";
  const int mag = std::abs(exponent);
  if (mag < 10) out += '0';
  out += std::to_string(mag);
  return out;
}

std::string Value::text_form() const {
  struct Visitor {
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(std::int64_t n) const { return std::to_string(n); }
    std::string operator()(std::uint64_t n) const { return std::to_string(n); }
    std::string operator()(double x) const { return float_text(x); }
  };
  return std::visit(Visitor{}, v_);
}

}  // namespace quire_model
