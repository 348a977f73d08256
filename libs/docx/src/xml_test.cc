#include "travo/docx/xml.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "travo/docx/error.h"
#include "travo/docx/namespaces.h"

namespace travo::docx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(XmlTest, FindsElementsByNamespaceNotPrefix) {
  auto doc = Xml_Document::parse(
      "<x:p xmlns:x=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
      "<x:r><x:t>A</x:t><x:br x:type=\"page\"/></x:r>"
      "<x:ins><x:r><x:t>B</x:t></x:r></x:ins>"
      "<other:r xmlns:other=\"urn:other\"><x:t>C</x:t></other:r></x:p>");
  Xml_Element root = doc.root();
  EXPECT_EQ(root.tag(), std::string("{") + ns::kW + "}p");
  EXPECT_EQ(root.local_name(), "p");
  auto all_runs = root.descendants(ns::kW, "r");
  ASSERT_EQ(all_runs.size(), 2u);
  EXPECT_EQ(all_runs[1].text(), "B");
  auto direct = root.children(ns::kW, "r");
  ASSERT_EQ(direct.size(), 1u);
  auto br = direct[0].first_child(ns::kW, "br");
  ASSERT_TRUE(br);
  EXPECT_EQ(br->attribute("type", ns::kW), "page");
  EXPECT_EQ(br->attribute("type"), std::nullopt);  // unqualified: absent
  EXPECT_FALSE(direct[0].first_child(ns::kW, "tab"));
  EXPECT_EQ(root.children().size(), 3u);
  EXPECT_EQ(root.descendants("urn:other", "r").size(), 1u);
}

std::vector<std::string> texts(const std::vector<Xml_Element>& elements) {
  std::vector<std::string> out;
  for (const Xml_Element& e : elements) out.push_back(e.text());
  return out;
}

TEST(XmlTest, FirstChoiceReadsAlternateContentOnce) {
  auto doc = Xml_Document::parse(std::string("<w:p xmlns:w=\"") + ns::kW + "\" xmlns:mc=\"" + ns::kMc +
                                "\"><w:r><w:t>A</w:t></w:r><w:r><mc:AlternateContent>"
                                "<mc:Choice Requires=\"wps\"><w:t>B1</w:t>"
                                "<mc:AlternateContent><mc:Choice Requires=\"x\"><w:t>N1</w:t>"
                                "</mc:Choice><mc:Fallback><w:t>N2</w:t></mc:Fallback>"
                                "</mc:AlternateContent></mc:Choice>"
                                "<mc:Choice Requires=\"v\"><w:t>B2</w:t></mc:Choice>"
                                "<mc:Fallback><w:t>B3</w:t></mc:Fallback>"
                                "</mc:AlternateContent></w:r><w:r><w:t>C</w:t></w:r></w:p>");
  const Xml_Element root = doc.root();
  EXPECT_THAT(texts(root.descendants(ns::kW, "t")),
              ElementsAre("A", "B1", "N1", "N2", "B2", "B3", "C"));
  // Nested alternates are chosen from too.
  EXPECT_THAT(texts(root.descendants(ns::kW, "t", Alternates::first_choice)),
              ElementsAre("A", "B1", "N1", "C"));
  EXPECT_EQ(root.descendants(ns::kMc, "Choice", Alternates::first_choice).size(), 2u);
  EXPECT_EQ(root.descendants(ns::kMc, "Fallback", Alternates::first_choice).size(), 0u);
}

TEST(XmlTest, RefusesDtdsAndExternalEntities) {
  const char* xxe =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><r>&e;</r>";
  try {
    Xml_Document::parse(xxe);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("document type"));
  }
  const char* laughs =
      "<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><l>&c;&c;&c;&c;</l>";
  EXPECT_THROW(Xml_Document::parse(laughs), Error);
}

TEST(XmlTest, ReportsMalformedInputWithLine) {
  try {
    Xml_Document::parse("<a>\n<b></a>");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("line 2"));
  }
  EXPECT_THROW(Xml_Document::parse(""), Error);
  EXPECT_THROW(Xml_Document::parse("<a xmlns:w=\"u\"><w:b/><c:d/></a>"), Error);  // unbound prefix
}

}  // namespace
}  // namespace travo::docx
