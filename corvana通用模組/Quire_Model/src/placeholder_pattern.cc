#include "placeholder_pattern.h"

#include <stdexcept>

#include "quire_model/template_check.h"

namespace quire_model {

std::vector<std::string> find_double_braced(std::string_view text) {
  std::vector<std::string> out;
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i + 1 < n) {
    if (text[i] != '{' || text[i + 1] != '{') {
      ++i;
      continue;
    }
    std::size_t j = i + 2;
    while (j < n && text[j] != '{' && text[j] != '}') ++j;
    if (j + 1 < n && text[j] == '}' && text[j + 1] == '}') {
      out.emplace_back(text.substr(i, j + 2 - i));
      i = j + 2;
    } else {
      ++i;
    }
  }
  return out;
}

Placeholder_Pattern::Placeholder_Pattern(const std::string& pattern) {
  if (pattern == Template_Check_Options::kDefaultPattern) return;
  try {
    regex_ = std::make_shared<const std::regex>(pattern, std::regex::ECMAScript);
  } catch (const std::regex_error& e) {
    throw std::invalid_argument("the placeholder pattern \"" + pattern +
                                "\" is not a valid regular expression (" + e.what() + ")");
  }
}

std::vector<std::string> Placeholder_Pattern::find_all(std::string_view text) const {
  if (!regex_) return find_double_braced(text);
  std::vector<std::string> out;
  try {
    // Each match is taken from the window in which it starts before the
    // next window does; a piece of a match already taken (the next window
    // starting inside it) is not.
    std::size_t taken_until = 0;
    for (std::size_t start = 0;; start += kWindow - kOverlap) {
      const std::string_view window = text.substr(start, kWindow);
      const bool last = start + kWindow >= text.size();
      using It = std::regex_iterator<std::string_view::const_iterator>;
      for (It it(window.begin(), window.end(), *regex_), end; it != end; ++it) {
        const auto at = static_cast<std::size_t>(it->position(0));
        if (it->length(0) == 0 || start + at < taken_until) continue;
        if (!last && at >= kWindow - kOverlap) break;
        out.emplace_back(it->str(0));
        taken_until = start + at + static_cast<std::size_t>(it->length(0));
      }
      if (last) break;
    }
  } catch (const std::regex_error& e) {
    throw std::runtime_error(std::string("the placeholder pattern is too complex for a text of ") +
                             std::to_string(text.size()) + " bytes (" + e.what() + ")");
  }
  return out;
}

}  // namespace quire_model
