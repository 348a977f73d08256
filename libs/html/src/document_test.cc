#include "travo/html/document.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

namespace travo::html {
namespace {

std::vector<std::string> texts(const std::vector<Node>& nodes) {
  std::vector<std::string> out;
  for (const Node& n : nodes) out.push_back(n.text());
  return out;
}

TEST(DocumentTest, ParsesMessyMarkupAndSelects) {
  // Unclosed <td>/<tr>, upper-case tags and attributes, unquoted attribute
  // values, misnested inline tags, entities.
  const Document doc = Document::parse(
      "<TABLE><TR><TD CLASS=sumtd2_PN><A class=link02 HREF=detail?id=1&amp;x=2>CN1234A</A>"
      "<TD class=sumtd2_AD>2020.01.02"
      "<TR><td class=\"sumtd2_PN\"><a class='link02'>CN5678B</a><td class=sumtd2_AD>2021.03.04"
      "</TABLE>"
      "<p><b><i>bold-italic</b> tail</i> &amp; &#x4E2D;&#25991; &lt;x&gt;&nbsp;end</p>");

  auto links = doc.select("td.sumtd2_PN > a.link02");
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].text(), "CN1234A");
  EXPECT_EQ(links[0].name(), "a");
  EXPECT_EQ(links[0].attr("href"), "detail?id=1&x=2");
  EXPECT_EQ(links[0].attr("HREF"), "detail?id=1&x=2");
  EXPECT_EQ(links[1].text(), "CN5678B");

  EXPECT_EQ(texts(doc.select("td.sumtd2_AD")), (std::vector<std::string>{"2020.01.02", "2021.03.04"}));
  EXPECT_EQ(doc.find_all("tr").size(), 2u);
  EXPECT_EQ(doc.find_all("TD").size(), 4u);

  auto p = doc.select_first("p");
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->text(), "bold-italic tail & \xE4\xB8\xAD\xE6\x96\x87 <x>\xC2\xA0" "end");
  EXPECT_EQ(doc.select("p b i").size(), 1u);
}

TEST(DocumentTest, TextConcatenatesNestedTextAndSkipsComments) {
  const Document doc =
      Document::parse("<div id=d>a<span>b<em>c</em></span><!-- hidden -->d &quot;e&quot;</div>");
  auto d = doc.select_first("#d");
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(d->text(), "abcd \"e\"");
  auto kids = d->children();
  ASSERT_EQ(kids.size(), 4u);
  EXPECT_TRUE(kids[0].is_text());
  EXPECT_EQ(kids[0].text(), "a");
  EXPECT_TRUE(kids[1].is_element());
  EXPECT_EQ(kids[1].name(), "span");
  EXPECT_TRUE(kids[2].is_comment());
  EXPECT_EQ(kids[2].text(), "");
  EXPECT_EQ(kids[0].name(), "");
  EXPECT_TRUE(kids[1].parent() == d);
  EXPECT_FALSE(doc.root().parent().has_value());
}

TEST(DocumentTest, InnerHtmlKeepsBrAndEscapes) {
  const Document doc = Document::parse(
      "<table><tr><td class=a>甲公司<br>乙公司</td>"
      "<td class=b>己 &amp; 庚<b>有限</b>公司</td>"
      "<td class=c>x<br/>y<BR>z</td>"
      "<td class=d><a href=\"q?a=1&amp;b=&quot;2&quot;\" title=\"中文\">t &lt; u</a></td>"
      "</tr></table>");
  EXPECT_EQ(doc.select_first("td.a")->inner_html(), "甲公司<br>乙公司");
  EXPECT_EQ(doc.select_first("td.b")->inner_html(), "己 &amp; 庚<b>有限</b>公司");
  EXPECT_EQ(doc.select_first("td.c")->inner_html(), "x<br>y<br>z");
  EXPECT_EQ(doc.select_first("td.d")->inner_html(),
            "<a href=\"q?a=1&amp;b=&quot;2&quot;\" title=\"中文\">t &lt; u</a>");
  EXPECT_EQ(doc.select_first("td.b")->outer_html(), "<td class=\"b\">己 &amp; 庚<b>有限</b>公司</td>");
}

TEST(DocumentTest, InnerHtmlWritesScriptRawAndCommentsAsComments) {
  const Document doc =
      Document::parse("<div id=x><script>if (a < b && c) {}</script><!--c--><p></p></div>");
  EXPECT_EQ(doc.select_first("#x")->inner_html(), "<script>if (a < b && c) {}</script><!--c--><p></p>");
}

TEST(DocumentTest, AttributesAndClasses) {
  const Document doc = Document::parse(
      "<div CLASS=\"  one\ttwo\n three \" data-x=\"a &amp; b\" empty=\"\" bare>x</div>");
  auto d = doc.select_first("div");
  ASSERT_TRUE(d.has_value());
  EXPECT_TRUE(d->has_class("one"));
  EXPECT_TRUE(d->has_class("two"));
  EXPECT_TRUE(d->has_class("three"));
  EXPECT_FALSE(d->has_class("on"));
  EXPECT_FALSE(d->has_class(""));
  EXPECT_EQ(d->attr("data-x"), "a & b");
  EXPECT_EQ(d->attr("Data-X"), "a & b");
  EXPECT_EQ(d->attr("empty"), "");
  EXPECT_TRUE(d->attr("bare").has_value());
  EXPECT_FALSE(d->attr("missing").has_value());
  EXPECT_FALSE(d->attr("").has_value());
}

TEST(DocumentTest, PrettifyIndentsOneSpacePerLevel) {
  const Document doc = Document::parse(
      "<html><head><title> T </title></head><body>"
      "<div class=\"a&quot;b\">  hello <b>big</b>\n  <br><input type=hidden name=INFO value='1&2'>"
      "<p></p>   </div><!-- note --></body></html>");
  EXPECT_EQ(doc.prettify(),
            "<html>\n"
            " <head>\n"
            "  <title>\n"
            "   T\n"
            "  </title>\n"
            " </head>\n"
            " <body>\n"
            "  <div class=\"a&quot;b\">\n"
            "   hello\n"
            "   <b>\n"
            "    big\n"
            "   </b>\n"
            "   <br>\n"
            "   <input type=\"hidden\" name=\"INFO\" value=\"1&amp;2\">\n"
            "   <p>\n"
            "   </p>\n"
            "  </div>\n"
            "  <!-- note -->\n"
            " </body>\n"
            "</html>\n");
}

TEST(DocumentTest, PrettifyKeepsDoctypeAndTrimsUnicodeSpace) {
  const Document doc = Document::parse("<!DOCTYPE html><p>\u3000x &amp; y\u00A0</p>");
  EXPECT_EQ(doc.prettify(),
            "<!DOCTYPE html>\n"
            "<html>\n"
            " <body>\n"
            "  <p>\n"
            "   x &amp; y\n"
            "  </p>\n"
            " </body>\n"
            "</html>\n");
  EXPECT_EQ(doc.select_first("p")->prettify(), "<p>\n x &amp; y\n</p>\n");
}

TEST(DocumentTest, EmptyAndJunkInputGiveUsableDocuments) {
  std::vector<std::string> inputs = {
      "",
      " ",
      std::string("\0", 1),
      std::string("a\0b<p>c\0d</p>", 13),
      "<",
      "</",
      "<!--",
      "<![CDATA[",
      "<a href='",
      "<td><td><tr></table></table>",
      "\xFF\xFE\x00\x01<\xC3",
      "&#0; &#xFFFFFFFF; &#55296; &#;",
  };
  std::mt19937 rng(42);
  for (int k = 0; k < 50; ++k) {
    std::string junk(static_cast<std::size_t>(rng() % 2000), '\0');
    for (char& c : junk) c = static_cast<char>(rng() & 0xFF);
    inputs.push_back(junk);
    std::string tagsoup;
    const char* pieces[] = {"<div", ">", "</div>", "<td ", "class=", "\"", "'", "&amp;", "&", "<!--",
                            "-->", "<br>", "<table>", "</tr>", " ", "x", "\xE4\xB8\xAD", "<script>", "</"};
    for (int i = 0; i < 300; ++i) tagsoup += pieces[rng() % (sizeof pieces / sizeof *pieces)];
    inputs.push_back(tagsoup);
  }
  for (const std::string& in : inputs) {
    const Document doc = Document::parse(in);
    Node root = doc.root();
    ASSERT_NE(root.raw(), nullptr);
    (void)root.text();
    (void)root.inner_html();
    (void)doc.prettify();
    (void)doc.select("div td.a > b, *");
    (void)doc.find_all("td");
    for (const Node& n : doc.select("*")) {
      (void)n.name();
      (void)n.attr("class");
      (void)n.inner_html();
    }
  }
  EXPECT_EQ(Document::parse("").root().text(), "");
  EXPECT_TRUE(Document::parse("").select("*").empty());
  EXPECT_EQ(Document::parse("").prettify(), "");
  EXPECT_EQ(Document::parse(std::string("a\0b", 3)).root().text(), "a b");
}

TEST(DocumentTest, HugeNestingDoesNotCrash) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<div><span>";
  deep += "x";
  const Document doc = Document::parse(deep);
  EXPECT_FALSE(doc.find_all("div").empty());
  (void)doc.root().text();
  (void)doc.root().inner_html();
  (void)doc.prettify();
  (void)doc.select("div div span");
  (void)doc.select("div > span > div span");
}

TEST(DocumentTest, MovesTransferOwnership) {
  Document a = Document::parse("<p>one</p>");
  Node p = *a.select_first("p");
  Document b = std::move(a);
  EXPECT_EQ(p.text(), "one");
  EXPECT_EQ(b.select_first("p")->text(), "one");
  Document c = Document::parse("<p>two</p>");
  c = std::move(b);
  EXPECT_EQ(c.select_first("p")->text(), "one");
  // A moved-from document behaves as an empty one.
  EXPECT_EQ(a.root().raw(), nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_TRUE(a.select("p").empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(a.prettify(), "");         // NOLINT(bugprone-use-after-move)
}

TEST(DocumentTest, NullNodeIsHarmless) {
  Node n(nullptr);
  EXPECT_EQ(n.name() + n.text() + n.inner_html() + n.outer_html() + n.prettify(), "");
  EXPECT_FALSE(n.attr("x").has_value());
  EXPECT_FALSE(n.parent().has_value());
  EXPECT_TRUE(n.children().empty());
  EXPECT_TRUE(n.select("a").empty());
  EXPECT_TRUE(n.find_all("a").empty());
}

TEST(DocumentTest, ParsesConcurrentlyOnWorkerThreads) {
  std::vector<std::thread> threads;
  std::vector<int> counts(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &counts] {
      for (int i = 0; i < 200; ++i) {
        const Document doc = Document::parse("<table><tr><td class=a>1<td class=a>2</table>");
        counts[static_cast<std::size_t>(t)] += static_cast<int>(doc.select("td.a").size());
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int c : counts) EXPECT_EQ(c, 400);
}

}  // namespace
}  // namespace travo::html
