#include "travo/patent_site/pages.h"

#include <cstdint>

#include "travo/patent_site/info_code.h"
#include "travo/patent_site/web_text.h"
#include "travo/text/ascii.h"

namespace travo::patent_site {
namespace {

void head(std::string& out, std::string_view title) {
  out +=
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
      "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
      "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"zh-TW\">\n"
      "<HEAD><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n"
      "<title>";
  out += title;
  out +=
      "</title>\n"
      "<link href=\"/travo2/css/travo.css\" rel=\"stylesheet\" type=\"text/css\" />\n"
      "<script type=\"text/javascript\">\n"
      "//<![CDATA[\n"
      "var theForm = document.forms['form1'];\n"
      "function __doPostBack(eventTarget, eventArgument) {\n"
      "  if (!theForm.onsubmit || (theForm.onsubmit() != false)) {\n"
      "    theForm.__EVENTTARGET.value = eventTarget;\n"
      "    theForm.__EVENTARGUMENT.value = eventArgument;\n"
      "    theForm.submit();\n"
      "  }\n"
      "}\n"
      "var rowTemplate = '<td class=\"sumtd2_PN\"><a class=\"link02\" href=\"#\">TW000000<\\/a><\\/td>';\n"
      "//]]>\n"
      "</script>\n"
      "</HEAD>\n"
      "<body class=\"bodybg\">\n"
      "<div id=\"header\"><a href=\"/travo2/index.htm\" class=\"toplink\">回首頁</a> | "
      "<A HREF=\"/travo2/help.htm\">說明</A></div>\n";
}

void postback_state(std::string& out, std::string_view viewstate) {
  out +=
      "<div class=\"aspNetHidden\">\n"
      "<input type=\"hidden\" name=\"__EVENTTARGET\" id=\"__EVENTTARGET\" value=\"\" />\n"
      "<input type=\"hidden\" name=\"__EVENTARGUMENT\" id=\"__EVENTARGUMENT\" value=\"\" />\n"
      "<input type=\"hidden\" name=\"__VIEWSTATE\" id=\"__VIEWSTATE\" value=\"";
  out += html_escape(viewstate);
  out += "\" />\n</div>\n";
}

void search_row(std::string& out, std::string_view search_text) {
  out +=
      "<TABLE class=\"search_tb\" cellspacing=\"0\" border=\"0\">\n"
      "<TR><td class=\"label\">檢索式</td>\n"
      "<td><input name=\"_21_1_T\" type=\"text\" value=\"";
  out += html_escape(search_text);
  out +=
      "\" id=\"_21_1_T\" class=\"inputtxt\" size=\"60\" /></td>\n"
      "<td><input type=\"image\" name=\"_IMG_檢索\" id=\"_IMG_檢索\" "
      "src=\"/travo2/images/btn_search.gif\" alt=\"檢索\" style=\"border-width:0px;\" /></td>\n"
      "<td><input type=\"button\" value=\"清除\" "
      "onclick=\"document.getElementById('_21_1_T').value='';\" /></td></TR>\n";
}

void tail(std::string& out) {
  out +=
      "<div id=\"footer\">\n"
      "<P>&copy; 經濟部智慧財產局 TRAVO 測試站 &nbsp;|&nbsp; 服務電話 (02)2376-7000\n"
      "</div>\n"
      "</body>\n</html>\n";
}

// The first character of a UTF-8 text as a numeric character reference,
// followed by the rest escaped.
std::string escape_with_reference(std::string_view text) {
  if (text.empty()) return {};
  const auto b = static_cast<unsigned char>(text[0]);
  size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
  if (len > text.size()) len = 1;
  std::uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (size_t i = 1; i < len; ++i) cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
  return "&#" + std::to_string(cp) + ";" + html_escape(text.substr(len));
}

void hit_row(std::string& out, const Result_View& view, const Patent& p, size_t rank,
             bool with_title) {
  const std::string pn = html_escape(p.publication_number);
  const std::string n = std::to_string(rank + 1);
  out += rank % 2 == 0 ? "<tr class=\"sumtr1\">\n" : "<tr class=\"sumtr2\">\n";
  out += "<td class=\"sumtd2_CB\"><input type=\"checkbox\" name=\"_CHK_" + n + "\" value=\"" + pn +
         "\" /></td>\n";
  out += "<td class=\"sumtd2_NO\">" + n + ".</td>\n";
  out += "<td class=\"sumtd2_PN\"><a class=\"link02\" href=\"travobkm?";
  out += html_escape(view.action.substr(view.action.find('?') + 1));
  out += "&amp;PN=" + pn + "\" target=\"_blank\">" + pn + "</a></td>\n";

  out += "<td class=\"sumtd2_TI\">";
  out += with_title ? "<div class=\"divsum_TI\">" : "<div class=\"divsum_NT\">";
  out += "\n\t\t\t\t\t\t";
  out += rank % 8 == 5 ? escape_with_reference(p.title) : html_escape(p.title);
  if (view.invalid_utf8) out += " \xB4\xFA\xB8\xD5";  // "測試" in Big5
  if (!p.english_title.empty()) {
    out += "\n\t\t\t\t\t\t";
    out += html_escape(p.english_title);
  }
  out += "\n\t\t\t\t\t</div><span class=\"divsum_TI\">IPC: H01L</span></td>\n";

  out += rank % 4 == 2 ? "<td class=\"sumtd2_AD center\">" : "<td class=\"sumtd2_AD\">";
  out += p.application_date + "</td>\n";
  out += "<td class=\"sumtd2_ID\">" + p.publication_date;
  out += rank % 6 == 4 ? "&nbsp;</td>\n" : "</td>\n";
  out += rank % 3 == 1 ? "<TD class=\"sumtd2_AN\">" + p.application_number + "</TD>\n"
                       : "<td class=\"sumtd2_AN\">" + p.application_number + "</td>\n";
  out += "<td class=\"sumtd2_PA\">" + applicant_cell_markup(p) + "</td>\n";
  out += "</tr>\n";
}

}  // namespace

std::string search_page(std::string_view viewstate) {
  std::string out;
  out.reserve(4096);
  head(out, "中華民國專利資訊檢索系統－簡易檢索");
  out += "<form name=\"form1\" method=\"post\" action=\"travobkm\" id=\"form1\">\n";
  postback_state(out, viewstate);
  search_row(out, "");
  out += "</TABLE>\n<p>請輸入關鍵字，多個關鍵字以空白分隔。\n</form>\n";
  tail(out);
  return out;
}

std::string reply_form_page(const Reply_Form& form) {
  std::string out;
  out.reserve(6144);
  head(out, "中華民國專利資訊檢索系統－檢索");
  out += "<form name=\"form1\" method=\"post\" action=\"";
  out += html_escape(form.action);
  out += "\" id=\"form1\">\n";
  postback_state(out, form.viewstate);
  out +=
      "<div class=\"aspNetHidden\">\n"
      "\t<input type=\"hidden\" name=\"__VIEWSTATEGENERATOR\" id=\"__VIEWSTATEGENERATOR\" value=\"";
  out += kViewStateGenerator;
  out += "\" />\n</div>\n";
  search_row(out, form.search_text);
  out +=
      "<tr><td class=\"label\">排序</td><td><select name=\"_SORT\" id=\"_SORT\">"
      "<option selected=\"selected\" value=\"PD\">公告日</option>"
      "<option value=\"PN\">公開號</option></select>\n"
      "<input type=\"checkbox\" name=\"\" value=\"on\" /> 只查發明\n"
      "</td></tr>\n"
      "<tr><td class=\"label\">備註</td><td><textarea name=\"_MEMO\" rows=\"2\" cols=\"40\">\n"
      "</textarea></td></tr>\n"
      "</TABLE>\n"
      "<p class=\"hint\">檢索處理中，請按「檢索」繼續 &raquo;\n"
      "</form>\n"
      "<div id=\"feedback_box\">\n"
      "<form name=\"feedback\" method=\"post\" action=\"/travo2/feedback.aspx\" id=\"feedback\">\n"
      "<input type=\"hidden\" name=\"__VIEWSTATE\" value=\"/wEPDwUKLTk0MTQ4NjA0OGRk\" />\n"
      "<input type=\"text\" name=\"fb_mail\" value=\"\" />"
      "<input type=\"submit\" name=\"fb_send\" value=\"送出意見\" />\n"
      "</form>\n</div>\n";
  tail(out);
  return out;
}

std::string busy_page() {
  std::string out;
  head(out, "中華民國專利資訊檢索系統");
  out += "<div class=\"msg\"><p>系統忙碌中，請稍後再試。\n<p>System busy.\n</div>\n";
  tail(out);
  return out;
}

std::string captcha_page(std::string_view action) {
  std::string out;
  head(out, "安全驗證－請輸入驗證碼");
  out += "<form name=\"captcha\" method=\"post\" action=\"";
  out += html_escape(action);
  out += "\">\n<div class=\"msg\"><p>為確認您不是自動程式，請輸入下圖中的驗證碼。\n"
         "<p><img src=\"captcha.ashx?r=1\" alt=\"驗證碼\" width=\"120\" height=\"40\">\n"
         "<p><input type=\"text\" name=\"CAPTCHA\" maxlength=\"6\"> "
         "<input type=\"submit\" value=\"確定\">\n</div>\n</form>\n";
  tail(out);
  return out;
}

std::string maintenance_page() {
  return "<!DOCTYPE html>\n<html lang=\"zh-TW\"><head><meta charset=\"utf-8\">"
         "<title>系統維護中</title></head>\n<body>\n<h1>系統維護公告</h1>\n"
         "<p>本系統進行例行維護，暫停服務，造成不便敬請見諒。\n"
         "<p>The system is under maintenance.\n</body></html>\n";
}

std::string result_page(const Result_View& view) {
  std::string out;
  out.reserve(8192 + view.hits.size() * 1200);
  head(out, "中華民國專利資訊檢索系統－檢索結果");
  out += "<form name=\"form1\" method=\"post\" action=\"";
  out += html_escape(view.action);
  out += "\" id=\"form1\">\n";
  postback_state(out, view.viewstate);
  out += "<input type=\"hidden\" name=\"INFO\" value=\"";
  out += html_escape(view.info);
  out += "\" />\n";

  out += "<div class=\"sumhead\">\n<p>每頁顯示 <span class=\"numfmt\">10</span> 筆";
  if (view.show_count) {
    out += "，檢索結果：共 <font class=\"numfmt\">";
    out += html_escape(view.count_text);
    out += "</font> 筆";
  }
  out += "\n<p>目前在第 <b>" + std::to_string(view.page + 1) + "</b> 頁\n</div>\n";

  out +=
      "<table class=\"sumtable\" cellspacing=\"0\" cellpadding=\"2\" border=\"1\" width=\"100%\">\n"
      "<tr class=\"sumtr_h\"><th class=\"sumth\">&nbsp;</th><th class=\"sumth\">序號</th>"
      "<th class=\"sumth sumth_PN\">公開/公告號</th><th class=\"sumth\">專利名稱</th>"
      "<th class=\"sumth\">申請日</th><th class=\"sumth\">公開/公告日</th>"
      "<th class=\"sumth\">申請號</th><th class=\"sumth\">申請人</th></tr>\n";
  for (size_t i = 0; i < view.hits.size(); ++i) {
    const bool with_title = !(view.drop_last_title && i + 1 == view.hits.size());
    hit_row(out, view, *view.hits[i], view.first_rank + i, with_title);
  }
  out +=
      "<tr class=\"sumtr_f\"><td class=\"sumtd2_PN\" colspan=\"8\">"
      "<span><a class=\"link02\" href=\"#top\">回頁首</a></span></td></tr>\n"
      "</table>\n";

  out += "<table class=\"pager\"><tr><td class=\"pager\">";
  if (view.page > 0) {
    out += "<a class=\"link02\" href=\"travobkm?" +
           html_escape(page_query(view.info, view.page - 1)) + "\">上一頁</a> | ";
  }
  out += "第 " + std::to_string(view.page + 1) + " 頁";
  if (view.first_rank + view.hits.size() < view.total_hits) {
    out += " | <a class=\"link02\" href=\"travobkm?" +
           html_escape(page_query(view.info, view.page + 1)) + "\">下一頁</a>";
  }
  out += "</td></tr></table>\n</form>\n";
  tail(out);
  return out;
}

std::string error_page(int status, std::string_view message) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"zh-TW\"><head><meta charset=\"utf-8\">"
      "<title>系統訊息</title></head>\n<body>\n<h1>系統訊息</h1>\n<p class=\"errmsg\">";
  out += html_escape(message);
  out += "</p>\n<p>HTTP " + std::to_string(status) + "\n</body></html>\n";
  return out;
}

std::string format_count(size_t n, bool separators) {
  std::string digits = std::to_string(n);
  if (!separators) return digits;
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string applicant_cell_markup(const Patent& patent) {
  const auto& names = patent.applicants;
  std::string out;
  switch (patent.layout) {
    case Applicant_Layout::single:
      for (const auto& a : names) out += html_escape(a);
      break;
    case Applicant_Layout::lines:
      // Indented as a template engine writes it; a trailing break after three
      // names leaves an empty line that readers must drop.
      for (size_t i = 0; i < names.size(); ++i) {
        out += "\n\t\t\t\t\t";
        out += html_escape(names[i]);
        if (i + 1 < names.size() || names.size() == 3) out += "<br>";
      }
      out += "\n\t\t\t\t";
      break;
    case Applicant_Layout::semicolons:
      for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += names.size() == 2 ? ";" : "; ";
        out += html_escape(names[i]);
      }
      break;
  }
  return out;
}

std::string extracted_applicant(const Patent& patent) {
  std::string markup = applicant_cell_markup(patent);
  for (size_t pos; (pos = markup.find("<br>")) != std::string::npos;) markup.replace(pos, 4, "\n");
  std::string joined;
  const std::string_view text = markup;
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text::trim_ascii(text.substr(start, end - start));
    if (!line.empty()) {
      if (!joined.empty()) joined.push_back('\n');
      joined += line;
    }
    start = end + 1;
  }
  return joined.substr(0, joined.find(';'));
}

}  // namespace travo::patent_site
