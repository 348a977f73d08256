#include "travo/harrow/extract.h"

#include <cctype>
#include <stdexcept>

namespace travo::harrow {
namespace {

void all_text(const html::Node& node, std::string& out) {
  for (const html::Node& child : node.children()) {
    if (child.is_text()) {
      out += child.text();
    } else if (child.is_element()) {
      if (child.name() == "br") out += '\n';
      else all_text(child, out);
    }
  }
}

std::string first_line(std::string s) {
  if (auto nl = s.find('\n'); nl != std::string::npos) s.erase(nl);
  return s;
}

}  // namespace

std::string applicant_text(const html::Node& cell) {
  std::string raw;
  all_text(cell, raw);
  const std::string trimmed = html::trim(raw);
  std::string out;
  size_t pos = 0;
  while (pos <= trimmed.size()) {
    size_t nl = trimmed.find('\n', pos);
    if (nl == std::string::npos) nl = trimmed.size();
    std::string line = html::trim(std::string_view(trimmed).substr(pos, nl - pos));
    if (!line.empty()) {
      if (!out.empty()) out += '\n';
      out += line;
    }
    pos = nl + 1;
  }
  if (auto semi = out.find(';'); semi != std::string::npos) out.erase(semi);
  return out;
}

Page_Data extract_hits(const html::Document& page) {
  Page_Data data;
  for (const html::Node& a : page.select("td.sumtd2_PN > a.link02")) {
    data.at("公開號").push_back(html::trim(a.text()));
  }
  for (const html::Node& div : page.select("div.divsum_TI")) {
    data.at("標題").push_back(first_line(html::trim(div.text())));
  }
  for (const html::Node& td : page.select("td.sumtd2_AD")) {
    data.at("申請日").push_back(html::trim(td.text()));
  }
  for (const html::Node& td : page.select("td.sumtd2_ID")) {
    data.at("公開(公告)日").push_back(html::trim(td.text()));
  }
  for (const html::Node& td : page.select("td.sumtd2_AN")) {
    data.at("申請號").push_back(html::trim(td.text()));
  }
  for (const html::Node& td : page.select("td.sumtd2_PA")) {
    data.at("申請人").push_back(applicant_text(td));
  }
  return data;
}

std::optional<std::string> find_count(const html::Document& page) {
  if (auto font = page.select_first("font.numfmt")) return html::trim(font->text());
  return std::nullopt;
}

bool is_info_input(const html::Node& input) {
  return input.attr("type") == std::optional<std::string>("hidden") &&
         input.attr("name") == std::optional<std::string>("INFO");
}

bool has_result_form(const html::Document& page) {
  for (const html::Node& form : page.find_all("form")) {
    for (const html::Node& input : form.find_all("input")) {
      if (is_info_input(input)) return true;
    }
  }
  return false;
}

std::optional<std::string> page_title(const html::Document& page) {
  const std::optional<html::Node> title = page.select_first("title");
  if (!title) return std::nullopt;
  std::string line;
  for (char c : title->text()) {
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    if (space) {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  line = html::trim(line);
  if (line.empty()) return std::nullopt;
  const std::string shown = html::first_chars(line, kMaxTitleChars);
  return shown.size() < line.size() ? shown + "…" : line;
}

std::string unrecognised_page_message(int page_number, const std::optional<std::string>& title) {
  std::string message = "檢索網站回覆了無法辨識的頁面（第 " + std::to_string(page_number) +
                        " 頁），可能網站維護中或已改版";
  if (title) message += "（" + *title + "）";
  return message;
}

long long parse_count(const std::string& count_text) {
  std::string digits;
  size_t i = 0;
  const std::string& s = count_text;
  while (i < s.size()) {
    if (s.compare(i, 3, "，") == 0) {
      i += 3;
    } else if (s[i] == ',' || std::isspace(static_cast<unsigned char>(s[i]))) {
      ++i;
    } else if (s.compare(i, 2, "\xC2\xA0") == 0) {
      i += 2;
    } else if (s.compare(i, 3, "\xE3\x80\x80") == 0) {
      i += 3;
    } else {
      digits += s[i++];
    }
  }
  bool ok = !digits.empty() && digits.size() <= 18;
  for (char c : digits) ok = ok && c >= '0' && c <= '9';
  if (!ok) throw std::invalid_argument("無法將專利數量「" + count_text + "」讀為整數");
  return std::stoll(digits);
}

}  // namespace travo::harrow
