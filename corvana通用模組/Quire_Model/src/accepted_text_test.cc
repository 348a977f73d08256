// Accepted text of the body paragraphs of testdata/body.docx (see
// make_fixtures.py for what each paragraph holds).

#include <gtest/gtest.h>

#include "travo/docx/error.h"
#include "quire_model/document.h"
#include "test_support.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

using test_support::Temp_Dir;

enum Body_Paragraph {
  kName = 0, kTracked = 1, kSplit = 2, kLineBreak = 3, kTab = 4, kField = 5, kLink = 6,
  kEastAsian = 7, kBreakAfter = 8, kBreakBefore = 10, kBreakInside = 11, kTextBox = 16,
  kTabAndInsertion = 17,
};

class AcceptedText : public ::testing::Test {
 protected:
  AcceptedText() : doc_(test_support::open_fixture("body.docx")), paragraphs_(doc_.doc->paragraphs()) {}
  std::string accepted(int i) const { return doc_.get_accepted_text(paragraphs_.at(i)); }
  std::string accepted_plain(int i) const { return doc_._get_accepted_text(paragraphs_.at(i)); }
  std::string ttff_of(int i) const { return doc_.ttff(paragraphs_.at(i).xml()); }

  Quire_Model::Document doc_;
  std::vector<travo::docx::Paragraph> paragraphs_;
};

TEST_F(AcceptedText, TrackedInsertionsStayAndDeletionsGo) {
  EXPECT_EQ(accepted(kTracked), "Kept {{ins}} text ends.");
  EXPECT_EQ(accepted_plain(kTracked), "Kept {{ins}} text ends.");
  // Runs inside w:ins are not direct children of the paragraph.
  EXPECT_EQ(ttff_of(kTracked), "Kept text ends.");
}

TEST_F(AcceptedText, PageBreaksBecomeMarkersWhereTheyStand) {
  EXPECT_EQ(accepted(kBreakAfter), "Break after {{pb_after}}$$$page$$$");
  EXPECT_EQ(accepted(kBreakBefore), "$$$page$$$After table {{pb_before}}");
  EXPECT_EQ(accepted(kBreakInside), "Before {{NA$$$page$$$ME}} after");
  // Without tracked changes the simpler form answers with the layer's
  // text, which has no page breaks.
  EXPECT_EQ(accepted_plain(kBreakInside), "Before {{NAME}} after");
  EXPECT_EQ(ttff_of(kBreakAfter), "Break after {{pb_after}}$$$AAAA$$$");
  EXPECT_EQ(ttff_of(kBreakBefore), "$$$AAAA$$$After table {{pb_before}}");
  // Only the first w:t of a run counts.
  EXPECT_EQ(ttff_of(kBreakInside), "$$$AAAA$$$Before {{NA");
}

TEST_F(AcceptedText, LineBreaksTabsAndFieldCodesGiveNothingOnTheMarkupPath) {
  EXPECT_EQ(accepted(kLineBreak), "Line one{{lb}} two");
  EXPECT_EQ(accepted_plain(kLineBreak), "Line one\n{{lb}} two");
  // No change or break: the layer's text, tab included.
  EXPECT_EQ(accepted(kTab), "Tab\t{{tab}}");
  // w:instrText matches "w:ins": markup path, code left out, result kept.
  EXPECT_EQ(accepted(kField), "Page 1 of {{field}}");
  EXPECT_EQ(accepted_plain(kField), "Page 1 of {{field}}");
  EXPECT_EQ(accepted(kTabAndInsertion), "Tabkept new");
}

TEST_F(AcceptedText, RunsSplitByFormattingJoinUp) {
  EXPECT_EQ(accepted(kSplit), "Split {{split}} here.");
  EXPECT_EQ(accepted(kLink), "See {{link}} here.");
  EXPECT_EQ(accepted(kEastAsian), "申請人：{{申請人}}。");
  // A text box is no part of its anchor paragraph's text.
  EXPECT_EQ(accepted(kTextBox), "Anchor  text");
}

TEST_F(AcceptedText, DoesNotChangeTheDocument) {
  const std::string before = test_support::document_xml(*doc_.doc);
  for (const travo::docx::Paragraph& p : paragraphs_) {
    doc_.get_accepted_text(p);
    doc_._get_accepted_text(p);
    doc_.ttff(p.xml());
  }
  EXPECT_EQ(test_support::document_xml(*doc_.doc), before);
}

TEST(AcceptedTextMarkup, PageBreakInsideADeletionStillCounts) {
  Temp_Dir tmp;
  test_support::edit_fixture("body.docx", tmp / "t.docx", [](std::string xml) {
    return test_support::replace_all_text(xml, "<w:delText>{{gone}}</w:delText>",
                                     "<w:br w:type=\"page\"/><w:delText>{{gone}}</w:delText>");
  });
  Quire_Model::Document doc;
  doc.set_word_version_path("v", (tmp / "t.docx").string());
  doc.run_version("v");
  const auto paragraphs = doc.doc->paragraphs();
  EXPECT_EQ(doc.get_accepted_text(paragraphs[kTracked]), "Kept {{ins}} text$$$page$$$ ends.");
  EXPECT_EQ(doc._get_accepted_text(paragraphs[kTracked]), "Kept {{ins}} text ends.");
}

TEST(AcceptedTextMarkup, AnotherPrefixForWordprocessingMLTriggersAlike) {
  // The same document with WordprocessingML under the prefix "x".
  Temp_Dir tmp;
  test_support::edit_fixture("body.docx", tmp / "x.docx", [](std::string xml) {
    xml = test_support::replace_all_text(xml, "xmlns:w=", "xmlns:x=");
    xml = test_support::replace_all_text(xml, "<w:", "<x:");
    xml = test_support::replace_all_text(xml, "</w:", "</x:");
    return test_support::replace_all_text(xml, " w:", " x:");
  });
  Quire_Model::Document doc;
  doc.set_word_version_path("v", (tmp / "x.docx").string());
  doc.run_version("v");
  const auto paragraphs = doc.doc->paragraphs();
  ASSERT_GT(paragraphs.size(), static_cast<size_t>(kBreakInside));
  EXPECT_EQ(doc.get_accepted_text(paragraphs[kLineBreak]), "Line one{{lb}} two");
  EXPECT_EQ(doc.get_accepted_text(paragraphs[kTracked]), "Kept {{ins}} text ends.");
  EXPECT_EQ(doc.get_accepted_text(paragraphs[kBreakInside]), "Before {{NA$$$page$$$ME}} after");
  EXPECT_EQ(doc.get_accepted_text(paragraphs[kTab]), "Tab\t{{tab}}");
}

// testdata/textbox.docx: text boxes, each stored twice (DrawingML and VML).
class AcceptedTextBox : public ::testing::Test {
 protected:
  AcceptedTextBox()
      : doc_(test_support::open_fixture("textbox.docx")), paragraphs_(doc_.doc->paragraphs()) {}

  Quire_Model::Document doc_;
  std::vector<travo::docx::Paragraph> paragraphs_;
};

TEST_F(AcceptedTextBox, TextBoxTextCountsOnceOnTheMarkupPath) {
  // A page break sends the paragraph down the markup path.
  EXPECT_EQ(doc_.get_accepted_text(paragraphs_.at(0)),
            "Words inside a text box frame.Paragraph that holds a text box and "
            "{{tb}}$$$page$$$after the break.");
  // A tracked insertion sends both forms down it.
  EXPECT_EQ(doc_.get_accepted_text(paragraphs_.at(1)), "Box Second box. then inserted text.");
  EXPECT_EQ(doc_._get_accepted_text(paragraphs_.at(1)), "Box Second box. then inserted text.");
  EXPECT_EQ(doc_.show_all_text(),
            (std::vector<std::string>{"Words inside a text box frame.Paragraph that holds a text "
                                      "box and {{tb}}$$$page$$$after the break.",
                                      "Box Second box. then inserted text."}));
}

TEST(Ttff, ReadsOnlyDirectRunsAndTheirFirstBreakAndText) {
  Quire_Model::Document doc;
  const std::string w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
  EXPECT_EQ(doc.ttff("<w:p " + w + "><w:r><w:br w:type=\"page\"/><w:t>A</w:t></w:r></w:p>"),
            "$$$AAAA$$$A");
  EXPECT_EQ(doc.ttff("<w:p " + w + "><w:r><w:t>A</w:t><w:br w:type=\"page\"/></w:r></w:p>"),
            "$$$AAAA$$$A");
  EXPECT_EQ(doc.ttff("<w:p " + w + "><w:r><w:br/><w:br w:type=\"page\"/><w:t>A</w:t></w:r></w:p>"),
            "A");
  EXPECT_EQ(doc.ttff("<w:p " + w + "><w:ins><w:r><w:t>inside</w:t></w:r></w:ins></w:p>"), "");
  EXPECT_EQ(doc.ttff("<p><r><t>no namespace</t></r></p>"), "");
  EXPECT_THROW(doc.ttff("<w:p " + w + "><w:r>"), travo::docx::Error);
  EXPECT_THROW(doc.ttff("<!DOCTYPE p [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><p>&e;</p>"),
               travo::docx::Error);
}

}  // namespace
}  // namespace quire_model
