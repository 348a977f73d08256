// The worker under a misbehaving site: every fault ends the command with a
// description and the marker, the next command is served, and the search
// list on disk is never left broken.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "travo/harrow/receipt.h"
#include "travo/patent_site/patent_site.h"
#include "travo/platform/environment.h"
#include "travo/platform/small_tmpfs.h"
#include "travo/platform/socket.h"
#include "travo/platform/utf8.h"
#include "worker_harness.h"
#include "xlsx_test_support.h"

namespace travo::harrow {
namespace {

namespace fs = std::filesystem;
using patent_site::Patent_Site;
using platform::test_support::Small_Tmpfs;

// Accepts connections and never answers.
class Silent_Server {
 public:
  Silent_Server() {
    fd_ = platform::loopback_socket(true, port_);
    // Looks for the stop flag between waits: closing a socket does not wake
    // a blocked accept() on every system.
    thread_ = std::thread([this] {
      while (!stop_) {
        if (!platform::wait_readable(fd_, std::chrono::milliseconds(50))) continue;
        const platform::Socket c = platform::accept_connection(fd_);
        if (c == platform::kInvalidSocket) break;
        held_.push_back(c);
      }
    });
  }
  ~Silent_Server() {
    stop_ = true;
    thread_.join();
    platform::close_socket(fd_);
    for (platform::Socket c : held_) platform::close_socket(c);
  }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  platform::Socket fd_ = platform::kInvalidSocket;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::vector<platform::Socket> held_;
  std::thread thread_;
};

// The stall time-out stays the harness's generous one: the pages before a
// fault must arrive within it however busy the machine is, and a stalled
// page waits for the site's shutdown, far beyond it.
class FaultTest : public test_support::Worker_Harness {
 protected:
  void start(const std::string& site) { start_worker(site); }

  void write_previous_list() { std::ofstream(list_path()) << "previous"; }
  std::string list_content() {
    std::ifstream in(list_path(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }

  // A fault on page 1 ends the command with a description; the list holds
  // the ten rows of page 0; a normal command afterwards is served.
  void expect_page_one_failure(Patent_Site& site, const std::string& description_part) {
    write_previous_list();
    auto m = run_command("石墨烯");
    ASSERT_GE(m.size(), 2u);
    EXPECT_EQ(m.back(), kDoneMarker);
    EXPECT_NE(m[m.size() - 2].find(description_part), std::string::npos) << m[m.size() - 2];
    EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 11u);
    auto next = run_command("憶阻器");
    EXPECT_EQ(next.front(), "檢索專利共 3 筆");
    EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 4u);
    (void)site;
  }

};

TEST_F(FaultTest, SiteThatNeverAnswersTimesOut) {
  Silent_Server silent;
  write_previous_list();
  options_.http.stall_timeout = std::chrono::milliseconds(400);  // no page has to arrive here
  start(silent.base());
  auto m = run_command("石墨烯");
  ASSERT_EQ(m.size(), 2u);
  EXPECT_NE(m[0].find("timed out"), std::string::npos) << m[0];
  EXPECT_EQ(list_content(), "previous");  // failed before a list existed
  m = run_command("石墨烯");
  EXPECT_EQ(m.size(), 2u);  // and again: the worker is still serving
}

TEST_F(FaultTest, StalledResultPage) {
  patent_site::Options so;
  so.stall_page = 1;
  Patent_Site site(so);
  start(site.base_url());
  expect_page_one_failure(site, "timed out");
}

TEST_F(FaultTest, HugeResultPageIsRefused) {
  patent_site::Options so;
  so.huge_page = 1;
  Patent_Site site(so);
  start(site.base_url());
  expect_page_one_failure(site, "larger than");
}

TEST_F(FaultTest, ServerErrorPageIsReportedNotTakenAsTheEnd) {
  patent_site::Options so;
  so.error500_page = 1;
  Patent_Site site(so);
  start(site.base_url());
  expect_page_one_failure(site, "HTTP 500");
}

TEST_F(FaultTest, RedirectLoopIsBounded) {
  patent_site::Options so;
  so.redirect_loop_page = 1;
  Patent_Site site(so);
  start(site.base_url());
  expect_page_one_failure(site, "redirect");
}

TEST_F(FaultTest, DroppedConnection) {
  patent_site::Options so;
  so.drop_page = 1;
  Patent_Site site(so);
  start(site.base_url());
  expect_page_one_failure(site, "連線檢索網站失敗");
}

TEST_F(FaultTest, InvalidUtf8IsReplacedNotFatal) {
  patent_site::Options so;
  so.invalid_utf8_page = 0;
  Patent_Site site(so);
  start(site.base_url());
  auto m = run_command("石墨烯");
  ASSERT_EQ(m.size(), 9u);
  EXPECT_NE(m[3].find("\xEF\xBF\xBD"), std::string::npos);  // U+FFFD in the hit lines
  auto rows = test_support::sheet_rows(list_path());
  ASSERT_EQ(rows.size(), 26u);
  EXPECT_NE(rows[1][1].find("\xEF\xBF\xBD"), std::string::npos);
}

TEST_F(FaultTest, CookieChangedMidSearchIsFollowed) {
  patent_site::Options so;
  so.rotate_cookie_page = 1;
  Patent_Site site(so);
  start(site.base_url());
  auto m = run_command("石墨烯");
  EXPECT_EQ(m.size(), 9u);
  EXPECT_EQ(site.error_count(), 0);
  EXPECT_EQ(test_support::sheet_rows(list_path()).size(), 26u);
}

TEST_F(FaultTest, ShortInfoStillPages) {
  patent_site::Options so;
  so.short_info = true;
  Patent_Site site(so);
  start(site.base_url());
  auto m = run_command("石墨烯");
  EXPECT_EQ(m.size(), 9u);
  EXPECT_EQ(site.error_count(), 0);
  EXPECT_EQ(site.page_fetches(2), 1);
}

TEST_F(FaultTest, FailedSaveKeepsThePreviousList) {
  Patent_Site site;
  start(site.base_url());
  run_command("憶阻器");
  const std::string good = list_content();
  // A save that cannot rename over the target (the folder is replaced by a
  // file of the same name) leaves what was there.
  fs::rename(root_ / travo::platform::utf8_path("TRAVO專利檢索軟體"), root_ / "moved");
  { std::ofstream(root_ / travo::platform::utf8_path("TRAVO專利檢索軟體")) << "not a folder"; }
  auto m = run_command("石墨烯");
  EXPECT_NE(m[m.size() - 2].find("無法儲存檢索列表"), std::string::npos);
  fs::remove(root_ / travo::platform::utf8_path("TRAVO專利檢索軟體"));
  fs::rename(root_ / "moved", root_ / travo::platform::utf8_path("TRAVO專利檢索軟體"));
  EXPECT_EQ(list_content(), good);
  // No temporary file was left in the folder.
  size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(root_ / travo::platform::utf8_path("TRAVO專利檢索軟體"))) ++files;
  EXPECT_EQ(files, 1u);
}

TEST_F(FaultTest, FullDiskKeepsThePreviousList) {
  const fs::path mnt = root_ / "small";
  Small_Tmpfs disk(mnt, "64k");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here";
  fs::create_directories(mnt / travo::platform::utf8_path("TRAVO專利檢索軟體"));
  platform::set_environment_variable("CORVANA_ROOT", platform::utf8_string(mnt));
  Patent_Site site;
  start(site.base_url());
  run_command("憶阻器");
  const fs::path list = mnt / travo::platform::utf8_path("TRAVO專利檢索軟體") / travo::platform::utf8_path("專利檢索列表.xlsx");
  ASSERT_TRUE(fs::exists(list));
  const auto before = fs::file_size(list);
  // Fill the disk, then search for more than fits.
  { std::ofstream(mnt / "filler", std::ios::binary) << std::string(64 * 1024 - before - 4096, 'x'); }
  auto m = run_command("裝置");
  EXPECT_NE(m[m.size() - 2].find("無法儲存檢索列表"), std::string::npos) << m[m.size() - 2];
  EXPECT_EQ(fs::file_size(list), before);
  EXPECT_EQ(test_support::sheet_rows(list).size(), 4u);
}

TEST_F(FaultTest, ReadOnlyFolderKeepsThePreviousList) {
  // Root ignores permission bits, so the folder lives on a file system that
  // is remounted read-only.
  const fs::path mnt = root_ / "ro";
  Small_Tmpfs disk(mnt, "1m");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  fs::create_directories(mnt / travo::platform::utf8_path("TRAVO專利檢索軟體"));
  platform::set_environment_variable("CORVANA_ROOT", platform::utf8_string(mnt));
  Patent_Site site;
  start(site.base_url());
  run_command("憶阻器");
  const fs::path list = mnt / travo::platform::utf8_path("TRAVO專利檢索軟體") / travo::platform::utf8_path("專利檢索列表.xlsx");
  ASSERT_EQ(test_support::sheet_rows(list).size(), 4u);
  ASSERT_TRUE(disk.remount("ro"));
  auto m = run_command("石墨烯");
  EXPECT_NE(m[m.size() - 2].find("無法儲存檢索列表"), std::string::npos) << m[m.size() - 2];
  EXPECT_EQ(test_support::sheet_rows(list).size(), 4u);
  disk.remount("rw");
}

}  // namespace
}  // namespace travo::harrow
