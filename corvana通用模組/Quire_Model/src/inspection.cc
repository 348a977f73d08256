// Inspection: the body's accepted texts, and the check of replaced terms
// against the registry. Neither operation changes the document.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "quire_model/document.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

bool contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

// The paragraph's text as it would read back after being rewritten as one
// run of its accepted text: a run's text turns a carriage return into a
// line break, which reads as a line feed.
std::string plain_text(const Quire_Model::Document& doc, const travo::docx::Paragraph& p) {
  std::string text = doc.get_accepted_text(p);
  std::replace(text.begin(), text.end(), '\r', '\n');
  return text;
}

// True when `piece` stands in `text` at `start`, which may lie before the
// text's beginning (then nothing stands there).
bool stands_at(std::string_view text, std::ptrdiff_t start, std::string_view piece) {
  if (start < 0 || static_cast<std::size_t>(start) > text.size()) return false;
  return text.substr(static_cast<std::size_t>(start)).starts_with(piece);
}

// A placeholder with what the check needs of it, worked out once per run.
struct Term {
  std::string_view placeholder;
  std::string_view replacement;
  std::size_t offset_in_replacement = std::string_view::npos;  // k
  // The other placeholders that contain this one: their replacement text
  // and where this placeholder stands in them (m).
  struct Container {
    std::string_view replacement;
    std::size_t offset = 0;
  };
  std::vector<Container> containers;
};

std::vector<Term> terms_of(const Replacement_Registry& registry) {
  std::vector<Term> terms;
  terms.reserve(registry.size());
  for (const auto& [key, entry] : registry) {
    Term t;
    t.placeholder = key;
    t.replacement = entry.replacement_text;
    t.offset_in_replacement = t.replacement.find(t.placeholder);
    terms.push_back(t);
  }
  for (Term& t : terms) {
    if (t.placeholder.empty()) continue;
    for (const Term& q : terms) {
      if (q.placeholder == t.placeholder) continue;
      if (const std::size_t m = q.placeholder.find(t.placeholder); m != std::string_view::npos)
        t.containers.push_back({q.replacement, m});
    }
  }
  return terms;
}

// Whether the paragraph text fails the term whose replacement contains its
// placeholder: the last occurrence not covered by its own replacement is
// covered by no containing placeholder's replacement either.
bool fails(std::string_view text, const Term& t) {
  const std::string_view p = t.placeholder;
  const auto k = static_cast<std::ptrdiff_t>(t.offset_in_replacement);
  bool save = false;
  for (std::size_t n = text.find(p); n != std::string_view::npos; n = text.find(p, n + p.size())) {
    const auto at = static_cast<std::ptrdiff_t>(n);
    if (stands_at(text, at - k, t.replacement)) continue;
    save = std::none_of(t.containers.begin(), t.containers.end(), [&](const Term::Container& q) {
      return stands_at(text, at - k - static_cast<std::ptrdiff_t>(q.offset), q.replacement);
    });
  }
  return save;
}

}  // namespace

std::vector<std::string> Quire_Model::Document::show_all_text() const {
  std::vector<std::string> texts;
  for (const travo::docx::Paragraph& p : working_document().paragraphs()) texts.push_back(plain_text(*this, p));
  return texts;
}

void Quire_Model::Document::show_execute_set(bool specify_range) {
  const travo::docx::Document& d = working_document();
  Check_Dict found;
  const std::vector<Term> terms = terms_of(replace_value);
  // Per placeholder: its check has started. With a range, each starts at
  // its replacement's first appearance; without, all start at once.
  std::vector<char> started(terms.size(), specify_range ? 0 : 1);
  bool stopped = false;

  for (const travo::docx::Paragraph& paragraph : d.paragraphs()) {
    const std::string text = plain_text(*this, paragraph);
    for (std::size_t i = 0; i < terms.size(); ++i) {
      const Term& t = terms[i];
      if (specify_range) {
        if (contains(text, t.replacement)) started[i] = 1;
        if (contains(text, kSignListHeading)) stopped = true;
      }
      if (!started[i] || stopped) continue;
      // An empty placeholder occurs everywhere and would never be passed.
      if (t.placeholder.empty() || !contains(text, t.placeholder)) continue;
      const bool recorded =
          t.offset_in_replacement == std::string_view::npos || fails(text, t);
      if (recorded) found[t.placeholder].text.push_back(text);
    }
  }
  check_dict = std::move(found);
}

}  // namespace quire_model
