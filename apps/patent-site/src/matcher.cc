#include "travo/patent_site/matcher.h"
#include "travo/text/ascii.h"

#include "travo/patent_site/web_text.h"

namespace travo::patent_site {
namespace {

bool is_ascii_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";  // U+3000

}  // namespace

std::vector<std::string> split_terms(std::string_view text) {
  std::vector<std::string> terms;
  std::string current;
  size_t i = 0;
  while (i < text.size()) {
    size_t gap = 0;
    if (is_ascii_space(text[i])) {
      gap = 1;
    } else if (text.substr(i, kIdeographicSpace.size()) == kIdeographicSpace) {
      gap = kIdeographicSpace.size();
    }
    if (gap > 0) {
      if (!current.empty()) terms.push_back(std::move(current));
      current.clear();
      i += gap;
    } else {
      current.push_back(text[i++]);
    }
  }
  if (!current.empty()) terms.push_back(std::move(current));
  return terms;
}

Matcher::Matcher(const std::vector<Patent>& corpus) {
  haystacks_.reserve(corpus.size());
  for (const Patent& p : corpus) {
    // Line feeds keep a term from matching across two fields.
    std::string text = p.title + "\n" + p.english_title + "\n";
    for (const std::string& a : p.applicants) text += a + "\n";
    text += p.abstract;
    haystacks_.push_back(text::ascii_lower(text));
  }
}

std::vector<size_t> Matcher::search(std::string_view text) const {
  std::vector<std::string> terms = split_terms(text);
  std::vector<size_t> hits;
  if (terms.empty()) return hits;
  for (std::string& t : terms) t = text::ascii_lower(t);
  for (size_t i = 0; i < haystacks_.size(); ++i) {
    const std::string_view hay = haystacks_[i];
    bool all = true;
    for (const std::string& t : terms) {
      if (hay.find(t) == std::string_view::npos) {
        all = false;
        break;
      }
    }
    if (all) hits.push_back(i);
  }
  return hits;
}

}  // namespace travo::patent_site
