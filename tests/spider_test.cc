// The search session's requests, as a server sees them.
#include "travo/harrow/spider_travo.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <mutex>
#include <thread>

#include "travo/patent_site/patent_site.h"

namespace travo::harrow {
namespace {

Spider_Config cfg(const std::string& site) {
  Spider_Config c;
  c.site = site;
  return c;
}

// A tiny site whose first reply is a page of the test's choosing; records
// every request.
class Scripted_Site {
 public:
  explicit Scripted_Site(std::string first_reply) : first_reply_(std::move(first_reply)) {
    server_.set_tcp_nodelay(true);
    auto record = [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mu_);
      requests_.push_back(req);
      res.set_header("Set-Cookie", "SID=abc; Path=/");
      res.set_content(requests_.size() == 1 ? first_reply_ : result_page_, "text/html; charset=utf-8");
    };
    server_.Get(".*", record);
    server_.Post(".*", record);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Scripted_Site() {
    server_.stop();
    thread_.join();
  }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<httplib::Request> requests() {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
  }
  std::string result_page_ = "<html><input type=hidden name=INFO value=ABC></html>";

 private:
  std::string first_reply_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mu_;
  std::vector<httplib::Request> requests_;
};

TEST(SpiderTravo, FirstPostFieldsAndHeaders) {
  Scripted_Site site("<form action='next?x=1'><input name=a value=1></form>");
  Spider_TRAVO s(false, cfg(site.base() + "/ignored/path"));
  s.add_keyword("電池 模組");
  s.run();
  auto reqs = site.requests();
  ASSERT_EQ(reqs.size(), 2u);
  EXPECT_EQ(reqs[0].method, "POST");
  EXPECT_EQ(reqs[0].path, "/travo2/travokmc/travobkm");
  EXPECT_EQ(reqs[0].body,
            "_21_1_T=%E9%9B%BB%E6%B1%A0+%E6%A8%A1%E7%B5%84&_IMG_%E6%AA%A2%E7%B4%A2.x=1"
            "&_IMG_%E6%AA%A2%E7%B4%A2.y=1&__EVENTTARGET=&__EVENTARGUMENT=");
  for (const auto& r : reqs) {
    EXPECT_EQ(r.get_header_value("Referer"), site.base() + "/travo2/travokmc/travobkm");
    EXPECT_EQ(r.get_header_value("Origin"), site.base());
    EXPECT_EQ(r.get_header_value("User-Agent").rfind("Mozilla/5.0 (Windows NT 10.0; Win64; x64)", 0), 0u);
    EXPECT_EQ(r.get_header_value("Content-Type"), "application/x-www-form-urlencoded");
  }
  // The relative action resolves against the entry address; the cookie of
  // the first reply comes back.
  EXPECT_EQ(reqs[1].path, "/travo2/travokmc/next");
  EXPECT_EQ(reqs[1].get_param_value("x"), "1");
  EXPECT_EQ(reqs[1].get_header_value("Cookie"), "SID=abc");
}

TEST(SpiderTravo, FormRepostRules) {
  Scripted_Site site(R"(<html><body>
    <form id=f1 method=post>
      <input type=hidden name=__VIEWSTATE value="v&amp;1">
      <input type=text name=_21_1_T value="prefilled">
      <input type=hidden name=dup value=first>
      <input type=checkbox name=novalue>
      <input value=nameless>
      <input name="" value=empty-name>
      <select name=sel><option value=x selected>x</select>
      <textarea name=ta>t</textarea>
      <div><input type=hidden name=dup value=second></div>
      <input type=image name="_IMG_檢索" src=x.gif>
    </form>
    <form action="/other"><input name=second_form value=1></form>
  </body></html>)");
  Spider_TRAVO s(false, cfg(site.base()));
  s.add_keyword("石墨烯");
  s.run();
  auto reqs = site.requests();
  ASSERT_EQ(reqs.size(), 2u);
  // An absent action posts back to the entry address.
  EXPECT_EQ(reqs[1].path, "/travo2/travokmc/travobkm");
  EXPECT_EQ(reqs[1].body,
            "__VIEWSTATE=v%261&_21_1_T=%E7%9F%B3%E5%A2%A8%E7%83%AF&dup=second&novalue="
            "&_IMG_%E6%AA%A2%E7%B4%A2=");
  s.get_info();
  EXPECT_EQ(s.info_value, "ABC");
}

TEST(SpiderTravo, FormWithoutSearchFieldAndAbsoluteAction) {
  Scripted_Site site("");
  Scripted_Site first("<form action='" + site.base() + "/abs/target'><input name=k value=v></form>");
  Spider_TRAVO s(false, cfg(first.base()));
  s.add_keyword("kw");
  s.run();
  auto reqs = site.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].path, "/abs/target");
  EXPECT_EQ(reqs[0].body, "k=v");  // the search text went only with the first post
}

TEST(SpiderTravo, NoFormMeansNoResultPage) {
  Scripted_Site site("<html><p>busy</p></html>");
  Spider_TRAVO s(false, cfg(site.base()));
  ::testing::internal::CaptureStdout();
  s.run();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "未找到 form，已完成查詢。\n");
  EXPECT_FALSE(s.resp_enter.has_value());
  EXPECT_THROW(s.get_info(), std::runtime_error);
}

TEST(SpiderTravo, InfoLinesPrinted) {
  Scripted_Site site("<form><input name=a></form>");
  site.result_page_ = "<input type=hidden name=INFO><input type=hidden name=INFO value=late>";
  Spider_TRAVO s(false, cfg(site.base()));
  s.run();
  ::testing::internal::CaptureStdout();
  s.get_info();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "INFO 的 value = \n");
  EXPECT_EQ(s.info_value, "");

  Scripted_Site other("<form><input name=a></form>");
  other.result_page_ = "<input type=text name=INFO value=x><input type=HIDDEN name=INFO value=y>";
  Spider_TRAVO t(false, cfg(other.base()));
  t.run();
  ::testing::internal::CaptureStdout();
  t.get_info();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "找不到 INFO 欄位\n");
}

TEST(SpiderTravo, LogModeFetchesAndPrintsTheEntryPageFirst) {
  patent_site::Patent_Site site;
  ::testing::internal::CaptureStdout();
  Spider_TRAVO s(true, cfg(site.base_url()));
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("==== soup.prettify() 部分內容 ====\n", 0), 0u);
  EXPECT_NE(out.find("<form"), std::string::npos);
  auto reqs = site.requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].method, "GET");

  Spider_TRAVO quiet(false, cfg(site.base_url()));
  EXPECT_EQ(site.requests().size(), 1u);  // no request at construction
}

TEST(SpiderTravo, PagesAndCountAgainstTheLocalSite) {
  patent_site::Options so;
  so.no_count = false;
  patent_site::Patent_Site site(so);
  Spider_TRAVO s(false, cfg(site.base_url()));
  s.add_keyword("石墨烯");
  s.run();
  s.get_info();
  ::testing::internal::CaptureStdout();
  s.to_patent(0, 1);
  Page_Data d = s.get_data();
  s.to_patent(1, 1);
  d = s.get_data();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "專利數量 --> 25\n");  // printed once
  EXPECT_EQ(d.at("公開號").size(), 10u);
  EXPECT_EQ(s.patents_number, std::optional<std::string>("25"));
  EXPECT_EQ(site.page_fetches(1), 1);
  EXPECT_EQ(site.error_count(), 0);
}

TEST(SpiderTravo, BadSiteAddressesAreRejected) {
  EXPECT_THROW(Spider_TRAVO(false, cfg("ftp://x")), std::invalid_argument);
  EXPECT_THROW(Spider_TRAVO(false, cfg("http://")), std::invalid_argument);
  EXPECT_EQ(site_origin("https://h.example:8443/a/b?c"), "https://h.example:8443");
}

// An unreachable site is named, with the place its address came from when
// the caller says, so that the user knows what to change.
TEST(SpiderTravo, NetworkFailureIsAClearErrorNamingTheAddressAndWhereItWasSet) {
  auto failure = [](const Spider_Config& config) -> std::string {
    Spider_TRAVO s(false, config);
    try {
      s.run();
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "(no error)";
  };
  // Port 1 on loopback: nobody listens there, the connection is refused.
  const std::string plain = failure(cfg("http://127.0.0.1:1"));
  EXPECT_TRUE(plain.starts_with("連線檢索網站失敗（送出檢索）：")) << plain;
  EXPECT_TRUE(plain.ends_with("；檢索網站位址 http://127.0.0.1:1")) << plain;

  Spider_Config named = cfg("http://127.0.0.1:1");
  named.site_where = "來自環境變數 TRAVO_SITE";
  const std::string with_place = failure(named);
  EXPECT_TRUE(with_place.ends_with("；檢索網站位址 http://127.0.0.1:1 來自環境變數 TRAVO_SITE")) << with_place;
  EXPECT_EQ(with_place.find('\n'), std::string::npos) << "one line";
}

}  // namespace
}  // namespace travo::harrow
