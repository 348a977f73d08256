// Finding placeholder-like texts for check_template.
#pragma once

#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace quire_model {

class Placeholder_Pattern {
 public:
  // Throws std::invalid_argument naming the pattern when it is no valid
  // ECMAScript regular expression.
  explicit Placeholder_Pattern(const std::string& pattern);

  // The non-empty matches in `text`, left to right, not overlapping.
  // Throws std::runtime_error when the regex engine gives up on the text.
  std::vector<std::string> find_all(std::string_view text) const;

  // Longest text handed to std::regex at once, and the overlap of the
  // windows a longer text is cut into.
  static constexpr std::size_t kWindow = 8192;
  static constexpr std::size_t kOverlap = 1024;

 private:
  // Empty for the default pattern, which is scanned by hand: libstdc++'s
  // regex recurses once per character of a match and overflows the stack
  // on a paragraph of some 100 000 characters.
  std::shared_ptr<const std::regex> regex_;
};

// The matches of the default pattern \{\{[^{}]*\}\}, as std::regex finds
// them, without recursion.
std::vector<std::string> find_double_braced(std::string_view text);

}  // namespace quire_model
