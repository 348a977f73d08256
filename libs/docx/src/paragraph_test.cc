#include "travo/docx/paragraph.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "travo/docx/document.h"
#include "travo/docx/error.h"
#include "travo/docx/namespaces.h"
#include "travo/docx/xml.h"
#include "test_util.h"

namespace travo::docx {
namespace {

using namespace test_support;

std::vector<std::string> child_names(const Xml_Element& e) {
  std::vector<std::string> out;
  for (const Xml_Element& c : e.children()) out.push_back(c.local_name());
  return out;
}

// plain.docx with its body content (before the section properties) replaced
// by `paragraphs`; the root element binds w, mc and wp.
Document with_body(const std::string& paragraphs) {
  Package pkg = Package::open(testdata("plain.docx"));
  std::string xml = pkg.part_data("word/document.xml");
  const size_t from = xml.find("<w:body>") + std::string("<w:body>").size();
  const size_t to = xml.find("<w:sectPr");
  xml.replace(from, to - from, paragraphs);
  pkg.set_part_data("word/document.xml", xml);
  return Document::from_bytes(pkg.to_bytes());
}

TEST(ParagraphTest, ReadsRunFormattingWrittenByLibreOffice) {
  Document doc = Document::open(testdata("formatting.docx"));
  auto ps = doc.paragraphs();
  auto runs = ps[0].runs();
  ASSERT_EQ(runs.size(), 7u);
  EXPECT_EQ(runs[3].text(), "red italic");
  EXPECT_EQ(runs[3].color(), (std::array<std::uint8_t, 3>{255, 0, 0}));
  EXPECT_EQ(runs[5].text(), "mono 14");
  EXPECT_EQ(runs[5].font_name(), "Liberation Mono");
  EXPECT_EQ(runs[5].size(), Pt(14));
  EXPECT_EQ(runs[0].size(), std::nullopt);
  EXPECT_EQ(runs[0].color(), std::nullopt);
  EXPECT_EQ(ps[1].alignment(), Alignment::center);
  EXPECT_EQ(ps[2].alignment(), Alignment::end);
  EXPECT_EQ(ps[2].left_indent(), Twips(567));  // written as w:start
  EXPECT_EQ(ps[0].left_indent(), std::nullopt);
  EXPECT_EQ(ps[3].runs().size(), 3u);  // the hyperlink's run included

  Document cjk = Document::open(testdata("east_asian.docx"));
  travo::docx::Run r = cjk.paragraphs()[0].runs()[0];
  EXPECT_EQ(r.east_asia_font(), "Noto Sans CJK TC");
  EXPECT_EQ(r.size(), Pt(16));
}

TEST(ParagraphTest, TextIsTheJoinOfItsRuns) {
  for (const char* name : {"plain.docx", "tracked.docx", "breaks.docx", "formatting.docx"}) {
    Document doc = Document::open(testdata(name));
    for (const Paragraph& p : doc.paragraphs()) {
      std::string joined;
      for (const travo::docx::Run& r : p.runs()) joined += r.text();
      EXPECT_EQ(p.text(), joined) << name;
    }
  }
}

TEST(ParagraphTest, ClearKeepsPropertiesAndAddRunWritesBreaksAndTabs) {
  Document doc = Document::open(testdata("formatting.docx"));
  Paragraph p = doc.paragraphs()[3];  // with a hyperlink
  travo::docx::Run old = p.runs()[1];
  p.clear();
  EXPECT_EQ(p.text(), "");
  EXPECT_TRUE(p.runs().empty());
  EXPECT_EQ(old.text(), "the link");  // a removed run stays readable
  p.add_run(" lead\tmiddle\nnext\r\nlast ");
  EXPECT_EQ(p.text(), " lead\tmiddle\nnext\nlast ");

  Document again = reopen(doc);
  Paragraph q = again.paragraphs()[3];
  EXPECT_EQ(q.text(), " lead\tmiddle\nnext\nlast ");
  Xml_Document x = Xml_Document::parse(q.xml());
  EXPECT_THAT(child_names(x.root()), ElementsAre("pPr", "r"));
  EXPECT_THAT(child_names(*x.root().first_child(ns::kW, "r")),
              ElementsAre("t", "tab", "t", "br", "t", "br", "t"));
  EXPECT_THAT(q.xml(), HasSubstr("xml:space=\"preserve\""));
  // The style reference in the paragraph properties is still there.
  EXPECT_THAT(q.xml(), HasSubstr("w:pStyle"));
}

TEST(ParagraphTest, SetsPropertiesInSchemaOrder) {
  Document doc = Document::open(testdata("plain.docx"));
  Paragraph p = doc.paragraphs()[0];
  p.set_exact_line_spacing(Pt(18));
  p.set_left_indent(Pt(12));
  p.set_alignment(Alignment::justify);
  p.set_text("x");
  travo::docx::Run r2 = p.runs()[0];
  r2.set_size(Pt(8));
  r2.set_color(1, 2, 255);
  r2.set_east_asia_font("標楷體");
  r2.set_font_name("Calibri");

  Document again = reopen(doc);
  Paragraph q = again.paragraphs()[0];
  EXPECT_EQ(q.alignment(), Alignment::justify);
  EXPECT_EQ(q.left_indent(), Pt(12));
  EXPECT_EQ(q.exact_line_spacing(), Pt(18));
  travo::docx::Run rr = q.runs()[0];
  EXPECT_EQ(rr.size(), Pt(8));
  EXPECT_EQ(rr.color(), (std::array<std::uint8_t, 3>{1, 2, 255}));
  EXPECT_EQ(rr.font_name(), "Calibri");
  EXPECT_EQ(rr.east_asia_font(), "標楷體");

  Xml_Document x = Xml_Document::parse(q.xml());
  auto ppr = *x.root().first_child(ns::kW, "pPr");
  EXPECT_THAT(child_names(ppr), ElementsAre("pStyle", "bidi", "spacing", "ind", "jc", "rPr"));
  EXPECT_EQ(ppr.first_child(ns::kW, "spacing")->attribute("lineRule", ns::kW), "exact");
  EXPECT_EQ(ppr.first_child(ns::kW, "spacing")->attribute("line", ns::kW), "360");
  EXPECT_EQ(ppr.first_child(ns::kW, "ind")->attribute("left", ns::kW), "240");
  auto rpr = *x.root().first_child(ns::kW, "r")->first_child(ns::kW, "rPr");
  EXPECT_THAT(child_names(rpr), ElementsAre("rFonts", "color", "sz"));
  auto fonts = *rpr.first_child(ns::kW, "rFonts");
  EXPECT_EQ(fonts.attribute("hAnsi", ns::kW), "Calibri");
  EXPECT_EQ(rpr.first_child(ns::kW, "sz")->attribute("val", ns::kW), "16");
  EXPECT_EQ(rpr.first_child(ns::kW, "color")->attribute("val", ns::kW), "0102FF");
}

TEST(ParagraphTest, ExplicitFontsAndColoursReplaceThemeOnes) {
  // Word templates name theme fonts and colours, which win over explicit
  // values; setting a value must drop them.
  Package pkg = Package::open(testdata("plain.docx"));
  std::string xml = pkg.part_data("word/document.xml");
  const std::string plain_run = "<w:r><w:rPr></w:rPr><w:t>First paragraph.</w:t>";
  ASSERT_NE(xml.find(plain_run), std::string::npos);
  xml.replace(xml.find(plain_run), plain_run.size(),
              "<w:r><w:rPr><w:rFonts w:asciiTheme=\"minorHAnsi\" w:hAnsiTheme=\"minorHAnsi\" "
              "w:eastAsiaTheme=\"minorEastAsia\"/><w:color w:val=\"4472C4\" "
              "w:themeColor=\"accent1\"/></w:rPr><w:t>First paragraph.</w:t>");
  pkg.set_part_data("word/document.xml", xml);
  Document doc = Document::from_bytes(pkg.to_bytes());
  travo::docx::Run r = doc.paragraphs()[0].runs()[0];
  ASSERT_EQ(r.text(), "First paragraph.");
  r.set_font_name("Calibri");
  r.set_east_asia_font("標楷體");
  r.set_color(0, 0, 0);
  std::string out = reopen(doc).paragraphs()[0].xml();
  EXPECT_THAT(out, Not(HasSubstr("Theme")));
  EXPECT_THAT(out, Not(HasSubstr("themeColor")));
  EXPECT_THAT(out, HasSubstr("w:val=\"000000\""));
}

TEST(ParagraphTest, RefusesValuesADocumentCannotHold) {
  Document doc = Document::open(testdata("plain.docx"));
  Paragraph p = doc.paragraphs()[0];
  const std::string before = p.xml();
  travo::docx::Run r = p.runs()[0];
  EXPECT_THROW(r.set_color(256, 0, 0), Error);
  EXPECT_THROW(r.set_color(0, -1, 0), Error);
  EXPECT_THROW(r.set_size(Pt(0)), Error);
  EXPECT_THROW(r.set_size(Pt(2000)), Error);
  EXPECT_THROW(r.set_text(std::string("a\x01z")), Error);
  EXPECT_THROW(p.add_run("bad \xC3 utf-8"), Error);
  EXPECT_THROW(p.set_text("\xED\xA0\x80"), Error);  // a UTF-16 surrogate
  EXPECT_THROW(p.set_exact_line_spacing(Pt(0)), Error);
  EXPECT_EQ(p.xml(), before);
}

TEST(ParagraphTest, RunTextReplacementKeepsRunProperties) {
  Document doc = Document::open(testdata("formatting.docx"));
  travo::docx::Run r = doc.paragraphs()[0].runs()[5];
  r.set_text("new");
  r.add_page_break();
  EXPECT_EQ(r.text(), "new");  // a page break adds no text
  EXPECT_EQ(r.font_name(), "Liberation Mono");
  Document again = reopen(doc);
  travo::docx::Run rr = again.paragraphs()[0].runs()[5];
  EXPECT_EQ(rr.size(), Pt(14));
  EXPECT_EQ(rr.text(), "new");
  EXPECT_THAT(again.paragraphs()[0].xml(), HasSubstr("<w:t>new</w:t><w:br w:type=\"page\"/>"));
}

TEST(ParagraphTest, NoAlignmentRemovesTheParagraphsOwn) {
  Document doc = Document::open(testdata("plain.docx"));
  Paragraph p = doc.paragraphs()[0];
  ASSERT_EQ(p.alignment(), Alignment::start);
  p.set_alignment(std::nullopt);
  EXPECT_EQ(p.alignment(), std::nullopt);
  p.set_alignment(std::nullopt);  // nothing left to remove

  Document again = reopen(doc);
  Paragraph q = again.paragraphs()[0];
  EXPECT_THAT(q.xml(), Not(HasSubstr("w:jc")));
  // The rest of the paragraph properties stay.
  Xml_Document x = Xml_Document::parse(q.xml());
  EXPECT_THAT(child_names(*x.root().first_child(ns::kW, "pPr")), ElementsAre("pStyle", "bidi", "rPr"));

  Paragraph bare = again.add_paragraph("no properties");
  bare.set_alignment(std::nullopt);
  EXPECT_THAT(bare.xml(), Not(HasSubstr("w:pPr")));
  bare.set_alignment(Alignment::right);
  EXPECT_EQ(bare.alignment(), Alignment::right);
}

TEST(ParagraphTest, XmlDocumentIsACopyToRead) {
  Document doc = with_body(std::string("<w:p><w:r><w:t>one</w:t></w:r>") +
                           "<w:ins w:id=\"1\" w:author=\"A\"><w:r><w:t>two</w:t></w:r></w:ins></w:p>");
  Paragraph p = doc.paragraphs()[0];
  const Xml_Document copy = p.xml_document();
  EXPECT_EQ(copy.root().tag(), std::string("{") + ns::kW + "}p");
  EXPECT_EQ(copy.root().descendants(ns::kW, "t").size(), 2u);
  // Changes of the paragraph do not reach the copy, nor its end the paragraph.
  p.set_text("changed");
  EXPECT_EQ(copy.root().text(), "onetwo");
  { const Xml_Document gone = p.xml_document(); }
  EXPECT_EQ(p.text(), "changed");
  EXPECT_EQ(p.xml_document().root().text(), "changed");
}

TEST(ParagraphTest, XmlContainsAnyAgreesWithTheSerialisedText) {
  const std::string x = std::string(" xmlns:x=\"") + ns::kW + "\"";
  Document doc = with_body(
      "<w:p><w:r><w:t>nothing here</w:t></w:r></w:p>"
      "<w:p><w:del w:id=\"1\" w:author=\"A\"><w:r><w:delText>gone</w:delText></w:r></w:del></w:p>"
      "<w:p><w:r><w:instrText>PAGE</w:instrText></w:r></w:p>"
      "<w:p><w:pPr><w:pStyle w:val=\"w:br-like\"/></w:pPr><w:r><w:t>text with w:ins</w:t></w:r></w:p>"
      // WordprocessingML under another prefix reads as "w".
      "<x:p" + x + "><x:r><x:br/></x:r></x:p>"
      "<w:p><w:r><w:t>line</w:t><w:br/></w:r></w:p>");
  const std::vector<Paragraph> ps = doc.paragraphs();
  ASSERT_EQ(ps.size(), 6u);
  const std::string_view del[] = {"w:del"};
  const std::string_view changes[] = {"w:del", "w:ins"};
  const std::string_view breaks[] = {"w:br"};
  EXPECT_FALSE(ps[0].xml_contains_any(changes));
  EXPECT_FALSE(ps[0].xml_contains_any(breaks));
  EXPECT_TRUE(ps[1].xml_contains_any(del));
  EXPECT_TRUE(ps[2].xml_contains_any(changes));  // w:instrText
  EXPECT_FALSE(ps[2].xml_contains_any(del));
  EXPECT_TRUE(ps[3].xml_contains_any(breaks));   // an attribute value
  EXPECT_TRUE(ps[3].xml_contains_any(changes));  // character data
  EXPECT_TRUE(ps[4].xml_contains_any(breaks));
  EXPECT_TRUE(ps[5].xml_contains_any(breaks));
  EXPECT_FALSE(ps[5].xml_contains_any({}));
  for (const Paragraph& p : ps) {
    const std::string xml = p.xml();
    for (std::string_view t : {"w:del", "w:ins", "w:br", "PAGE", "here", "w:pStyle", "w:val", "x:"}) {
      const std::string_view one[] = {t};
      EXPECT_EQ(p.xml_contains_any(one), xml.find(t) != std::string::npos) << t << " in " << xml;
    }
  }
}

TEST(AlignmentTest, MapsEveryJcValueBothWays) {
  for (auto a : {Alignment::left, Alignment::center, Alignment::right, Alignment::justify,
                 Alignment::distribute, Alignment::justify_medium, Alignment::justify_high,
                 Alignment::justify_low, Alignment::thai_justify, Alignment::start, Alignment::end,
                 Alignment::num_tab})
    EXPECT_EQ(alignment_from_jc(to_jc(a)), a);
  EXPECT_EQ(to_jc(Alignment::justify), "both");
  EXPECT_EQ(alignment_from_jc("centre"), std::nullopt);
  EXPECT_EQ(vertical_alignment_from_valign(to_valign(Vertical_Alignment::center)),
            Vertical_Alignment::center);
}

}  // namespace
}  // namespace travo::docx
