#include "travo/patent_site/patent_site.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <regex>
#include <set>
#include <thread>

#include "travo/patent_site/info_code.h"
#include "travo/platform/eventually.h"
#include "travo/patent_site/web_text.h"

namespace travo::patent_site {
namespace {

using platform::test_support::eventually;

const std::string kEntry(kEntryPath);

struct Reply {
  int status = 0;  // 0: no response (connection failed or cut)
  std::string body;
  httplib::Headers headers;
  std::string header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? "" : it->second;
  }
};

// A minimal browser: one cookie, form posts in field order, raw targets.
class Browser {
 public:
  explicit Browser(const Patent_Site& site) : client_(site.options().host, site.port()) {
    // Bounds for a broken build only: a stalled page must be ended by the
    // site, not by the browser giving up first on a busy machine.
    client_.set_connection_timeout(60, 0);
    client_.set_read_timeout(120, 0);
    client_.set_url_encode(false);
  }
  Reply post(const std::string& target, const Fields& fields,
             const std::string& type = "application/x-www-form-urlencoded") {
    return keep(client_.Post(target.c_str(), headers(), encode_form(fields), type.c_str()));
  }
  Reply get(const std::string& target) { return keep(client_.Get(target.c_str(), headers())); }
  httplib::Client& client() { return client_; }

  std::string cookie;  // "TRAVOSID=..." or empty

 private:
  httplib::Headers headers() const {
    httplib::Headers h{{"Referer", "http://127.0.0.1/travo2/travokmc/travobkm"}};
    if (!cookie.empty()) h.emplace("Cookie", cookie);
    return h;
  }
  Reply keep(const httplib::Result& r) {
    Reply reply;
    if (!r) return reply;
    reply.status = r->status;
    reply.body = r->body;
    reply.headers = r->headers;
    const std::string set = r->get_header_value("Set-Cookie");
    if (!set.empty()) cookie = set.substr(0, set.find(';'));
    return reply;
  }
  httplib::Client client_;
};

Fields first_post_fields(const std::string& text) {
  return {{"_21_1_T", text},
          {"_IMG_檢索.x", "1"},
          {"_IMG_檢索.y", "1"},
          {"__EVENTTARGET", ""},
          {"__EVENTARGUMENT", ""}};
}

std::string first_form(const std::string& html) {
  const size_t start = html.find("<form");
  if (start == std::string::npos) return {};
  return html.substr(start, html.find("</form>", start) - start);
}

std::optional<std::string> attribute(const std::string& tag, const std::string& name) {
  std::smatch m;
  if (std::regex_search(tag, m, std::regex("\\s" + name + "=\"([^\"]*)\""))) return m[1];
  return std::nullopt;
}

std::vector<std::string> tags(const std::string& html, const std::string& tag) {
  std::vector<std::string> out;
  const std::regex re("<" + tag + "\\b[^>]*>", std::regex::icase);
  for (auto it = std::sregex_iterator(html.begin(), html.end(), re); it != std::sregex_iterator(); ++it) {
    out.push_back(it->str());
  }
  return out;
}

// What a browser re-posts: every named input of the first form, value or "".
Fields form_fields(const std::string& html) {
  Fields fields;
  for (const std::string& input : tags(first_form(html), "input")) {
    const auto name = attribute(input, "name");
    if (name && !name->empty()) fields.emplace_back(*name, attribute(input, "value").value_or(""));
  }
  return fields;
}

std::string action_target(const std::string& html) {
  const auto action = attribute(tags(first_form(html), "form").at(0), "action").value_or("");
  EXPECT_EQ(action.rfind("travobkm?", 0), 0u) << "expected a relative action, got " << action;
  return "/travo2/travokmc/" + action;
}

std::string info_of(const std::string& html) {
  std::smatch m;
  if (std::regex_search(html, m, std::regex("<input type=\"hidden\" name=\"INFO\" value=\"([^\"]*)\""))) {
    return m[1];
  }
  return {};
}

std::vector<std::string> numbers_of(const std::string& html) {
  std::vector<std::string> out;
  const std::regex re("<td class=\"sumtd2_PN\"><a class=\"link02\"[^>]*>([^<]*)</a>");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), re); it != std::sregex_iterator(); ++it) {
    out.push_back((*it)[1]);
  }
  return out;
}

std::optional<std::string> count_of(const std::string& html) {
  std::smatch m;
  if (std::regex_search(html, m, std::regex("<font class=\"numfmt\">([^<]*)</font>"))) return m[1];
  return std::nullopt;
}

// The page address a client builds, with "^" escaped as libcurl does.
std::string page_target(const std::string& info, int page) {
  std::string q = page_query(info, page, 1);
  q.replace(q.rfind('^'), 1, "%5E");
  return kEntry + "?" + q;
}

size_t occurrences(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string_view::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

bool is_error_page(const Reply& r) {
  return r.body.find("<form") == std::string::npos && r.body.find("name=\"INFO\"") == std::string::npos &&
         r.body.find("sumtd2_") == std::string::npos && r.body.find("系統訊息") != std::string::npos;
}

// Runs both posts; returns the first result page.
Reply search(Browser& b, const std::string& text) {
  const Reply form = b.post(kEntry, first_post_fields(text));
  EXPECT_EQ(form.status, 200);
  Fields fields = form_fields(form.body);
  for (auto& [name, value] : fields) {
    if (name == "_21_1_T") value = text;
  }
  return b.post(action_target(form.body), fields);
}

Options small_site() {
  Options o;
  o.patents = 400;
  return o;
}

TEST(PatentSite, FirstPostOpensASessionAndAnswersTheForm) {
  Patent_Site site(small_site());
  Browser b(site);
  const Reply form = b.post(kEntry, first_post_fields("電池 裝置"));
  ASSERT_EQ(form.status, 200);
  EXPECT_TRUE(std::regex_match(form.header("Set-Cookie"),
                               std::regex("TRAVOSID=[0-9a-f]{32}; Path=/; HttpOnly")));

  const std::string html = first_form(form.body);
  const auto fields = form_fields(form.body);
  auto value = [&](const std::string& name) { return field(fields, name); };
  EXPECT_TRUE(value("__VIEWSTATE") && value("__VIEWSTATE")->size() > 10);
  EXPECT_EQ(value("__EVENTTARGET"), "");
  EXPECT_EQ(value("__EVENTARGUMENT"), "");
  EXPECT_EQ(value("__VIEWSTATEGENERATOR"), std::string(kViewStateGenerator));
  EXPECT_EQ(value("_21_1_T"), "電池 裝置");
  EXPECT_EQ(value("_IMG_檢索"), "");  // image input without a value attribute
  EXPECT_NE(html.find("type=\"image\" name=\"_IMG_檢索\""), std::string::npos);
  EXPECT_NE(html.find("<input type=\"button\" value=\"清除\""), std::string::npos);
  EXPECT_NE(html.find("<select name="), std::string::npos);
  EXPECT_NE(html.find("<textarea name="), std::string::npos);
  EXPECT_EQ(tags(form.body, "form").size(), 2u);
  EXPECT_EQ(site.session_count(), 1u);

  // Browsing the entry page opens no session.
  Browser plain(site);
  const Reply page = plain.get(kEntry);
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("name=\"_21_1_T\""), std::string::npos);
  EXPECT_TRUE(plain.cookie.empty());

  // A first post without the button click is not a search.
  Fields no_click = first_post_fields("電池");
  no_click.erase(no_click.begin() + 1, no_click.begin() + 3);
  EXPECT_EQ(plain.post(kEntry, no_click).status, 400);
  EXPECT_TRUE(plain.cookie.empty());
}

TEST(PatentSite, SecondPostNeedsTheSessionCookieAndItsFormState) {
  Patent_Site site(small_site());
  Browser b(site);
  const Reply form = b.post(kEntry, first_post_fields("裝置"));
  const Fields fields = form_fields(form.body);
  const std::string target = action_target(form.body);
  const std::string cookie = b.cookie;

  b.cookie.clear();
  Reply r = b.post(target, fields);
  EXPECT_EQ(r.status, 403);
  EXPECT_TRUE(is_error_page(r)) << r.body;

  b.cookie = "TRAVOSID=0123456789abcdef0123456789abcdef";
  EXPECT_EQ(b.post(target, fields).status, 403);

  b.cookie = cookie;
  Fields stale = fields;
  for (auto& [name, value] : stale) {
    if (name == "__VIEWSTATE") value = "/wEPDwUKLTk0MTQ4NjA0OGRk";
  }
  r = b.post(target, stale);
  EXPECT_EQ(r.status, 400);
  EXPECT_TRUE(is_error_page(r));
  Fields without_state;
  for (const auto& f : fields) {
    if (f.first != "__EVENTARGUMENT") without_state.push_back(f);
  }
  EXPECT_EQ(b.post(target, without_state).status, 400);
  EXPECT_EQ(b.post(kEntry + "?@@0.0", fields).status, 400);            // not the form's action
  EXPECT_EQ(b.post(kEntry, fields).status, 400);                       // action not resolved
  EXPECT_EQ(b.post(target, fields, "multipart/form-data").status, 400);
  EXPECT_EQ(site.post_count(), 8);
  EXPECT_EQ(site.error_count(), 7);

  r = b.post(target, fields);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(info_of(r.body).size(), kInfoLength);
}

TEST(PatentSite, ResultPagesFollowTheRewrittenInfo) {
  Patent_Site site;  // the default corpus, for its rare terms
  Browser b(site);
  const Reply first = search(b, "石墨烯");
  ASSERT_EQ(first.status, 200);
  const std::string info = info_of(first.body);
  ASSERT_EQ(info.size(), kInfoLength);
  EXPECT_EQ(count_of(first.body), "25");

  std::vector<std::string> expected;
  for (size_t i : site.search("石墨烯")) expected.push_back(site.corpus()[i].publication_number);
  ASSERT_EQ(expected.size(), 25u);
  EXPECT_EQ(numbers_of(first.body), std::vector<std::string>(expected.begin(), expected.begin() + 10));

  std::vector<std::string> seen;
  for (int page = 0; page < 4; ++page) {
    const Reply r = b.get(page_target(info, page));
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(count_of(r.body), "25");
    EXPECT_EQ(info_of(r.body), info);
    const auto numbers = numbers_of(r.body);
    EXPECT_EQ(numbers.size(), page < 2 ? 10u : page == 2 ? 5u : 0u) << page;
    seen.insert(seen.end(), numbers.begin(), numbers.end());
  }
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(site.page_fetch_counts(), (std::map<int, int>{{0, 1}, {1, 1}, {2, 1}, {3, 1}}));

  // The unescaped "^" is the same address.
  EXPECT_EQ(b.get(kEntry + "?" + page_query(info, 1, 1)).status, 200);
  EXPECT_EQ(site.page_fetches(1), 2);

  const auto records = site.requests();
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[0].method, "POST");
  EXPECT_EQ(records[0].body.rfind("_21_1_T=%E7%9F%B3", 0), 0u);
  EXPECT_EQ(records[3].page, 1);
  site.reset_counters();
  EXPECT_EQ(site.request_count(), 0);
  EXPECT_EQ(site.page_fetches(1), 0);
}

TEST(PatentSite, TwoHundredPagesOfACommonTerm) {
  Patent_Site site;
  Browser b(site);
  b.client().set_keep_alive(true);
  const std::string info = info_of(search(b, "裝置").body);
  EXPECT_EQ(site.search("裝置").size(), 2250u);
  std::set<std::string> numbers;
  for (int page = 0; page < 200; ++page) {
    const Reply r = b.get(page_target(info, page));
    ASSERT_EQ(r.status, 200);
    const auto n = numbers_of(r.body);
    ASSERT_EQ(n.size(), 10u) << page;
    numbers.insert(n.begin(), n.end());
  }
  EXPECT_EQ(numbers.size(), 2000u);
  EXPECT_EQ(numbers_of(b.get(page_target(info, 225)).body).size(), 0u);
}

TEST(PatentSite, SearchTextComesFromTheRepostedFieldOrElseTheFirstPost) {
  Patent_Site site;
  Browser b(site);
  Reply form = b.post(kEntry, first_post_fields("量子點"));
  Fields fields = form_fields(form.body);
  std::erase_if(fields, [](const auto& f) { return f.first == "_21_1_T"; });
  EXPECT_EQ(count_of(b.post(action_target(form.body), fields).body), "14");

  form = b.post(kEntry, first_post_fields("量子點"));
  fields = form_fields(form.body);
  for (auto& [name, value] : fields) {
    if (name == "_21_1_T") value = "lidar";
  }
  EXPECT_EQ(count_of(b.post(action_target(form.body), fields).body), "7");

  EXPECT_EQ(count_of(search(b, "").body), "0");
  EXPECT_EQ(count_of(search(b, "\xE3\x80\x80 ").body), "0");
}

TEST(PatentSite, PageQueriesAreCheckedLikeARealServer) {
  Patent_Site site(small_site());
  Browser b(site);
  const std::string info = info_of(search(b, "裝置").body);
  ASSERT_FALSE(info.empty());

  Browser stranger(site);
  EXPECT_EQ(stranger.get(page_target(info, 0)).status, 403);
  const std::string other = info_of(search(stranger, "裝置").body);
  EXPECT_EQ(stranger.get(page_target(info, 0)).status, 400) << "another session's INFO";
  EXPECT_EQ(b.get(page_target(other, 0)).status, 400);

  const Reply unrewritten = b.get(kEntry + "?" + info);
  EXPECT_EQ(unrewritten.status, 400);
  EXPECT_TRUE(is_error_page(unrewritten));
  std::string lower = page_query(info, 0x0A, 1);
  lower[23] = 'a';
  EXPECT_EQ(b.get(kEntry + "?" + lower).status, 400);
  EXPECT_EQ(b.get(kEntry + "?" + page_query(info, 1, 2)).status, 400);

  Browser fresh(site);
  fresh.post(kEntry, first_post_fields("裝置"));  // session without results yet
  EXPECT_EQ(fresh.get(page_target(info, 0)).status, 400);

  EXPECT_EQ(b.get("/travo2/other").status, 404);
  EXPECT_TRUE(site.page_fetch_counts().empty());
  EXPECT_EQ(b.get(page_target(info, 0)).status, 200);
}

TEST(PatentSiteFaults, DroppedPageCutsTheConnectionMidBody) {
  Options o = small_site();
  o.drop_page = 1;
  Patent_Site site(o);
  Browser b(site);
  const std::string info = info_of(search(b, "裝置").body);
  EXPECT_EQ(b.get(page_target(info, 0)).status, 200);
  const Reply dropped = b.get(page_target(info, 1));
  EXPECT_EQ(dropped.status, 0) << "the body should have been cut short";
  EXPECT_EQ(site.page_fetches(1), 1);
  EXPECT_EQ(b.get(page_target(info, 2)).status, 200);
}

TEST(PatentSiteFaults, FirstFetchesOfPageZeroAreEmptyPerSession) {
  Options o = small_site();
  o.empty_page0 = 2;
  Patent_Site site(o);
  for (int session = 0; session < 2; ++session) {
    Browser b(site);
    const Reply first = search(b, "裝置");
    EXPECT_EQ(numbers_of(first.body).size(), 10u) << "the posted reply is not a fetch";
    const std::string info = info_of(first.body);
    for (int attempt = 0; attempt < 3; ++attempt) {
      const Reply r = b.get(page_target(info, 0));
      EXPECT_EQ(r.status, 200);
      EXPECT_EQ(info_of(r.body), info);
      EXPECT_EQ(numbers_of(r.body).size(), attempt < 2 ? 0u : 10u) << attempt;
      EXPECT_EQ(count_of(r.body).has_value(), attempt >= 2);
    }
    EXPECT_EQ(numbers_of(b.get(page_target(info, 1)).body).size(), 10u);
  }
  EXPECT_EQ(site.page_fetches(0), 6);
}

TEST(PatentSiteFaults, CountElementVariants) {
  auto count_with = [](Options o) {
    o.patents = 400;
    Patent_Site site(o);
    Browser b(site);
    const std::string info = info_of(search(b, "裝置").body);
    return count_of(b.get(page_target(info, 0)).body);
  };
  Options o;
  EXPECT_EQ(count_with(o), "180");
  o.count_separators = true;
  o.patents = 5000;
  Patent_Site big(o);
  Browser b(big);
  EXPECT_EQ(count_of(search(b, "裝置").body), "2,250");
  o = {};
  o.count_text = "約 <180> 筆";
  EXPECT_EQ(count_with(o), "約 &lt;180&gt; 筆");
  o = {};
  o.no_count = true;
  EXPECT_EQ(count_with(o), std::nullopt);
  o = {};
  o.no_count_when_empty = true;
  EXPECT_EQ(count_with(o), "180") << "a search with hits keeps its count";

  // A search without hits: the empty result page, with its INFO form, and
  // the count only when the switch is off.
  for (bool switched : {false, true}) {
    Options e = small_site();
    e.no_count_when_empty = switched;
    Patent_Site site(e);
    Browser b(site);
    const std::string info = info_of(search(b, "不存在的詞彙XYZ").body);
    const Reply r = b.get(page_target(info, 0));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(info_of(r.body), info);
    EXPECT_TRUE(numbers_of(r.body).empty());
    EXPECT_EQ(count_of(r.body), switched ? std::nullopt : std::optional<std::string>("0")) << switched;
  }
}

TEST(PatentSiteFaults, NoFormShortInfoAndRotatingCookie) {
  {
    Options o = small_site();
    o.no_form = true;
    Patent_Site site(o);
    Browser b(site);
    const Reply r = b.post(kEntry, first_post_fields("裝置"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.find("<form"), std::string::npos);
  }
  {
    Options o = small_site();
    o.short_info = true;
    Patent_Site site(o);
    Browser b(site);
    const std::string info = info_of(search(b, "裝置").body);
    ASSERT_EQ(info.size(), kShortInfoLength);
    const std::string q = page_query(info, 1, 1);
    EXPECT_EQ(q.size(), 33u);
    EXPECT_EQ(numbers_of(b.get(page_target(info, 1)).body).size(), 10u);
  }
  {
    Options o = small_site();
    o.rotate_cookie_page = 1;
    Patent_Site site(o);
    Browser b(site);
    const std::string info = info_of(search(b, "裝置").body);
    const std::string old_cookie = b.cookie;
    EXPECT_EQ(b.get(page_target(info, 1)).status, 200);
    ASSERT_NE(b.cookie, old_cookie);
    EXPECT_EQ(numbers_of(b.get(page_target(info, 2)).body).size(), 10u);
    b.cookie = old_cookie;
    EXPECT_EQ(b.get(page_target(info, 2)).status, 403);
  }
}

TEST(PatentSiteFaults, MisbehavingPages) {
  Options o = small_site();
  o.error500_page = 1;
  o.redirect_loop_page = 2;
  o.huge_page = 3;
  o.short_titles_page = 4;
  o.invalid_utf8_page = 5;
  Patent_Site site(o);
  Browser b(site);
  const std::string info = info_of(search(b, "裝置").body);

  const Reply error = b.get(page_target(info, 1));
  EXPECT_EQ(error.status, 500);
  EXPECT_TRUE(is_error_page(error));

  const Reply redirect = b.get(page_target(info, 2));
  EXPECT_EQ(redirect.status, 302);
  // This HTTP client percent-decodes header values, hence "^" and not "%5E".
  EXPECT_EQ(redirect.header("Location"), site.base_url() + kEntry + "?" + page_query(info, 2, 1));

  size_t received = 0;
  const auto huge = b.client().Get(
      page_target(info, 3).c_str(),
      httplib::Headers{{"Cookie", b.cookie}},
      [&](const httplib::Response& res) {
        EXPECT_EQ(res.get_header_value("Content-Length"), std::to_string(kHugePageBytes));
        return true;
      },
      [&](const char*, size_t n) {
        received += n;
        return received < 1024 * 1024;  // give up after a megabyte
      });
  EXPECT_FALSE(huge);
  EXPECT_GE(received, 1024u * 1024u);

  const Reply short_titles = b.get(page_target(info, 4));
  EXPECT_EQ(numbers_of(short_titles.body).size(), 10u);
  EXPECT_EQ(occurrences(short_titles.body, "<div class=\"divsum_TI\">"), 9u);

  const Reply latin = b.get(page_target(info, 5));
  EXPECT_NE(latin.body.find("\xB4\xFA\xB8\xD5"), std::string::npos);
  EXPECT_EQ(occurrences(latin.body, "<div class=\"divsum_TI\">"), 10u);
}

TEST(PatentSiteFaults, CaptchaPageAndMaintenance) {
  {
    Options o = small_site();
    o.captcha_page = 1;
    Patent_Site site(o);
    Browser b(site);
    const std::string info = info_of(search(b, "裝置").body);
    EXPECT_EQ(numbers_of(b.get(page_target(info, 0)).body).size(), 10u);
    // Page 1, every time: a captcha form where the result page should be.
    for (int attempt = 0; attempt < 2; ++attempt) {
      const Reply captcha = b.get(page_target(info, 1));
      EXPECT_EQ(captcha.status, 200);
      EXPECT_NE(captcha.body.find("<title>安全驗證－請輸入驗證碼</title>"), std::string::npos);
      EXPECT_NE(captcha.body.find("name=\"CAPTCHA\""), std::string::npos);
      EXPECT_TRUE(numbers_of(captcha.body).empty());
      EXPECT_EQ(count_of(captcha.body), std::nullopt);
      EXPECT_EQ(info_of(captcha.body), "");
    }
    EXPECT_EQ(site.page_fetches(1), 2);
    EXPECT_EQ(numbers_of(b.get(page_target(info, 2)).body).size(), 10u);
  }
  {
    Options o = small_site();
    o.maintenance = true;
    Patent_Site site(o);
    Browser b(site);
    for (const Reply& r : {b.get(kEntry), b.post(kEntry, first_post_fields("裝置")), b.get("/elsewhere")}) {
      EXPECT_EQ(r.status, 503);
      EXPECT_EQ(r.header("Retry-After"), "3600");
      EXPECT_NE(r.body.find("<title>系統維護中</title>"), std::string::npos);
      EXPECT_EQ(r.body.find("<form"), std::string::npos);
    }
    EXPECT_TRUE(b.cookie.empty()) << "no session is opened";
    EXPECT_EQ(site.session_count(), 0u);
  }
}

TEST(PatentSiteFaults, StopWakesAStalledRequest) {
  Options o = small_site();
  o.stall_page = 0;
  Patent_Site site(o);
  Browser b(site);
  const std::string info = info_of(search(b, "裝置").body);
  Reply stalled;
  stalled.status = -1;
  std::thread fetch([&] { stalled = b.get(page_target(info, 0)); });
  EXPECT_TRUE(eventually([&] { return site.page_fetches(0) > 0; }));
  EXPECT_EQ(site.page_fetches(0), 1);
  site.stop();
  fetch.join();
  EXPECT_NE(stalled.status, 200);
  EXPECT_NE(stalled.status, -1);
}

}  // namespace
}  // namespace travo::patent_site
