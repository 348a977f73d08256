// libFuzzer target: a registry and a document from the input (format in
// fuzz_input.h), Document::execute_set, then the document saved and opened
// again. Only travo::docx::Error may escape the engine (a value the document
// refuses, a document that cannot be opened); a crash, leak or hang is a
// bug, and so is a document that the engine leaves unreadable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "fuzz_input.h"

namespace docx = travo::docx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<quire_model::Document> prepared = quire_fuzz::prepared_document({data, size});
  if (!prepared) return 0;
  quire_model::Document& doc = *prepared;

  // The engine's picture and failure lines are not of interest here.
  std::ostringstream sink;
  std::streambuf* old = std::cout.rdbuf(sink.rdbuf());
  bool applied = true;
  try {
    doc.execute_set();
  } catch (const travo::docx::Error&) {
    applied = false;
  }
  std::cout.rdbuf(old);

  // What the engine wrote must read back, whether or not it finished. (An
  // archive entry that was never read may be damaged; such a package opens
  // but cannot be written, which is the docx layer's refusal, not a fault.)
  std::string bytes;
  try {
    bytes = doc.doc->to_bytes();
  } catch (const travo::docx::Error&) {
    return 0;
  }
  try {
    travo::docx::Document again = travo::docx::Document::from_bytes(std::move(bytes), quire_fuzz::limits());
    for (const travo::docx::Paragraph& p : again.paragraphs()) (void)doc.get_accepted_text(p);
  } catch (const travo::docx::Error& e) {
    std::cerr << "the filled document does not open again (" << (applied ? "applied" : "partial")
              << "): " << e.what() << "\n";
    std::abort();
  }
  return 0;
}
