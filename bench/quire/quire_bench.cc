// Benchmark of Document::execute_set: fills the generated template (see
// make_doc.py) with 50 registered placeholders and saves it.
//
// Usage: quire_bench TEMPLATE.docx OUTPUT.docx RUNS
// Prints, as "name: value" lines, the median milliseconds of execute_set
// plus save (the template is opened before the clock starts), the peak
// memory the first run added to the process (resident set high-water mark
// over the level before the template was opened), and the size of the
// template's uncompressed main XML part; then the same two figures per
// megabyte of that XML: execute_set_ms_per_mb, and execute_set_mem_x, the
// peak memory added over the XML's size. Where /proc/self is not the
// program's own (under Wine), the memory figures are -1.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "travo/docx/package.h"
#include "quire_model/document.h"

namespace {

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"), or -1.
long status_kb(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: quire_bench TEMPLATE.docx OUTPUT.docx RUNS\n";
    return 2;
  }
  const std::string input = argv[1], output = argv[2];
  const int runs = std::max(1, std::atoi(argv[3]));

  const long baseline_kb = status_kb("VmRSS");
  // The high-water mark starts again from here (Linux 4.0 and later).
  std::ofstream("/proc/self/clear_refs") << "5";
  long peak_kb = 0;
  std::vector<double> ms;
  for (int run = 0; run < runs; ++run) {
    quire_model::Quire_Model::Document doc;
    doc.set_word_version_path("bench", input);
    doc.run_version("bench");
    for (int k = 0; k < 50; ++k) {
      char key[16], value[32];
      std::snprintf(key, sizeof key, "{{ k%02d }}", k);
      std::snprintf(value, sizeof value, "值%02d value %d", k, k);
      doc.set(key, value);
    }
    const auto start = std::chrono::steady_clock::now();
    doc.execute_set();
    doc.doc->save(output);
    const auto end = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    if (run == 0) {
      peak_kb = baseline_kb < 0 ? -1 : status_kb("VmHWM") - baseline_kb;
      // Every placeholder must be gone, or the figures mean nothing.
      const std::string xml = doc.doc->package().part_data(doc.doc->main_part_name());
      if (xml.find("{{ k") != std::string::npos) {
        std::cerr << "quire_bench: placeholders left after execute_set\n";
        return 1;
      }
    }
  }
  // Measured after the runs, so that reading it cannot raise the peak.
  const double xml_mb = [&] {
    travo::docx::Package pkg = travo::docx::Package::open(input);
    return pkg.part_data("word/document.xml").size() / 1048576.0;
  }();
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  std::printf("execute_set_ms: %.1f\n", median);
  std::printf("execute_set_peak_mb: %.1f\n", peak_kb < 0 ? -1.0 : peak_kb / 1024.0);
  std::printf("execute_set_doc_xml_mb: %.2f\n", xml_mb);
  std::printf("execute_set_ms_per_mb: %.1f\n", median / xml_mb);
  std::printf("execute_set_mem_x: %.1f\n", peak_kb < 0 ? -1.0 : peak_kb / 1024.0 / xml_mb);
  return 0;
}
