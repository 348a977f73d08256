// The generated patent corpus the site searches.
//
// A corpus is a deterministic function of (count, seed): the same arguments
// give the same patents, in the same order, on every platform. Patents are
// ordered as the site lists its hits: newest publication date first, then
// publication number descending. Generating 5000 patents takes a few
// milliseconds.
//
// Guarantees tests may rely on, for any seed:
//  - publication numbers are unique ("TWI812345B", "TW202312345A",
//    "TWM612345U"), application numbers are unique (nine digits);
//  - dates are "YYYY/MM/DD", the publication date after the application date;
//  - 9 of every 20 patents (by generation index) have "裝置" in their title
//    and 6 of every 20 have "方法"; neither word occurs anywhere else, so a
//    corpus of 5000 patents has exactly 2250 and 1500 hits for them;
//  - every rare term of rare_terms() occurs in the abstract of exactly
//    min(hits, count) patents and nowhere else;
//  - some titles have an English second line, some do not; some patents have
//    several applicants, written in the result cell either one per line
//    (Applicant_Layout::lines) or separated by ";" (semicolons); some
//    applicant names contain "&".
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace travo::patent_site {

// How a result cell separates several applicants.
enum class Applicant_Layout { single, lines, semicolons };

struct Patent {
  std::string publication_number;  // "TWI812345B"
  std::string title;               // Traditional Chinese title
  std::string english_title;       // second title line, or empty
  std::string application_date;    // "2021/03/04"
  std::string publication_date;    // "2022/09/01"
  std::string application_number;  // "110108765"
  std::vector<std::string> applicants;  // plain text, at least one
  Applicant_Layout layout = Applicant_Layout::single;
  std::string abstract;            // searched, not shown in the result list
};

struct Rare_Term {
  std::string_view term;
  int hits;  // patents that carry it when the corpus is large enough
};

// Terms planted into a known number of abstracts: 石墨烯 25, 量子點 14,
// 超穎介面 20, 奈米碳管 10, 憶阻器 3, 鈣鈦礦 1, LiDAR 7.
std::span<const Rare_Term> rare_terms();

// Generates `count` patents from `seed`. Throws std::invalid_argument for a
// negative count.
std::vector<Patent> generate_corpus(int count, unsigned seed);

}  // namespace travo::patent_site
