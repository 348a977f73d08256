#include "travo/harrow/spider_travo.h"

#include <algorithm>
#include <stdexcept>

#include "diag.h"
#include "travo/harrow/extract.h"
#include "travo/harrow/page_query.h"
#include "travo/harrow/proxy.h"
#include "travo/html/document.h"

namespace travo::harrow {
namespace {

// Runs a request, giving a network failure a message the user can read.
template <typename F>
http::Response request(const char* what, const std::string& site_note, F&& f) {
  try {
    return f();
  } catch (const http::Aborted&) {
    throw;  // a stop, not a network failure
  } catch (const http::Proxy_Error& e) {
    throw std::runtime_error(proxy_failure_message(e, what));  // not the site's failure
  } catch (const http::Error& e) {
    throw std::runtime_error(std::string("連線檢索網站失敗（") + what + "）：" + e.what() + "；" + site_note);
  }
}

}  // namespace

std::optional<Form_Post> read_form_post(std::string_view reply_html, const std::string& url,
                                        const std::string& search_text) {
  html::Document doc = html::Document::parse(reply_html);
  std::optional<html::Node> form = doc.select_first("form");
  if (!form) return std::nullopt;
  Form_Post post;
  const std::string action = form->attr("action").value_or("");
  try {
    post.target = action.empty() ? url : http::resolve(url, action);
  } catch (const http::Error& e) {
    throw std::runtime_error("檢索網站回覆的表單位址無效（" + action + "）：" + e.what());
  }
  for (const html::Node& input : form->find_all("input")) {
    const std::optional<std::string> name = input.attr("name");
    if (!name || name->empty()) continue;
    std::string value = input.attr("value").value_or("");
    auto same = std::find_if(post.fields.begin(), post.fields.end(),
                             [&](const auto& f) { return f.first == *name; });
    if (same != post.fields.end()) same->second = std::move(value);
    else post.fields.emplace_back(*name, std::move(value));
  }
  for (auto& [k, v] : post.fields) {
    if (k == kSearchField) v = search_text;
  }
  return post;
}

std::string site_origin(const std::string& site) {
  size_t scheme_end = std::string::npos;
  if (site.rfind("http://", 0) == 0) scheme_end = 7;
  else if (site.rfind("https://", 0) == 0) scheme_end = 8;
  if (scheme_end == std::string::npos || site.size() == scheme_end) {
    throw std::invalid_argument("檢索網站位址無效（須以 http:// 或 https:// 開頭）：" + site);
  }
  size_t host_end = site.find_first_of("/?#", scheme_end);
  if (host_end == std::string::npos) host_end = site.size();
  if (host_end == scheme_end) {
    throw std::invalid_argument("檢索網站位址沒有主機名稱：" + site);
  }
  return site.substr(0, host_end);
}

Spider_TRAVO::Spider_TRAVO(bool log_, const Spider_Config& config)
    : log(log_), session(config.http) {
  const std::string origin = site_origin(config.site);
  site_note_ = "檢索網站位址 " + config.site + (config.site_where.empty() ? "" : " " + config.site_where);
  url = origin + kEntryPath;
  headers = {{"User-Agent", kUserAgent}, {"Referer", url}, {"Origin", origin}};
  if (log) {
    http::Response r = request("讀取首頁", site_note_, [&] { return session.get(url, headers); });
    html::Document doc = html::Document::parse(r.body);
    diag_line("==== soup.prettify() 部分內容 ====");
    diag_line(html::first_chars(doc.prettify(), kLoggedPageChars));
  }
  payload = {{kSearchField, ""},
             {"_IMG_檢索.x", "1"},
             {"_IMG_檢索.y", "1"},
             {"__EVENTTARGET", ""},
             {"__EVENTARGUMENT", ""}};
}

void Spider_TRAVO::add_keyword(const std::string& keyword) {
  for (auto& [name, value] : payload) {
    if (name == kSearchField) {
      value = keyword;
      return;
    }
  }
  payload.insert(payload.begin(), {kSearchField, keyword});
}

void Spider_TRAVO::run() {
  http::Response first =
      request("送出檢索", site_note_, [&] { return session.post_form(url, payload, headers); });
  std::string search_text;
  for (const auto& [k, v] : payload) {
    if (k == kSearchField) search_text = v;
  }
  std::optional<Form_Post> post = read_form_post(first.body, url, search_text);
  if (!post) {
    diag_line("未找到 form，已完成查詢。");
    formless_reply = true;
    formless_reply_title = page_title(html::Document::parse(first.body));
    return;
  }
  resp_enter =
      request("送出檢索表單", site_note_, [&] { return session.post_form(post->target, post->fields, headers); });
}

void Spider_TRAVO::get_info() {
  if (!resp_enter) {
    // A site that answers the search with a notice instead of its form (a
    // maintenance page, a block) never reaches the first result page.
    if (formless_reply) throw std::runtime_error(unrecognised_page_message(1, formless_reply_title));
    throw std::runtime_error("檢索網站沒有回覆檢索結果頁，無法讀取 INFO");
  }
  html::Document doc = html::Document::parse(resp_enter->body);
  std::optional<std::string> value;
  for (const html::Node& input : doc.find_all("input")) {
    if (is_info_input(input)) {
      value = input.attr("value").value_or("");
      break;
    }
  }
  if (value) {
    diag_line("INFO 的 value = " + *value);
  } else {
    diag_line("找不到 INFO 欄位");
  }
  info_value = value.value_or("");
}

void Spider_TRAVO::to_patent(int pages, int code) {
  const std::string address = url + "?" + page_query(info_value, pages, code);
  resp_enter = request("讀取結果頁", site_note_, [&] { return session.get(address, headers); });
}

Page_Data Spider_TRAVO::get_data() {
  if (!resp_enter) throw std::runtime_error("尚未讀取任何結果頁");
  html::Document doc = html::Document::parse(resp_enter->body);
  Page_Data data = extract_hits(doc);
  if (!patents_number) {
    try {
      if (std::optional<std::string> count = find_count(doc)) {
        patents_number = *count;
        diag_line("專利數量 --> " + *count);
      }
    } catch (...) {
      // A count that cannot be read is looked for again on the next page.
    }
  }
  return data;
}

}  // namespace travo::harrow
