// libFuzzer target: the input as a quire job file. Parsing may only throw
// Job_Error; a parsed job is run (when it stays in memory: no run_version,
// no output, no pictures, small tables) on a small document, and running
// may only throw Step_Error. The report of the run must always serialise.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "quire_model/job.h"

namespace {

// Jobs that would touch files or grow without bound are parsed only.
bool stays_in_memory(std::string_view text) {
  const nlohmann::json job = nlohmann::json::parse(text, nullptr, false);
  if (job.is_discarded() || !job.is_object() || !job.contains("steps") || !job["steps"].is_array())
    return false;
  if (job["steps"].size() > 64) return false;
  for (const nlohmann::json& step : job["steps"]) {
    if (!step.is_object()) return false;
    const auto op = step.find("op");
    if (op != step.end() && (*op == "run_version" || *op == "output")) return false;
    const auto picture = step.find("image_path");
    if (picture != step.end() && !picture->is_null()) return false;
    for (const char* key : {"rows", "cols"}) {
      const auto n = step.find(key);
      if (n != step.end() && n->is_number_integer() && n->get<std::int64_t>() > 200) return false;
    }
  }
  return true;
}

constexpr const char* kBody =
    "<w:p><w:r><w:t>Name {{name}} and A10, then A.</w:t></w:r></w:p>"
    "<w:p><w:r><w:t xml:space=\"preserve\">Kept </w:t></w:r><w:ins w:id=\"1\" w:author=\"x\">"
    "<w:r><w:t>{{ins}}</w:t></w:r></w:ins><w:del w:id=\"2\" w:author=\"x\"><w:r><w:delText>gone"
    "</w:delText></w:r></w:del><w:r><w:br w:type=\"page\"/><w:t>after</w:t></w:r></w:p>"
    "<w:tbl><w:tblGrid><w:gridCol w:w=\"2000\"/><w:gridCol w:w=\"2000\"/></w:tblGrid><w:tr><w:tc>"
    "<w:tcPr><w:gridSpan w:val=\"2\"/></w:tcPr><w:p><w:r><w:t>{{cell}}</w:t></w:r></w:p></w:tc></w:tr>"
    "</w:tbl><w:p><w:r><w:t>【符號說明】A</w:t></w:r></w:p>";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<quire_model::Job> job;
  try {
    job = quire_model::Job::parse(text, "/nonexistent-quire-fuzz");
  } catch (const quire_model::Job_Error&) {
    return 0;
  }
  if (!stays_in_memory(text)) return 0;

  quire_model::Document doc;
  doc.doc = travo::docx::Document::from_bytes(quire_fuzz::package_with_body(kBody));
  doc.save_path = "/nonexistent-quire-fuzz/";
  std::vector<quire_model::Step_Result> results;
  std::ostringstream sink;
  std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
  std::optional<quire_model::Step_Error> failure;
  try {
    job->run(doc, results);
  } catch (const quire_model::Step_Error& e) {
    failure = e;
  }
  std::cout.rdbuf(old);
  (void)quire_model::results_json(results, failure ? &*failure : nullptr);
  return 0;
}
