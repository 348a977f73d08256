// Times the result-page workload: parse a page with 10 hits and run the six
// selectors the app runs on it.
//
// Usage: html_bench [ITERATIONS] [PAGE.html]
// Without PAGE, a generated page of about 20 KB is used.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "travo/html/document.h"

namespace {

std::string make_page() {
  std::string page =
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\">\n<HTML><HEAD>"
      "<META http-equiv=Content-Type content=\"text/html; charset=utf-8\">"
      "<TITLE>檢索結果</TITLE><LINK rel=stylesheet href=\"/css/main.css\">"
      "<script>function go(n){ if (n < 1 && n > 0) return; document.forms[0].submit(); }</script>"
      "</HEAD><BODY><form name=form1 method=post action=\"/tipo/search\">"
      "<input type=hidden name=INFO value=\"sid=12345&amp;page=1&amp;q=%E5%85%89\">"
      "<input type=hidden name=STATE value=1>\n"
      "<table class=listTable width=100% border=0 cellpadding=2>\n";
  for (int i = 0; i < 10; ++i) {
    const std::string n = std::to_string(i);
    page +=
        "<tr class=sumtr1><td class=sumtd1 width=3%><input type=checkbox name=chk value=" + n +
        "></td>\n<td class=sumtd2_PN nowrap><a class=link02 href=\"/tipo/detail?id=" + n +
        "&amp;sid=12345\" target=_blank>I6" + n +
        "1234</a>&nbsp;<img src=\"/img/pdf.gif\" alt=PDF></td>\n"
        "<td class=sumtd2_AD>2019/0" + n + "/15</td><td class=sumtd2_ID>2021/03/0" + n +
        "</td>\n<td class=sumtd2_AX>甲股份有限公司<br>乙大學<br>丙 &amp; 丁研究所</td>\n"
        "<td class=sumtd2_IN>王小明；李大華；陳<b>美</b>玲</td>\n"
        "<td class=sumtd2_IC><font class=numfmt>H01L 21/02</font>; <font class=numfmt>G06F 3/041"
        "</font></td></tr>\n<tr class=sumtr2><td colspan=7><div class=divsum_TI>"
        "半導體裝置及其製造方法，包含基板、閘極結構與源極／汲極區域，其中閘極結構具有高介電常數材料層"
        "</div><div class=divsum_AB>一種半導體裝置，包括：基板；位於基板上的閘極堆疊，閘極堆疊包含界面層、"
        "高介電常數介電層以及金屬閘極電極；以及位於閘極堆疊兩側的源極／汲極磊晶區域。本發明可降低漏電流"
        "並提升元件可靠度。<span class=hl>光</span>學元件<span class=hl>光</span>源模組。"
        "此外，該半導體裝置更包括一層間介電層，覆蓋於閘極堆疊與源極／汲極磊晶區域之上，並具有複數個"
        "接觸開口；複數個接觸插塞分別填入接觸開口中，並與源極／汲極磊晶區域電性連接。閘極堆疊的側壁上"
        "設有間隙壁，間隙壁包含氮化矽或氮氧化矽等材料，用以隔離閘極電極與接觸插塞，避免短路。本發明之"
        "製造方法包括：提供基板；形成虛設閘極；形成間隙壁；磊晶成長源極／汲極區域；移除虛設閘極並形成"
        "金屬閘極；以及形成接觸插塞等步驟，藉此達成較小的元件尺寸與較佳的電性表現。</div>"
        "<!-- hit " + n + " --></td></tr>\n";
  }
  page +=
      "</table><div class=pager><a href=\"javascript:go(1)\">1</a> <a href=\"javascript:go(2)\">2"
      "</a></div></form></BODY></HTML>\n";
  return page;
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  std::string page;
  if (argc > 2) {
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "html_bench: cannot read %s\n", argv[2]);
      return 1;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    page = buf.str();
  } else {
    page = make_page();
  }
  const char* selectors[] = {"td.sumtd2_PN > a.link02", "div.divsum_TI", "td.sumtd2_AD",
                             "font.numfmt", "input[type=hidden][name=INFO]", "td.sumtd2_AX"};
  std::size_t found = 0;
  using clock = std::chrono::steady_clock;
  clock::duration parse_time{}, select_time{};
  for (int i = 0; i < iterations; ++i) {
    auto t0 = clock::now();
    travo::html::Document doc = travo::html::Document::parse(page);
    auto t1 = clock::now();
    for (const char* s : selectors) found += doc.select(s).size();
    auto t2 = clock::now();
    parse_time += t1 - t0;
    select_time += t2 - t1;
  }
  auto us = [&](clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count() / iterations;
  };
  std::printf("page %zu bytes, %zu matches per iteration\n", page.size(),
              found / static_cast<std::size_t>(iterations));
  std::printf("parse %.1f us, 6 selectors %.1f us, total %.1f us\n", us(parse_time), us(select_time),
              us(parse_time + select_time));
  return 0;
}
