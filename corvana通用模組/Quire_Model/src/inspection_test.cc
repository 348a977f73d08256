// Inspection on testdata/inspection.docx (paragraph list in
// make_fixtures.py) and testdata/body.docx.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "quire_model/document.h"
#include "test_support.h"

namespace quire_model {
namespace {

using ::testing::ElementsAre;
using test_support::Capture_Stdout;

// Paragraph texts of inspection.docx.
const std::string kBeforeRange = "Before the range: A alone.";
const std::string kFirstA10 = "First mention of A10 here.";
const std::string kTwice = "A10 twice: A10.";
const std::string kThenA = "A10 and then A alone.";
const std::string kOnlyBA20 = "Only BA20 here.";
const std::string kBAThenA10 = "BA alone and A10.";
const std::string kAThenBA20 = "A alone, then BA20.";
const std::string kOnlyXA = "Only X-A here.";
const std::string kXAThenA = "X-A and A.";
const std::string kTracked = "Tracked A10 kept.";
const std::string kPage = "Page A10$$$page$$$break";
const std::string kHeading = "【符號說明】";
const std::string kAfterHeading = "A after the heading.";

std::vector<std::string> findings(const Quire_Model::Document& doc, const std::string& key) {
  if (!doc.check_dict) return {{"<no check_dict>"}};
  const Check_Finding* f = doc.check_dict->find(key);
  return f ? f->text : std::vector<std::string>{};
}

// Every part of the package, as it would be saved now.
std::map<std::string, std::string> all_parts(travo::docx::Document& d) {
  std::map<std::string, std::string> out;
  d.package().mark_modified(d.main_part_name());
  for (const std::string& name : d.package().part_names()) out[name] = d.package().part_data(name);
  return out;
}

class Inspection : public ::testing::Test {
 protected:
  Inspection() : doc_(test_support::open_fixture("inspection.docx")) {}
  Quire_Model::Document doc_;
};

TEST_F(Inspection, AllTextIsTheAcceptedTextOfEveryBodyParagraph) {
  EXPECT_THAT(doc_.show_all_text(),
              ElementsAre(kBeforeRange, kFirstA10, kTwice, kThenA, kOnlyBA20, kBAThenA10, kAThenBA20,
                          kOnlyXA, kXAThenA, kTracked, kPage, kHeading, kAfterHeading,
                          // LibreOffice ends a document after a table with
                          // an empty paragraph.
                          ""));
  Quire_Model::Document body = test_support::open_fixture("body.docx");
  const std::vector<std::string> texts = body.show_all_text();
  const std::vector<travo::docx::Paragraph> paragraphs = body.doc->paragraphs();
  ASSERT_EQ(texts.size(), paragraphs.size());
  for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], body.get_accepted_text(paragraphs[i]));
}

TEST_F(Inspection, OwnAndOtherReplacementsCoverOccurrences) {
  doc_.set("A", "A10");
  doc_.set("BA", "BA20");
  Capture_Stdout out;
  doc_.show_execute_set();
  EXPECT_EQ(out.text(), "");
  // A10 twice, only BA20 (covered by BA's replacement), the tracked A10
  // with its deleted A: not recorded. BA alone then A10: the last
  // occurrence not covered by A10 is BA's, which BA20 does not cover
  // either. A alone then BA20: the later covered occurrence clears it.
  EXPECT_THAT(findings(doc_, "A"),
              ElementsAre(kBeforeRange, kThenA, kBAThenA10, kOnlyXA, kXAThenA, kAfterHeading));
  EXPECT_THAT(findings(doc_, "BA"), ElementsAre(kBAThenA10));
  EXPECT_EQ(doc_.check_dict->keys(), (std::vector<std::string>{"A", "BA"}));
}

TEST_F(Inspection, PlaceholderInsideItsReplacementIsFoundByItsOffset) {
  doc_.set("A", "X-A");
  doc_.show_execute_set();
  // Only X-A is covered; every other paragraph with an A is recorded.
  const std::vector<std::string> a = findings(doc_, "A");
  EXPECT_EQ(std::count(a.begin(), a.end(), kOnlyXA), 0);
  EXPECT_EQ(std::count(a.begin(), a.end(), kXAThenA), 1);
  EXPECT_EQ(std::count(a.begin(), a.end(), kTwice), 1);
  EXPECT_EQ(a.size(), 11u);
}

TEST_F(Inspection, ReplacementWithoutItsPlaceholderRecordsEveryMention) {
  doc_.set("BA", "B-A");
  doc_.show_execute_set();
  EXPECT_THAT(findings(doc_, "BA"), ElementsAre(kOnlyBA20, kBAThenA10, kAThenBA20));
}

TEST_F(Inspection, RangeStartsAtTheReplacementAndStopsAtTheHeading) {
  doc_.set("A", "A10");
  doc_.set("BA", "BA20");
  doc_.show_execute_set(/*specify_range=*/true);
  // A starts with its first A10 (kFirstA10); BA with its first BA20
  // (kOnlyBA20); the heading's paragraph and all after it are not checked.
  EXPECT_THAT(findings(doc_, "A"), ElementsAre(kThenA, kBAThenA10, kOnlyXA, kXAThenA));
  EXPECT_THAT(findings(doc_, "BA"), ElementsAre(kBAThenA10));

  // The paragraph that first holds the replacement is itself checked;
  // those before it are not, nor is the heading's.
  doc_.delete_();
  doc_.set("range", "A10");
  doc_.set("mention", "A10");
  doc_.set("符號", "X-A");
  doc_.show_execute_set(true);
  EXPECT_EQ(doc_.check_dict->keys(), std::vector<std::string>{"mention"});
  EXPECT_THAT(findings(doc_, "mention"), ElementsAre(kFirstA10));
  // Without a range the heading means nothing.
  doc_.show_execute_set(false);
  EXPECT_THAT(findings(doc_, "range"), ElementsAre(kBeforeRange));
  EXPECT_THAT(findings(doc_, "符號"), ElementsAre(kHeading));
}

TEST_F(Inspection, EachRunStartsAfreshAndEmptyPlaceholdersAreSkipped) {
  doc_.set("A", "A10");
  doc_.show_execute_set();
  EXPECT_FALSE(findings(doc_, "A").empty());
  doc_.delete_();
  doc_.show_execute_set();
  ASSERT_TRUE(doc_.check_dict);
  EXPECT_TRUE(doc_.check_dict->empty());
  // An empty placeholder occurs everywhere; it is never checked, and it
  // does not keep others from being checked.
  doc_.set("", "x");
  doc_.set("heading.", "heading");
  doc_.show_execute_set();
  EXPECT_EQ(doc_.check_dict->keys(), std::vector<std::string>{"heading."});
}

// Both operations read only: every part of the package, bytes and all, is
// as it was, and a document with formatting, fields, tracked changes,
// pictures and page breaks keeps them.
TEST(InspectionReadsOnly, DocumentIsByteIdenticalAfterwards) {
  for (const char* fixture : {"inspection.docx", "body.docx", "cells.docx"}) {
    SCOPED_TRACE(fixture);
    Quire_Model::Document doc = test_support::open_fixture(fixture);
    doc.set("A", "A10");
    doc.set("{{name}}", "{{name}} 1");
    doc.set("", "empty");
    const auto before = all_parts(*doc.doc);
    doc.show_all_text();
    doc.show_execute_set();
    doc.show_execute_set(true);
    EXPECT_TRUE(all_parts(*doc.doc) == before);
  }
}

TEST(InspectionState, NeedsAnOpenDocument) {
  Quire_Model::Document doc;
  EXPECT_THROW(doc.show_all_text(), std::logic_error);
  EXPECT_THROW(doc.show_execute_set(), std::logic_error);
  EXPECT_FALSE(doc.check_dict);
}

}  // namespace
}  // namespace quire_model
