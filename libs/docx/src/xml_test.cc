#include "docx/xml.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "docx/error.h"
#include "docx/namespaces.h"

namespace docx {
namespace {

using ::testing::HasSubstr;

TEST(XmlTest, FindsElementsByNamespaceNotPrefix) {
  auto doc = XmlDocument::parse(
      "<x:p xmlns:x=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
      "<x:r><x:t>A</x:t><x:br x:type=\"page\"/></x:r>"
      "<x:ins><x:r><x:t>B</x:t></x:r></x:ins>"
      "<other:r xmlns:other=\"urn:other\"><x:t>C</x:t></other:r></x:p>");
  XmlElement root = doc.root();
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

TEST(XmlTest, RefusesDtdsAndExternalEntities) {
  const char* xxe =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><r>&e;</r>";
  try {
    XmlDocument::parse(xxe);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("document type"));
  }
  const char* laughs =
      "<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><l>&c;&c;&c;&c;</l>";
  EXPECT_THROW(XmlDocument::parse(laughs), Error);
}

TEST(XmlTest, ReportsMalformedInputWithLine) {
  try {
    XmlDocument::parse("<a>\n<b></a>");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("line 2"));
  }
  EXPECT_THROW(XmlDocument::parse(""), Error);
  EXPECT_THROW(XmlDocument::parse("<a xmlns:w=\"u\"><w:b/><c:d/></a>"), Error);  // unbound prefix
}

}  // namespace
}  // namespace docx
