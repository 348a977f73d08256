// Small text operations of the replacement walks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quire_model {

// `text` with every occurrence of `key` (left to right, not overlapping)
// replaced by `with`. `key` must not be empty.
inline std::string replace_all(std::string_view text, std::string_view key, std::string_view with) {
  std::string out;
  out.reserve(text.size() + with.size());
  size_t from = 0;
  for (size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, from)) {
    out.append(text.substr(from, at - from));
    out.append(with);
    from = at + key.size();
  }
  out.append(text.substr(from));
  return out;
}

// The pieces of `text` between occurrences of `separator`: n separators
// give n + 1 pieces, empty ones included. `separator` must not be empty.
inline std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> out;
  size_t from = 0;
  for (size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, from)) {
    out.push_back(text.substr(from, at - from));
    from = at + separator.size();
  }
  out.push_back(text.substr(from));
  return out;
}

}  // namespace quire_model
