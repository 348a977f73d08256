// The worker loop against the local patent site on loopback.
#include "travo/harrow/receipt.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "travo/patent_site/patent_site.h"
#include "travo/platform/eventually.h"
#include "worker_harness.h"
#include "xlsx_test_support.h"
#include "travo/platform/utf8.h"

namespace travo::harrow {
namespace {

namespace fs = std::filesystem;
using patent_site::Patent_Site;
using Rows = std::vector<std::array<std::string, 6>>;

class ReceiptTest : public test_support::Worker_Harness {
 protected:
  void start(const patent_site::Options& site_options = {}) {
    site_ = std::make_unique<Patent_Site>(site_options);
    start_worker(site_->base_url());
  }

  // The hit line of the i-th match of `query`.
  std::string line_of(const std::string& query, size_t i) {
    const auto& p = site_->corpus()[site_->search(query).at(i)];
    return p.publication_number + " --> " + p.title + "\n";
  }
  std::string page_lines(const std::string& query, size_t from, size_t to) {
    std::string s;
    for (size_t i = from; i < to; ++i) s += line_of(query, i);
    return s;
  }

  static std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }

  Event& stop_event() { return maps_->Event_All_variable.at(kStopSearch); }

  // The rows of the first `n` hits of `query`, as the list holds them.
  std::vector<std::string> first_numbers(const std::string& query, size_t n) {
    std::vector<std::string> out;
    for (size_t i = 0; i < n; ++i) out.push_back(site_->corpus()[site_->search(query).at(i)].publication_number);
    return out;
  }
  static std::vector<std::string> numbers_in(const Rows& rows) {
    std::vector<std::string> out;
    for (size_t i = 1; i < rows.size(); ++i) out.push_back(rows[i][0]);
    return out;
  }

  std::unique_ptr<Patent_Site> site_;
};

TEST_F(ReceiptTest, ThreePagesInOrderAndTheWorkbookMatches) {
  start();
  const std::string q = "石墨烯";  // 25 hits: 10 + 10 + 5
  ASSERT_EQ(site_->search(q).size(), 25u);
  command(q);
  const auto m = messages();
  const std::vector<std::string> expected = {
      "檢索專利共 25 筆", "", "檢索專利如下:\n", page_lines(q, 0, 10), "檢索專利如下:\n",
      page_lines(q, 10, 20), "檢索專利如下:\n", page_lines(q, 20, 25), kDoneMarker};
  EXPECT_EQ(m, expected);
  EXPECT_FALSE(last_outcome().failed);
  EXPECT_EQ(site_->page_fetches(3), 1);
  EXPECT_EQ(site_->page_fetches(4), 0);

  Rows rows = test_support::sheet_rows(list_path());
  ASSERT_EQ(rows.size(), 26u);
  const auto& p = site_->corpus()[site_->search(q)[0]];
  EXPECT_EQ(rows[1][0], p.publication_number);
  EXPECT_EQ(rows[1][1], p.title);
  EXPECT_EQ(rows[1][2], p.application_date);
  EXPECT_EQ(rows[1][3], p.publication_date);
  EXPECT_EQ(rows[1][4], p.application_number);
  EXPECT_FALSE(rows[1][5].empty());
  // Every session request after the first post carries the site's cookie.
  auto requests = site_->requests();
  ASSERT_GE(requests.size(), 6u);
  for (size_t i = 1; i < requests.size(); ++i) {
    bool has_cookie = false;
    for (const auto& [k, v] : requests[i].headers) {
      if (k == "Cookie" && v.find("TRAVOSID=") != std::string::npos) has_cookie = true;
    }
    EXPECT_TRUE(has_cookie) << requests[i].target;
    EXPECT_LT(requests[i].status, 400) << requests[i].target;
  }
  EXPECT_EQ(site_->error_count(), 0);
}

TEST_F(ReceiptTest, ApplicantCellsAreTextWithOneLinePerApplicant) {
  start();
  command("裝置 LiDAR");
  messages();
  Rows rows = test_support::sheet_rows(list_path());
  const auto hits = site_->search("裝置 LiDAR");
  ASSERT_EQ(rows.size(), hits.size() + 1);
  for (size_t i = 0; i < hits.size(); ++i) {
    const auto& p = site_->corpus()[hits[i]];
    std::string expected = p.applicants[0];
    if (p.layout == patent_site::Applicant_Layout::lines) {
      for (size_t k = 1; k < p.applicants.size(); ++k) expected += "\n" + p.applicants[k];
    }
    EXPECT_EQ(rows[i + 1][5], expected);
    EXPECT_EQ(rows[i + 1][5].find("&amp;"), std::string::npos);
  }
}

TEST_F(ReceiptTest, TwoHundredPageLimitWithTheOver2000Notice) {
  start();
  command("裝置");  // 2250 hits
  const auto m = messages();
  ASSERT_GE(m.size(), 3u);
  EXPECT_EQ(m[0], "檢索專利共 2250 筆");
  EXPECT_EQ(m[1], "檢索專利超過 2000 筆，僅會擷取前 2000 筆數據");
  EXPECT_EQ(m[2], "");
  EXPECT_EQ(std::count(m.begin(), m.end(), std::string("檢索專利如下:\n")), 200);
  EXPECT_EQ(m.size(), 3u + 400u + 1u);
  EXPECT_EQ(m.back(), kDoneMarker);
  EXPECT_EQ(site_->page_fetches(199), 1);
  EXPECT_EQ(site_->page_fetches(200), 0);
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 2001u);
  EXPECT_EQ(last_outcome().pages, 200);
}

TEST_F(ReceiptTest, CountTextsWithSeparatorsAndJunk) {
  patent_site::Options so;
  so.count_text.emplace("2,001");
  start(so);
  command("量子點");
  auto m = messages();
  ASSERT_GE(m.size(), 4u);
  EXPECT_EQ(m[0], "檢索專利共 2,001 筆");
  EXPECT_EQ(m[1], "檢索專利超過 2000 筆，僅會擷取前 2000 筆數據");
  EXPECT_EQ(m[2], "");
  EXPECT_EQ(m[3], "檢索專利如下:\n");
  stop_worker();

  so.count_text.emplace("約一千");
  maps_ = make_shared_maps();
  start(so);
  command("量子點");
  m = messages();
  ASSERT_GE(m.size(), 4u);
  EXPECT_EQ(m[0], "檢索專利共 約一千 筆");
  EXPECT_NE(m[1].find("約一千"), std::string::npos);  // the failure's description
  EXPECT_EQ(m[2], "檢索專利如下:\n");
  EXPECT_EQ(m.back(), kDoneMarker);
  EXPECT_FALSE(last_outcome().failed);  // the announcement's own guard absorbs it
}

TEST_F(ReceiptTest, MissingCountSendsNoAnnouncement) {
  patent_site::Options so;
  so.no_count = true;
  start(so);
  command("憶阻器");
  EXPECT_EQ(messages(), (std::vector<std::string>{"檢索專利如下:\n", page_lines("憶阻器", 0, 3), kDoneMarker}));
}

TEST_F(ReceiptTest, EmptyFirstPageIsRetriedThenEndsAsAnEmptySearch) {
  patent_site::Options so;
  so.empty_page0 = 2;
  start(so);
  command("憶阻器");
  auto m = messages();
  EXPECT_EQ(m.front(), "檢索專利共 3 筆");
  EXPECT_EQ(site_->page_fetches(0), 3);
  stop_worker();

  // Empty every time, but still a result list page (the INFO form, no
  // count): after three attempts the search ends with the header alone.
  { std::ofstream(list_path()) << "previous"; }
  so.empty_page0 = 100;
  maps_ = make_shared_maps();
  site_.reset();
  start(so);
  command("憶阻器");
  EXPECT_EQ(messages(), std::vector<std::string>{kDoneMarker});
  EXPECT_EQ(site_->page_fetches(0), 3);
  EXPECT_EQ(site_->page_fetches(1), 0);
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 1u);
  EXPECT_FALSE(last_outcome().failed);
}

TEST_F(ReceiptTest, DroppedConnectionOnPageOneSavesPageZero) {
  patent_site::Options so;
  so.drop_page = 1;
  start(so);
  command("石墨烯");
  const auto m = messages();
  ASSERT_EQ(m.size(), 6u);
  EXPECT_EQ(m[2], "檢索專利如下:\n");
  EXPECT_EQ(m[3], page_lines("石墨烯", 0, 10));
  EXPECT_NE(m[4].find("連線"), std::string::npos) << m[4];
  EXPECT_EQ(m[5], kDoneMarker);
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 11u);
  EXPECT_TRUE(last_outcome().failed);
}

TEST_F(ReceiptTest, ShortTitleListSavesTheRowsBeforeIt) {
  patent_site::Options so;
  so.short_titles_page = 1;
  start(so);
  command("石墨烯");
  const auto m = messages();
  ASSERT_EQ(m.size(), 7u);
  EXPECT_EQ(m[3], page_lines("石墨烯", 0, 10));
  EXPECT_EQ(m[4], "檢索專利如下:\n");  // the failing page's lines are not sent
  EXPECT_NE(m[5].find("標題"), std::string::npos) << m[5];
  EXPECT_EQ(m[6], kDoneMarker);
  // Page 1 lost one title: its first nine hits reached the list.
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 1u + 10u + 9u);
}

TEST_F(ReceiptTest, NoFormLeavesThePreviousListInPlace) {
  { std::ofstream(list_path()) << "previous"; }
  patent_site::Options so;
  so.no_form = true;
  start(so);
  command("石墨烯");
  const auto m = messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[1], kDoneMarker);
  std::ifstream in(list_path());
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "previous");
}

TEST_F(ReceiptTest, UnsavableListIsReportedAndTheWorkerGoesOn) {
  start();
  fs::remove_all(root_ / travo::platform::utf8_path("TRAVO專利檢索軟體"));
  command("憶阻器");
  auto m = messages();
  ASSERT_EQ(m.size(), 6u);
  EXPECT_NE(m[4].find("資料夾不存在"), std::string::npos) << m[4];
  EXPECT_EQ(m[5], kDoneMarker);

  // The target is a folder (as good as locked): reported, folder untouched.
  fs::create_directories(list_path());
  command("憶阻器");
  m = messages();
  EXPECT_NE(m[m.size() - 2].find("資料夾"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(list_path()));

  fs::remove_all(list_path());
  command("憶阻器");
  m = messages();
  EXPECT_EQ(m.size(), 5u);
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 4u);
}

TEST_F(ReceiptTest, CommandsAreServedOneAfterAnother) {
  start();
  command("憶阻器");
  command("石墨烯");
  command("鈣鈦礦");
  const auto first = messages();
  const auto second = messages();
  const auto third = messages();
  EXPECT_EQ(first.front(), "檢索專利共 3 筆");
  EXPECT_EQ(second.front(), "檢索專利共 25 筆");
  EXPECT_EQ(third.front(), "檢索專利共 1 筆");
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 2u);  // the last command's list
}

TEST_F(ReceiptTest, BadCommandItemsAreReported) {
  start();
  maps_->Queue_All_variable.at(kStartData).put(std::string("not a command"));
  auto m = messages();
  ASSERT_EQ(m.size(), 2u);
  maps_->Queue_All_variable.at(kStartData).put(Start_Data{{kParameterKeys[0], std::int64_t{1}}});
  m = messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_NE(m[0].find("檢索指令"), std::string::npos);
}

TEST_F(ReceiptTest, StopWhileIdleSendsNothing) {
  start();
  stop_worker();
  EXPECT_TRUE(maps_->Queue_All_variable.at(kBusy).empty());
  EXPECT_FALSE(maps_->Event_All_variable.at(kBusy).is_set());
}

TEST_F(ReceiptTest, StopWhileBusyFinishesTheCommandFirst) {
  patent_site::Options so;
  so.delay = std::chrono::milliseconds(30);
  start(so);
  command("石墨烯");
  command("憶阻器");  // taken after the stop: never served
  ASSERT_TRUE(maps_->Event_All_variable.at(kBusy).wait_for(std::chrono::seconds(120)));
  send_stop_signals(maps_->Queue_All_variable, maps_->Event_All_variable);
  worker_.join();
  const auto m = messages();
  EXPECT_EQ(m.front(), "檢索專利共 25 筆");
  EXPECT_EQ(m.back(), kDoneMarker);
  EXPECT_TRUE(maps_->Queue_All_variable.at(kBusy).empty());
  EXPECT_FALSE(maps_->Event_All_variable.at(kBusy).is_set());
}

// --- Stopping a search ---------------------------------------------------

TEST_F(ReceiptTest, StopAfterPageThreeOfAFiftyPageSearchKeepsPagesZeroToThree) {
  patent_site::Options so;
  so.hits_per_page = 45;  // 2250 hits of "裝置": 50 pages
  // The stop arrives between two pages: after the fourth page (page 3) has
  // been taken and before page 4 is asked for.
  options_.on_page_read = [this](int pages) {
    if (pages == 4) stop_event().set();
  };
  start(so);
  ASSERT_EQ(site_->search("裝置").size(), 2250u);
  command("裝置");
  const auto m = messages();
  ASSERT_EQ(m.size(), 3u + 8u + 2u);
  EXPECT_EQ(m[0], "檢索專利共 2250 筆");
  EXPECT_EQ(m[3], "檢索專利如下:\n");
  EXPECT_EQ(m[10], page_lines("裝置", 135, 180));
  EXPECT_EQ(m[11], "已停止檢索，檢索列表含已讀取的 180 筆");
  EXPECT_EQ(m[12], kDoneMarker);
  EXPECT_EQ(site_->page_fetches(3), 1);
  EXPECT_EQ(site_->page_fetches(4), 0);  // looked at before the next page

  const Rows rows = test_support::sheet_rows(list_path());
  ASSERT_EQ(rows.size(), 1u + 180u);
  EXPECT_EQ(rows[0][0], "專利公開號");
  EXPECT_EQ(numbers_in(rows), first_numbers("裝置", 180));
  const Command_Outcome o = last_outcome();
  EXPECT_TRUE(o.stopped);
  EXPECT_FALSE(o.failed);
  EXPECT_EQ(o.pages, 4);
  EXPECT_EQ(o.hits, 180);
}

TEST_F(ReceiptTest, StopDuringAStalledRequestIsActedOnAtOnce) {
  patent_site::Options so;
  so.stall_page = 2;  // never answers until the site stops
  // Only the stop can end the request: the stall time-out would take an hour.
  options_.http.stall_timeout = std::chrono::hours(1);
  start(so);
  command("石墨烯");
  ASSERT_TRUE(platform::test_support::eventually([&] { return site_->page_fetches(2) == 1; }));
  stop_event().set();
  const auto m = messages();  // would wait out its bound, and fail, without the cut
  ASSERT_EQ(m.size(), 2u + 4u + 2u);
  EXPECT_EQ(m[5], page_lines("石墨烯", 10, 20));
  EXPECT_EQ(m[6], "已停止檢索，檢索列表含已讀取的 20 筆");  // the cut page does not count
  EXPECT_EQ(m[7], kDoneMarker);
  EXPECT_EQ(numbers_in(test_support::sheet_rows(list_path())), first_numbers("石墨烯", 20));
  EXPECT_TRUE(last_outcome().stopped);
  EXPECT_FALSE(maps_->Event_All_variable.at(kEnd).is_set());  // the worker serves on
}

TEST_F(ReceiptTest, StopWhileIdleStopsNothingLater) {
  start();
  // Set before the worker takes anything and again while it waits between
  // commands: neither may cut the next search short.
  stop_event().set();
  EXPECT_EQ(run_command("憶阻器"),
            (std::vector<std::string>{"檢索專利共 3 筆", "", "檢索專利如下:\n", page_lines("憶阻器", 0, 3),
                                      kDoneMarker}));
  EXPECT_FALSE(last_outcome().stopped);
  stop_event().set();
  const auto m = run_command("石墨烯");
  EXPECT_EQ(m.size(), 2u + 6u + 1u);
  EXPECT_EQ(std::count(m.begin(), m.end(), std::string("檢索專利如下:\n")), 3);
  EXPECT_FALSE(last_outcome().stopped);
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 26u);
}

TEST_F(ReceiptTest, StopThenANewSearchRunsInFull) {
  bool stop_once = true;
  options_.on_page_read = [&](int pages) {
    if (pages == 1 && stop_once) {
      stop_once = false;
      stop_event().set();
    }
  };
  start();
  auto m = run_command("石墨烯");
  ASSERT_GE(m.size(), 2u);
  EXPECT_EQ(m[m.size() - 2], "已停止檢索，檢索列表含已讀取的 10 筆");
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 11u);
  EXPECT_TRUE(last_outcome().stopped);

  m = run_command("石墨烯");
  EXPECT_EQ(m.size(), 2u + 6u + 1u);
  EXPECT_EQ(std::count(m.begin(), m.end(), std::string("已停止檢索，檢索列表含已讀取的 10 筆")), 0);
  EXPECT_FALSE(last_outcome().stopped);
  EXPECT_EQ(numbers_in(test_support::sheet_rows(list_path())), first_numbers("石墨烯", 25));
}

TEST_F(ReceiptTest, StopDuringTheEmptyFirstPageWaitEndsTheWait) {
  patent_site::Options so;
  so.empty_page0 = 100;
  options_.empty_page_wait = std::chrono::hours(1);  // only the stop ends it
  start(so);
  command("憶阻器");
  ASSERT_TRUE(platform::test_support::eventually([&] { return site_->page_fetches(0) == 1; }));
  stop_event().set();
  EXPECT_EQ(messages(), (std::vector<std::string>{"已停止檢索，檢索列表含已讀取的 0 筆", kDoneMarker}));
  EXPECT_EQ(site_->page_fetches(0), 1);
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 1u);
}

// --- Pages the site should not have sent -----------------------------------

TEST_F(ReceiptTest, CaptchaInsteadOfTheFirstPageKeepsThePreviousList) {
  { std::ofstream(list_path(), std::ios::binary) << "previous list"; }
  patent_site::Options so;
  so.captcha_page = 0;
  start(so);
  command("石墨烯");
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "檢索網站回覆了無法辨識的頁面（第 1 頁），可能網站維護中或已改版"
                            "（安全驗證－請輸入驗證碼）",
                            kDoneMarker}));
  EXPECT_EQ(site_->page_fetches(0), 3);  // after its retries
  EXPECT_EQ(read_file(list_path()), "previous list");
  EXPECT_TRUE(last_outcome().failed);
}

TEST_F(ReceiptTest, CaptchaOnALaterPageSavesTheRowsRead) {
  patent_site::Options so;
  so.captcha_page = 1;
  start(so);
  command("石墨烯");  // 25 hits: the count says 15 remain after page 0
  const auto m = messages();
  ASSERT_EQ(m.size(), 6u);
  EXPECT_EQ(m[3], page_lines("石墨烯", 0, 10));
  EXPECT_EQ(m[4],
            "檢索網站回覆了無法辨識的頁面（第 2 頁），可能網站維護中或已改版"
            "（安全驗證－請輸入驗證碼）");
  EXPECT_EQ(m[5], kDoneMarker);
  EXPECT_EQ(site_->page_fetches(2), 0);
  EXPECT_EQ(numbers_in(test_support::sheet_rows(list_path())), first_numbers("石墨烯", 10));
  EXPECT_TRUE(last_outcome().failed);
}

TEST_F(ReceiptTest, SiteUnderMaintenanceIsReportedAndThePreviousListStays) {
  { std::ofstream(list_path(), std::ios::binary) << "previous list"; }
  patent_site::Options so;
  so.maintenance = true;
  start(so);
  command("石墨烯");
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "檢索網站回覆了無法辨識的頁面（第 1 頁），可能網站維護中或已改版（系統維護中）",
                            kDoneMarker}));
  EXPECT_EQ(read_file(list_path()), "previous list");
  EXPECT_TRUE(last_outcome().failed);
}

// An empty first page is judged by the marks of a result list page: the
// form with the hidden INFO input, and the count when there is one.
TEST_F(ReceiptTest, EmptyResultPageWithoutCountIsAnEmptySearch) {
  { std::ofstream(list_path(), std::ios::binary) << "previous list"; }
  patent_site::Options so;
  so.no_count_when_empty = true;
  start(so);
  EXPECT_EQ(run_command("不存在的詞彙XYZ"), std::vector<std::string>{kDoneMarker});
  EXPECT_EQ(site_->page_fetches(0), 3);
  const Rows rows = test_support::sheet_rows(list_path());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "專利公開號");
  EXPECT_FALSE(last_outcome().failed);
}

TEST_F(ReceiptTest, CountAboveZeroWithoutHitsIsUnrecognised) {
  { std::ofstream(list_path(), std::ios::binary) << "previous list"; }
  patent_site::Options so;
  so.count_text = "5";
  start(so);
  EXPECT_EQ(run_command("不存在的詞彙XYZ"),
            (std::vector<std::string>{"檢索網站回覆了無法辨識的頁面（第 1 頁），可能網站維護中或已改版"
                                      "（中華民國專利資訊檢索系統－檢索結果）",
                                      kDoneMarker}));
  EXPECT_EQ(site_->page_fetches(0), 3);
  EXPECT_EQ(read_file(list_path()), "previous list");
  EXPECT_TRUE(last_outcome().failed);
}

TEST_F(ReceiptTest, GenuineEmptySearchSavesTheHeaderAlone) {
  { std::ofstream(list_path(), std::ios::binary) << "previous list"; }
  start();
  const std::string q = "不存在的詞彙XYZ";
  ASSERT_TRUE(site_->search(q).empty());
  EXPECT_EQ(run_command(q), std::vector<std::string>{kDoneMarker});
  EXPECT_EQ(site_->page_fetches(0), 3);  // retried as before
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 1u);
  EXPECT_FALSE(last_outcome().failed);
}

}  // namespace
}  // namespace travo::harrow
