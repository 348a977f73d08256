// libFuzzer target: opens arbitrary bytes as a .docx, reads the body the way
// the template engine does, edits, saves, and opens the result again. Any
// failure other than docx::Error (a crash, a leak, a hang) is a bug.
//
// Input starting with "PK" is taken as a whole archive. Anything else is
// taken as the text of word/document.xml and wrapped into a minimal valid
// package, so that mutations reach the XML handling instead of dying at the
// archive's checksums.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "travo/docx/docx.h"

namespace docx = travo::docx;

namespace {

std::uint32_t crc32(const std::string& s) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : s) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& out, std::uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// A zip archive of stored (uncompressed) entries.
std::string stored_zip(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out, central;
  for (const auto& [name, data] : entries) {
    const std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    const std::uint32_t crc = crc32(data);
    const auto size = static_cast<std::uint32_t>(data.size());
    put32(out, 0x04034b50);
    put16(out, 20); put16(out, 0); put16(out, 0); put16(out, 0); put16(out, 0x21);
    put32(out, crc); put32(out, size); put32(out, size);
    put16(out, static_cast<std::uint32_t>(name.size())); put16(out, 0);
    out += name;
    out += data;
    put32(central, 0x02014b50);
    put16(central, 20); put16(central, 20); put16(central, 0); put16(central, 0);
    put16(central, 0); put16(central, 0x21);
    put32(central, crc); put32(central, size); put32(central, size);
    put16(central, static_cast<std::uint32_t>(name.size()));
    put16(central, 0); put16(central, 0); put16(central, 0); put16(central, 0);
    put32(central, 0); put32(central, offset);
    central += name;
  }
  const std::uint32_t cd_offset = static_cast<std::uint32_t>(out.size());
  out += central;
  put32(out, 0x06054b50);
  put16(out, 0); put16(out, 0);
  put16(out, static_cast<std::uint32_t>(entries.size()));
  put16(out, static_cast<std::uint32_t>(entries.size()));
  put32(out, static_cast<std::uint32_t>(central.size()));
  put32(out, cd_offset);
  put16(out, 0);
  return out;
}

std::string wrap_document_xml(std::string document_xml) {
  const std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
      "package/2006/content-types\"><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
      "relationships+xml\"/><Override PartName=\"/word/document.xml\" ContentType=\"application/"
      "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>";
  const std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas."
      "openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://"
      "schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
      "Target=\"word/document.xml\"/></Relationships>";
  return stored_zip({{"[Content_Types].xml", types},
                     {"_rels/.rels", rels},
                     {"word/document.xml", std::move(document_xml)}});
}

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
  if (input.compare(0, 2, "PK") != 0) input = wrap_document_xml(std::move(input));
  try {
    docx::Document doc = docx::Document::from_bytes(std::move(input), limits);
    read_everything(doc);
    if (!doc.paragraphs().empty()) {
      docx::Paragraph p = doc.paragraphs().front();
      p.add_run("fuzz\tline\nend").set_size(docx::Pt(8));
      p.set_alignment(docx::Alignment::Center);
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
