// Fifty 200-page commands back to back through one worker: every command is
// served in order with a full search list, and memory stays flat.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "travo/harrow/receipt.h"
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
  const fs::path root = fs::temp_directory_path() / ("load_test_" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / travo::platform::utf8_path("TRAVO專利檢索軟體"));
  setenv("CORVANA_ROOT", root.c_str(), 1);

  // The site runs in its own process so that its request log does not count
  // as the worker's memory.
  const char* bin = std::getenv("TRAVO_BIN_DIR");
  const std::string dir =
      bin ? std::string(bin) : (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin").string();
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const std::string exe = dir + "/patent-site";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    execl(exe.c_str(), exe.c_str(), "--port", "0", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  struct Site_Process {
    pid_t pid;
    int fd;
    ~Site_Process() {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      close(fd);
    }
  } site_process{pid, out[0]};
  std::string url;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') url += c;
  ASSERT_NE(url.find("http://"), std::string::npos) << url;
  url = url.substr(url.find("http://"));

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
