#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "travo/html/document.h"

namespace travo::html {
namespace {

std::vector<std::string> ids(const std::vector<Node>& nodes) {
  std::vector<std::string> out;
  for (const Node& n : nodes) out.push_back(n.attr("id").value_or("?"));
  return out;
}

using V = std::vector<std::string>;

// A shape like the result pages the app reads.
constexpr const char* kPage = R"(
<form><input type=hidden name=INFO value="a&amp;b"><input type="hidden" name="OTHER" value="x">
<input type=text name=INFO value=t></form>
<table>
 <tr><td class="sumtd2_PN" id=pn1><a class="link02" id=l1 href="#1">CN1</a>
        <span><a class="link02" id=l1b>nested</a></span></td>
     <td class="sumtd2_AD" id=ad1><font class="numfmt" id=f1>2020.01.02</font></td></tr>
 <tr><td class="sumtd2_PN other" id=pn2><a class="link02 x" id=l2>CN2</a></td>
     <td class="sumtd2_AD" id=ad2>2021</td></tr>
</table>
<div class="divsum_TI" id=ti1>Title <b id=b1>one</b></div>
<div class="divsum_TI extra" id=ti2>Title two</div>
)";

TEST(SelectorTest, SelectorsUsedByTheApp) {
  const Document doc = Document::parse(kPage);
  EXPECT_EQ(ids(doc.select("td.sumtd2_PN > a.link02")), (V{"l1", "l2"}));
  EXPECT_EQ(ids(doc.select("div.divsum_TI")), (V{"ti1", "ti2"}));
  EXPECT_EQ(ids(doc.select("td.sumtd2_AD")), (V{"ad1", "ad2"}));
  EXPECT_EQ(ids(doc.select("font.numfmt")), (V{"f1"}));
  auto info = doc.select("input[type=hidden][name=INFO]");
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].attr("value"), "a&b");
  EXPECT_EQ(doc.select("input[type=\"hidden\"][name='INFO']").size(), 1u);
}

TEST(SelectorTest, ChildVersusDescendant) {
  const Document doc = Document::parse(kPage);
  EXPECT_EQ(ids(doc.select("td.sumtd2_PN > a")), (V{"l1", "l2"}));
  EXPECT_EQ(ids(doc.select("td.sumtd2_PN a")), (V{"l1", "l1b", "l2"}));
  EXPECT_EQ(ids(doc.select("td.sumtd2_PN>a")), (V{"l1", "l2"}));
  EXPECT_EQ(ids(doc.select("table td > span > a")), (V{"l1b"}));
  EXPECT_EQ(ids(doc.select("tr > a")), V{});
  EXPECT_EQ(ids(doc.select("tr a")), (V{"l1", "l1b", "l2"}));
}

TEST(SelectorTest, BacktracksAcrossChildCombinators) {
  // The nearest div ancestor of the span is not a child of a section; a
  // farther one is.
  const Document doc = Document::parse(
      "<section><div><article><div><span id=s1></span></div></article></div></section>"
      "<section><article><div><span id=s2></span></div></article></section>");
  EXPECT_EQ(ids(doc.select("section > div span")), (V{"s1"}));
  EXPECT_EQ(ids(doc.select("section div span")), (V{"s1", "s2"}));
}

TEST(SelectorTest, CompoundsClassesIdsAndAttributes) {
  const Document doc = Document::parse(kPage);
  EXPECT_EQ(ids(doc.select("td.sumtd2_PN.other")), (V{"pn2"}));
  EXPECT_EQ(ids(doc.select(".other.sumtd2_PN")), (V{"pn2"}));
  EXPECT_EQ(ids(doc.select("a.link02.x")), (V{"l2"}));
  EXPECT_EQ(ids(doc.select("#ti2")), (V{"ti2"}));
  EXPECT_EQ(ids(doc.select("div#ti2.extra")), (V{"ti2"}));
  EXPECT_EQ(ids(doc.select("span#ti2")), V{});
  EXPECT_EQ(ids(doc.select("a[href]")), (V{"l1"}));
  EXPECT_EQ(ids(doc.select("[href='#1']")), (V{"l1"}));
  EXPECT_EQ(ids(doc.select("a[href=\"#2\"]")), V{});
  EXPECT_EQ(ids(doc.select("[ id = pn2 ]")), (V{"pn2"}));
  EXPECT_EQ(ids(doc.select(".divsum_ti")), V{});  // class values are case-sensitive
  EXPECT_EQ(doc.select("*").size(), doc.select("html, html *").size());
}

TEST(SelectorTest, TagAndAttributeNamesAreCaseInsensitive) {
  const Document doc = Document::parse("<TABLE><TR><TD CLASS=sumtd2_PN ID=x>1</TD></TR></TABLE>");
  EXPECT_EQ(ids(doc.select("TD.sumtd2_PN")), (V{"x"}));
  EXPECT_EQ(ids(doc.select("td.sumtd2_PN")), (V{"x"}));
  EXPECT_EQ(ids(doc.select("Tr > td[CLASS=sumtd2_PN]")), (V{"x"}));
  EXPECT_EQ(doc.find_all("Td").size(), 1u);
}

TEST(SelectorTest, ListsComeInDocumentOrderWithoutDuplicates) {
  const Document doc = Document::parse(kPage);
  EXPECT_EQ(ids(doc.select("div.divsum_TI, td.sumtd2_PN")), (V{"pn1", "pn2", "ti1", "ti2"}));
  EXPECT_EQ(ids(doc.select("#ti2 , div.divsum_TI,#ti1")), (V{"ti1", "ti2"}));
  EXPECT_EQ(ids(doc.select("font, td.sumtd2_AD")), (V{"ad1", "f1", "ad2"}));
}

TEST(SelectorTest, SelectsDescendantsOfTheNodeOnly) {
  const Document doc = Document::parse(kPage);
  auto rows = doc.select("tr");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(ids(rows[1].select("a.link02")), (V{"l2"}));
  EXPECT_EQ(ids(rows[1].select("td")), (V{"pn2", "ad2"}));
  EXPECT_TRUE(rows[1].select("tr").empty());  // not the node itself
  // Ancestors outside the node still count, as in querySelectorAll.
  EXPECT_EQ(ids(rows[1].select("table td > a")), (V{"l2"}));
  auto first = rows[0].select_first("a");
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->attr("id"), "l1");
  EXPECT_FALSE(rows[0].select_first("div").has_value());
  EXPECT_EQ(ids(rows[0].find_all("a")), (V{"l1", "l1b"}));
}

TEST(SelectorTest, EscapesAndNonAsciiNames) {
  const Document doc = Document::parse("<p class=\"a:b 中文\" id=\"1x\">x</p>");
  EXPECT_EQ(doc.select("p.a\\:b").size(), 1u);
  EXPECT_EQ(doc.select(".中文").size(), 1u);
  EXPECT_EQ(doc.select("#\\31 x").size(), 1u);
  EXPECT_EQ(doc.select("[class=\"a:b \\4E2D\xE6\x96\x87\"]").size(), 1u);
}

void expect_error(const std::string& sel, const std::string& fragment) {
  const Document doc = Document::parse("<p>x</p>");
  try {
    (void)doc.select(sel);
    ADD_FAILURE() << "no Selector_Error for \"" << sel << "\"";
  } catch (const Selector_Error& e) {
    const std::string msg = e.what();
    EXPECT_NE(msg.find(sel), std::string::npos) << msg;
    EXPECT_NE(msg.find(fragment), std::string::npos) << msg;
  }
  EXPECT_THROW((void)doc.select_first(sel), Selector_Error);
  EXPECT_THROW((void)doc.root().select(sel), Selector_Error);
}

TEST(SelectorTest, UnsupportedSelectorsThrow) {
  expect_error("a:hover", "':hover'");
  expect_error("td:nth-child(2)", "':nth-child'");
  expect_error("p::before", "'::before'");
  expect_error("h1 + p", "'+'");
  expect_error("h1+p", "'+'");
  expect_error("h1 ~ p", "'~'");
  expect_error("a[href^=http]", "'^='");
  expect_error("a[href$=x]", "'$='");
  expect_error("a[href*=x]", "'*='");
  expect_error("a[class~=x]", "'~='");
  expect_error("a[lang|=en]", "'|='");
  expect_error("a[href=x i]", "flags");
  expect_error("svg|a", "namespace");
  expect_error("*|a", "namespace");
}

TEST(SelectorTest, MalformedSelectorsThrow) {
  expect_error("", "empty");
  expect_error("   ", "empty");
  expect_error("a,", "after ','");
  expect_error(",a", "before ','");
  expect_error("a,,b", "after ','");
  expect_error("> a", "'>'");
  expect_error("a >", "after '>'");
  expect_error("a > > b", "two combinators");
  expect_error("a.", "class name");
  expect_error("#", "id");
  expect_error("a[", "attribute name");
  expect_error("a[href", "unterminated");
  expect_error("a[href=]", "value");
  expect_error("a[href=\"x]", "unterminated string");
  expect_error("a]", "']'");
  expect_error("a(b)", "'('");
  expect_error("a!", "'!'");
  expect_error("a\\", "escape");
}

}  // namespace
}  // namespace travo::html
