// libFuzzer target: inspection of a document (format in fuzz_input.h).
// show_all_text and show_execute_set must leave every byte of the document
// as it was, record only texts that show_all_text lists, never record an
// empty placeholder, and, with the range on, record a subsequence of what
// they record with it off.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "fuzz_input.h"

namespace docx = travo::docx;

namespace {

[[noreturn]] void fail(const char* what) {
  std::cerr << "show_execute_set_fuzzer: " << what << "\n";
  std::abort();
}

bool is_subsequence(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  size_t i = 0;
  for (const std::string& s : whole)
    if (i < part.size() && part[i] == s) ++i;
  return i == part.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<quire_model::Document> prepared = quire_fuzz::prepared_document({data, size});
  if (!prepared) return 0;
  quire_model::Document& doc = *prepared;
  travo::docx::Document& d = *doc.doc;
  d.package().mark_modified(d.main_part_name());
  const std::string before = d.package().part_data(d.main_part_name());

  const std::vector<std::string> texts = doc.show_all_text();
  doc.show_execute_set(false);
  const quire_model::Check_Dict all = *doc.check_dict;
  doc.show_execute_set(true);
  const quire_model::Check_Dict ranged = *doc.check_dict;

  d.package().mark_modified(d.main_part_name());
  if (d.package().part_data(d.main_part_name()) != before) fail("inspection changed the document");
  if (texts.size() != d.paragraphs().size()) fail("show_all_text skipped paragraphs");
  for (const auto& [key, finding] : all) {
    if (key.empty()) fail("an empty placeholder was checked");
    if (!doc.replace_value.contains(key)) fail("a finding for an unregistered placeholder");
    if (!is_subsequence(finding.text, texts)) fail("findings are not paragraph texts in order");
    for (const std::string& t : finding.text)
      if (t.find(key) == std::string::npos) fail("a recorded paragraph lacks its placeholder");
  }
  for (const auto& [key, finding] : ranged) {
    const quire_model::Check_Finding* wide = all.find(key);
    if (!wide || !is_subsequence(finding.text, wide->text))
      fail("the range recorded what the full check did not");
  }
  return 0;
}
