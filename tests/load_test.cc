// Fifty 200-page commands back to back through one worker: every command is
// served in order with a full search list, and memory stays flat.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "travo/harrow/receipt.h"
#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "xlsx_test_support.h"
#include "travo/platform/utf8.h"

namespace travo::harrow {
namespace {

namespace fs = std::filesystem;

long rss_kb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

TEST(LoadTest, FiftyFullSearchesInOrderWithFlatMemory) {
#ifdef _WIN32
  GTEST_SKIP() << "the worker's memory is read from /proc/self/status (Linux)";
#endif
  namespace platform = travo::platform;
  const fs::path root = fs::temp_directory_path() / ("load_test_" + std::to_string(platform::current_process_id()));
  fs::remove_all(root);
  fs::create_directories(root / platform::utf8_path("TRAVO專利檢索軟體"));
  platform::set_environment_variable("CORVANA_ROOT", platform::utf8_string(root));

  // The site runs in its own process so that its request log does not count
  // as the worker's memory.
  platform::Process_Options site_options;
  site_options.argv = {platform::environment_variable("TRAVO_BIN_DIR").value_or("bin") + "/patent-site", "--port",
                       "0"};
  site_options.standard_output = platform::Redirect::to_pipe();
  platform::Process site = platform::Process::start(site_options);  // killed with its object
  std::string url;
  const auto deadline = platform::Process_Clock::now() + std::chrono::minutes(1);
  while (url.find('\n') == std::string::npos && site.read_output(url, deadline) == platform::Read_Result::data) {
  }
  ASSERT_NE(url.find("http://"), std::string::npos) << url;
  url = url.substr(url.find("http://"));
  url = url.substr(0, url.find_first_of("\r\n"));

  auto maps = make_shared_maps();
  Receipt_Options options;
  options.site = url;
  std::vector<Command_Outcome> outcomes;
  std::vector<long> rss_after;
  std::mutex mu;
  options.on_command_done = [&](const Command_Outcome& o) {
    std::lock_guard<std::mutex> lock(mu);
    outcomes.push_back(o);
    rss_after.push_back(rss_kb());
  };
  std::thread worker([&] { receipt(maps->Queue_All_variable, maps->Event_All_variable, options); });

  const int kCommands = std::getenv("LOAD_COMMANDS") ? std::atoi(std::getenv("LOAD_COMMANDS")) : 50;
  // Alternate two queries so each command's first message names its own count.
  for (int i = 0; i < kCommands; ++i) {
    maps->Queue_All_variable.at(kStartData).put(Start_Data{{kCommandKey, std::string(i % 2 ? "方法" : "裝置")}});
  }
  Queue& messages = maps->Queue_All_variable.at(kBusy);
  for (int i = 0; i < kCommands; ++i) {
    auto first = messages.take_for(std::chrono::seconds(120));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(std::get<std::string>(*first), i % 2 ? "檢索專利共 1500 筆" : "檢索專利共 2250 筆") << i;
    int pages = 0;
    for (;;) {
      auto item = messages.take_for(std::chrono::seconds(120));
      ASSERT_TRUE(item.has_value());
      const std::string& text = std::get<std::string>(*item);
      if (text == "檢索專利如下:\n") ++pages;
      if (text == kDoneMarker) break;
    }
    EXPECT_EQ(pages, i % 2 ? 150 : 200) << i;
  }
  send_stop_signals(maps->Queue_All_variable, maps->Event_All_variable);
  worker.join();

  ASSERT_EQ(outcomes.size(), static_cast<size_t>(kCommands));
  for (int i = 0; i < kCommands; ++i) {
    EXPECT_FALSE(outcomes[i].failed) << outcomes[i].failure;
    EXPECT_EQ(outcomes[i].hits, i % 2 ? 1500 : 2000);
  }
  // The last command's list is whole: header and 1500 hit rows.
  const std::string sheet = test_support::zip_part(root / travo::platform::utf8_path("TRAVO專利檢索軟體") / travo::platform::utf8_path("專利檢索列表.xlsx"), "xl/worksheets/sheet1.xml");
  size_t rows = 0;
  for (size_t pos = 0; (pos = sheet.find("<row ", pos)) != std::string::npos; ++pos) ++rows;
  EXPECT_EQ(rows, 1501u);

  for (size_t i = 0; i < rss_after.size(); i += 5) std::printf("rss after command %zu: %ld kB\n", i + 1, rss_after[i]);
  // Allocator pools (and a sanitizer's quarantine) fill during the first
  // commands; flat means no growth after that.
  const long first = rss_after[std::min<size_t>(10, rss_after.size() - 1)];
  const long peak = *std::max_element(rss_after.begin(), rss_after.end());
  const long last = rss_after.back();
  std::printf("load_rss_after_warmup_kb: %ld\nload_rss_peak_kb: %ld\nload_rss_after_last_kb: %ld\n", first, peak, last);
  RecordProperty("rss_peak_kb", std::to_string(peak));
  RecordProperty("rss_last_kb", std::to_string(last));
  // Flat: no growth with the number of commands beyond allocator noise.
  EXPECT_LT(last - first, 16 * 1024) << "RSS grew from " << first << " kB to " << last << " kB";
  fs::remove_all(root);
}

}  // namespace
}  // namespace travo::harrow
