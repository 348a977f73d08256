// Benchmark of Document::_add_table: 100 patent tables, each with a
// picture, appended to a template, then the document saved.
//
// Usage: add_table_bench TEMPLATE.docx PICTURE OUTPUT.docx RUNS
// Prints "add_table_100_ms: X", the median over RUNS of the milliseconds
// from the first _add_table to the end of the save (the template is opened
// before the clock starts).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "travo/docx/document.h"
#include "quire_model/document.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: add_table_bench TEMPLATE.docx PICTURE OUTPUT.docx RUNS\n";
    return 2;
  }
  const std::string input = argv[1], picture = argv[2], output = argv[3];
  const int runs = std::max(1, std::atoi(argv[4]));
  try {
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
      quire_model::Quire_Model::Document doc;
      doc.set_word_version_path("bench", input);
      doc.run_version("bench");
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < 100; ++i) {
        doc._add_table({.abstract = "一種感測裝置，包含感測器及處理器；處理器依據環境溫度修正量測值。",
                        .PAPN = "TWI8" + std::to_string(10000 + i) + "B",
                        .title = "具溫度補償之感測裝置",
                        .image_path = picture});
      }
      doc.doc->save(output);
      const auto end = std::chrono::steady_clock::now();
      ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
      if (run == 0) {
        // The figure means nothing unless every table got its picture.
        travo::docx::Document saved = travo::docx::Document::open(output);
        const std::string xml = saved.package().part_data(saved.main_part_name());
        size_t pictures = 0;
        for (size_t at = xml.find("<pic:pic"); at != std::string::npos; at = xml.find("<pic:pic", at + 1))
          ++pictures;
        if (saved.tables().size() < 100 || pictures != 100) {
          std::cerr << "add_table_bench: expected 100 tables with a picture each, found "
                    << saved.tables().size() << " tables and " << pictures << " pictures\n";
          return 1;
        }
      }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("add_table_100_ms: %.1f\n", ms[ms.size() / 2]);
  } catch (const std::exception& e) {
    std::cerr << "add_table_bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
