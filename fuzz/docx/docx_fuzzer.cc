// libFuzzer target: opens arbitrary bytes as a .docx, reads the body the way
// the template engine does, edits, saves, and opens the result again. Any
// failure other than docx::Error (a crash, a leak, a hang) is a bug.
//
// Input starting with "PK" is taken as a whole archive. Anything else is
// taken as the text of word/document.xml and wrapped into a minimal valid
// package, so that mutations reach the XML handling instead of dying at the
// archive's checksums.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "common/zip_writer.h"
#include "travo/docx/docx.h"

namespace docx = travo::docx;

namespace {

void read_everything(docx::Document& doc) {
  for (const docx::Block& block : doc.blocks()) {
    if (const auto* p = std::get_if<docx::Paragraph>(&block)) {
      (void)p->text();
      (void)p->xml();
      for (const docx::Run& r : p->runs()) {
        (void)r.font_name();
        (void)r.size();
        (void)r.color();
      }
    } else {
      const auto& t = std::get<docx::Table>(block);
      (void)t.column_count();
      (void)t.style();
      for (const docx::Row& row : t.rows()) {
        (void)row.height();
        for (const docx::Cell& c : row.cells()) (void)c.text();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Smaller bounds than the defaults keep the fuzzer's memory use low.
  docx::Limits limits;
  limits.max_part_size = 16u << 20;
  limits.max_total_size = 64u << 20;
  std::string input(reinterpret_cast<const char*>(data), size);
  if (input.compare(0, 2, "PK") != 0) input = travo::fuzz::docx_package(std::move(input));
  try {
    docx::Document doc = docx::Document::from_bytes(std::move(input), limits);
    read_everything(doc);
    if (!doc.paragraphs().empty()) {
      docx::Paragraph p = doc.paragraphs().front();
      p.add_run("fuzz\tline\nend").set_size(docx::Pt(8));
      p.set_alignment(docx::Alignment::center);
    }
    if (!doc.tables().empty()) {
      docx::Table t = doc.tables().front();
      if (!t.rows().empty() && !t.rows().front().cells().empty()) {
        docx::Cell c = t.rows().front().cells().front();
        c.set_text("cell");
        c.set_width(docx::Cm(2));
      }
    }
    doc.add_table(1, 2).cell(0, 1).set_text("x");
    docx::Document again = docx::Document::from_bytes(doc.to_bytes(), limits);
    read_everything(again);
  } catch (const docx::Error&) {
  }
  return 0;
}
