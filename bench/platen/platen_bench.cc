// Times docx-to-PDF conversion through Platen_Model's resident office.
//
//   platen_bench REPORT.docx WORK_DIR
//
// pdf_cold_s: a new converter's first conversion, which starts LibreOffice
// and the UNO helper (median of three converters). One untimed converter
// runs first so LibreOffice's files are in the page cache, as on any
// machine where it has been used before.
// pdf_warm_s: a later conversion through the resident office (median of
// five).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "platen_model/platen_model.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Counts the resident offices a converter starts.
class Office_Starts : public platen_model::Observer {
 public:
  void office_started(travo::platform::Process_Id) override { ++count; }
  int count = 0;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s REPORT.docx WORK_DIR\n", argv[0]);
    return 2;
  }
  const std::string report = argv[1];
  const std::string work = argv[2];
  try {
    {
      platen_model::Platen_Model primer;
      primer.convert(report, work + "/primer.pdf", true);
    }

    std::vector<double> cold;
    std::unique_ptr<platen_model::Platen_Model> converter;
    Office_Starts starts;
    platen_model::Options options;
    options.observer = &starts;
    for (int i = 0; i < 3; ++i) {
      converter.reset();
      starts.count = 0;
      auto start = Clock::now();
      converter = std::make_unique<platen_model::Platen_Model>(options);
      converter->convert(report, work + "/cold.pdf", true);
      cold.push_back(seconds_since(start));
    }

    std::vector<double> warm;
    for (int i = 0; i < 5; ++i) {
      auto start = Clock::now();
      converter->convert(report, work + "/warm.pdf", true);
      warm.push_back(seconds_since(start));
    }
    if (starts.count != 1) {
      std::fprintf(stderr, "platen_bench: the resident office was restarted\n");
      return 1;
    }
    std::printf("pdf_cold_s: %.2f\n", median(cold));
    std::printf("pdf_warm_s: %.3f\n", median(warm));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "platen_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
