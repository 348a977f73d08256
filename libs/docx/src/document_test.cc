#include "travo/docx/document.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "travo/docx/error.h"
#include "travo/docx/namespaces.h"
#include "travo/docx/xml.h"
#include "test_util.h"

namespace travo::docx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using test_support::Temp_Dir;
using test_support::testdata;

std::vector<std::string> texts(const Document& doc) {
  std::vector<std::string> out;
  for (const Paragraph& p : doc.paragraphs()) out.push_back(p.text());
  return out;
}

std::string open_error(const std::string& name) {
  try {
    Document::open(testdata(name));
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

// Local names of the element children of `e`.
std::vector<std::string> child_names(const Xml_Element& e) {
  std::vector<std::string> out;
  for (const Xml_Element& c : e.children()) out.push_back(c.local_name());
  return out;
}

TEST(DocumentTest, ReadsParagraphTextOfLibreOfficeDocuments) {
  EXPECT_THAT(texts(Document::open(testdata("plain.docx"))),
              ElementsAre("First paragraph.", "Second paragraph with a\ttab.", "",
                          "Fourth paragraph, after an empty one."));
  // Insertions kept, deletions left out.
  EXPECT_THAT(texts(Document::open(testdata("tracked.docx"))),
              ElementsAre("Kept inserted text ends here.", "Untouched paragraph.",
                          "Whole paragraph inserted."));
  // Line breaks read as "\n"; a page break adds no text.
  EXPECT_THAT(texts(Document::open(testdata("breaks.docx"))),
              ElementsAre("Line one\nline two", "Second page starts here.", "Last paragraph."));
  // Runs inside hyperlinks count.
  EXPECT_EQ(texts(Document::open(testdata("formatting.docx")))[3], "See the link here.");
  EXPECT_EQ(texts(Document::open(testdata("east_asian.docx")))[0], "專利檢索報告");
}

TEST(DocumentTest, ListsBodyBlocksInOrder) {
  Document doc = Document::open(testdata("tables.docx"));
  std::vector<char> kinds;
  for (const Block& b : doc.blocks()) kinds.push_back(std::holds_alternative<Paragraph>(b) ? 'p' : 't');
  EXPECT_THAT(kinds, ElementsAre('p', 't', 'p', 't', 'p'));
  // Paragraphs inside the tables are not body paragraphs.
  EXPECT_THAT(texts(doc), ElementsAre("Before the tables.", "Between the tables.", "After the tables."));
  EXPECT_EQ(doc.tables().size(), 2u);
}

TEST(DocumentTest, RejectsFilesThatAreNoWordDocuments) {
  EXPECT_THAT(open_error("bad/not_a_zip.docx"), HasSubstr("not a zip archive"));
  EXPECT_THAT(open_error("bad/no_document.docx"), HasSubstr("word/document.xml is missing"));
  EXPECT_THAT(open_error("bad/malformed_xml.docx"), HasSubstr("malformed XML"));
  EXPECT_THAT(open_error("bad/doctype.docx"), HasSubstr("document type"));
  EXPECT_THAT(open_error("bad/bomb.docx"), HasSubstr("zip bomb"));
  EXPECT_THAT(open_error("missing.docx"), HasSubstr("cannot open"));
  // The file name is part of the message.
  EXPECT_THAT(open_error("bad/dotdot.docx"), HasSubstr("dotdot.docx"));
}

TEST(DocumentTest, ParagraphXmlUsesPrefixWAndParsesOnItsOwn) {
  Document doc = Document::open(testdata("tracked.docx"));
  std::string xml = doc.paragraphs()[0].xml();
  EXPECT_EQ(xml.rfind("<w:p", 0), 0u) << xml;
  EXPECT_THAT(xml, HasSubstr("w:ins"));
  EXPECT_THAT(xml, HasSubstr("<w:delText>removed words</w:delText>"));
  Xml_Document parsed = Xml_Document::parse(xml);
  EXPECT_EQ(parsed.root().tag(), std::string("{") + ns::kW + "}p");
  EXPECT_EQ(parsed.root().descendants(ns::kW, "r").size(), 5u);

  Document breaks = Document::open(testdata("breaks.docx"));
  EXPECT_THAT(breaks.paragraphs()[0].xml(), HasSubstr("<w:br w:type=\"page\"/>"));
}

TEST(DocumentTest, AppendsBeforeTheFinalSectionProperties) {
  Document doc = Document::open(testdata("plain.docx"));
  doc.add_paragraph("appended");
  Paragraph brk = doc.add_page_break();
  EXPECT_THAT(brk.xml(), HasSubstr("<w:br w:type=\"page\"/>"));
  Document again = Document::from_bytes(doc.to_bytes());
  auto ps = again.paragraphs();
  ASSERT_EQ(ps.size(), 6u);
  EXPECT_EQ(ps[4].text(), "appended");
  EXPECT_EQ(ps[5].runs().size(), 1u);
  Xml_Document body = Xml_Document::parse(again.package().part_data("word/document.xml"));
  auto names = child_names(*body.root().first_child(ns::kW, "body"));
  EXPECT_EQ(names.back(), "sectPr");
  EXPECT_EQ(names[names.size() - 2], "p");
}

TEST(DocumentTest, SavedDocumentKeepsUntouchedPartsAndEdits) {
  Temp_Dir dir;
  Document doc = Document::open(testdata("formatting.docx"));
  doc.paragraphs()[0].set_text("Replaced");
  doc.save(dir / "out.docx");
  Document again = Document::open(dir / "out.docx");
  EXPECT_EQ(again.paragraphs()[0].text(), "Replaced");
  Package original = Package::open(testdata("formatting.docx"));
  for (const std::string& name : original.part_names()) {
    if (name == "word/document.xml") continue;
    EXPECT_EQ(again.package().part_data(name), original.part_data(name)) << name;
  }
  // The hyperlink's relationship survived.
  EXPECT_EQ(again.paragraphs()[3].text(), "See the link here.");
}

// Removed content is freed at once unless a handle stands for it; a handle
// on removed content keeps it readable, and handles may outlive their
// Document (their destructors must not touch the freed tree: run under
// valgrind or a sanitizer to see a fault here).
TEST(DocumentHandles, RemovedContentStaysForItsHandlesAndHandlesOutliveTheDocument) {
  std::vector<Paragraph> outliving;
  {
    Document d = Document::open(testdata("plain.docx"));
    Paragraph p = d.add_paragraph("kept");
    travo::docx::Run kept = p.runs().at(0);
    Paragraph q = d.add_paragraph("dropped");
    p.clear();
    q.clear();
    EXPECT_EQ(kept.text(), "kept");
    kept.set_text("still writable");
    EXPECT_EQ(kept.text(), "still writable");
    EXPECT_EQ(p.text(), "");
    for (int i = 0; i < 3; ++i) q.set_text("again " + std::to_string(i));
    EXPECT_EQ(q.text(), "again 2");
    Table t = d.add_table(1, 1);
    Cell c = t.rows().at(0).cells().at(0);
    t.remove();
    c.set_text("in a removed table");
    EXPECT_EQ(c.text(), "in a removed table");
    outliving = d.paragraphs();
    outliving.push_back(p);
  }
  std::vector<Paragraph> copies = outliving;
  outliving.clear();
  copies.clear();
}

}  // namespace
}  // namespace travo::docx
