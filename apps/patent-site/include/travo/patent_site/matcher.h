// Keyword matching over a corpus.
//
// The search text is split at white space (ASCII white space and the
// ideographic space U+3000) into terms. A patent matches when every term
// occurs in its title (either line), its applicants or its abstract; ASCII
// letters compare case-insensitively, everything else byte for byte. A text
// without terms matches nothing. Hits come in corpus order, which is the
// order the site lists them in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "travo/patent_site/corpus.h"

namespace travo::patent_site {

// Splits `text` into search terms (see above).
std::vector<std::string> split_terms(std::string_view text);

class Matcher {
 public:
  // Indexes `corpus`; the matcher keeps no reference to it.
  explicit Matcher(const std::vector<Patent>& corpus);

  // Indexes into the corpus of the patents matching `text`, ascending.
  // Safe to call from several threads at once.
  std::vector<size_t> search(std::string_view text) const;

 private:
  std::vector<std::string> haystacks_;  // lower-cased searchable text per patent
};

}  // namespace travo::patent_site
