// get_data on a 10-hit result page of the local site, and the same page
// written to a file for the Python peer. Prints "get_data_10hits_ms: X".
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "travo/harrow/spider_travo.h"
#include "travo/patent_site/corpus.h"
#include "travo/patent_site/info_code.h"
#include "travo/patent_site/pages.h"

int main(int argc, char** argv) {
  using namespace travo;
  const auto corpus = patent_site::generate_corpus(5000, 1);
  std::vector<const patent_site::Patent*> hits;
  for (size_t i = 0; i < 10; ++i) hits.push_back(&corpus[i * 7]);
  const std::string info = patent_site::make_info(12345, 2250);
  patent_site::Result_View view;
  view.action = "travobkm?@@0.1234";
  view.viewstate = "dGVzdA==";
  view.info = info;
  view.count_text = "2250";
  view.total_hits = 2250;
  view.hits = hits;
  const std::string page = patent_site::result_page(view);
  if (argc > 1) std::ofstream(argv[1], std::ios::binary) << page;

  harrow::Spider_TRAVO spider;
  spider.resp_enter = http::Response{200, "", {}, page};
  spider.patents_number = "2250";  // the count is read once per search, not per page
  size_t sink = 0;
  for (int i = 0; i < 200; ++i) sink += spider.get_data().at("公開號").size();
  constexpr int kRuns = 5000;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < kRuns; ++i) sink += spider.get_data().at("公開號").size();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  if (sink != (kRuns + 200) * 10u) {
    std::fprintf(stderr, "unexpected hit count\n");
    return 1;
  }
  std::printf("get_data_10hits_ms: %.4f\n", ms / kRuns);
  std::printf("page_bytes: %zu\n", page.size());
  return 0;
}
