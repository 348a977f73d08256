// The window with the real search worker against the local patent site.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "travo/channel/shared_maps.h"
#include "travo/gui/appearance.h"
#include "travo/gui/gui.h"
#include "travo/gui/main_window.h"
#include "travo/harrow/receipt.h"
#include "travo/patent_site/patent_site.h"
#include "travo/platform/paths.h"
#include "travo/platform/process.h"
#include "travo/platform/utf8.h"
#include "travo/qt_test_support/qt_test_app.h"

namespace travo {
namespace {

using namespace std::chrono_literals;

// Generous bound for waits on the worker, so a broken run fails instead of hanging.
constexpr auto kPatience = 60s;

class WindowWithWorkerTest : public testing::Test {
 protected:
  void SetUp() override {
    qt_test_support::qt_test_app(gui::apply_dark_appearance);
    ASSERT_TRUE(root.isValid());
    qputenv("CORVANA_ROOT", root.path().toUtf8());
    gui::ensure_output_folders();
    receipt_options.site = site.base_url();
    receipt_options.empty_page_wait = 1ms;
    gui_options.program_folder = TRAVO_SOURCE_DIR "/model/GUI";
    gui_options.poll_interval = 24h;  // the tests run the polling step themselves
    gui_options.shell.start_detached = [](const std::string&, const std::vector<std::string>&) { return true; };
    gui_options.shell.open_url = [](const std::string&) { return true; };
  }
  void TearDown() override { stop_worker(); }

  void start_worker() {
    worker = std::thread([this] { harrow::receipt(maps->Queue_All_variable, maps->Event_All_variable, receipt_options); });
  }
  void stop_worker() {
    if (!worker.joinable()) return;
    if (!maps->Event_All_variable.at(kEnd).is_set()) send_stop_signals(maps->Queue_All_variable, maps->Event_All_variable);
    worker.join();
  }

  // The messages the worker sends for `command`, read straight off the queue.
  std::vector<std::string> reference_messages(const std::string& command) {
    Start_Data start_data{{kCommandKey, command}};
    maps->Queue_All_variable.at(kStartData).put(start_data);
    std::vector<std::string> messages;
    for (;;) {
      auto item = maps->Queue_All_variable.at(kBusy).take_for(kPatience);
      if (!item) {
        ADD_FAILURE() << "the worker sent no completion marker";
        return messages;
      }
      const std::string text = std::get<std::string>(*item);
      if (text == kDoneMarker) return messages;
      messages.push_back(text);
    }
  }

  std::filesystem::path search_list() const {
    return platform::search_list_path();
  }

  QTemporaryDir root;
  patent_site::Patent_Site site{patent_site::Options{}};
  std::unique_ptr<Shared_Maps> maps = make_shared_maps();
  harrow::Receipt_Options receipt_options;
  gui::Gui_Options gui_options;
  std::thread worker;
};

TEST_F(WindowWithWorkerTest, SearchShowsTheWorkersMessagesOnePerPollingRun) {
  start_worker();
  const std::vector<std::string> sent = reference_messages("石墨烯");
  ASSERT_EQ(sent.size(), 2u + 2 * 3);  // count, "", then 3 pages of header and lines
  EXPECT_EQ(sent[0], "檢索專利共 25 筆");
  std::filesystem::remove(search_list());

  gui::Main_Window window(&maps->Queue_All_variable, &maps->Event_All_variable, gui_options);
  window.show();
  window.findChild<QLineEdit*>("檢索指令")->setText("石墨烯");
  QTest::mouseClick(window.findChild<QPushButton*>("輸出檢索列表"), Qt::LeftButton);

  // Run the polling step whenever a message waits, checking the area after each run.
  QString expected;
  Queue& queue = maps->Queue_All_variable.at(kBusy);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  size_t shown = 0;
  while (!window.textbox().text().endsWith("完成") && std::chrono::steady_clock::now() < deadline) {
    if (queue.empty()) {
      std::this_thread::sleep_for(1ms);
      continue;
    }
    window.run_aa();
    if (shown < sent.size()) expected += QString::fromStdString(sent[shown]) + "\n";
    else expected += "\n完成";
    ++shown;
    ASSERT_EQ(window.textbox().text(), expected) << "after polling run " << shown;
  }
  EXPECT_EQ(shown, sent.size() + 1);
  EXPECT_TRUE(window.textbox().text().endsWith("\n完成"));
  EXPECT_FALSE(maps->Event_All_variable.at(kBusy).is_set());
  EXPECT_TRUE(std::filesystem::exists(search_list()));
}

TEST_F(WindowWithWorkerTest, WholeRunThroughGuiWithItsOwnTimerThenStop) {
  start_worker();
  const std::vector<std::string> sent = reference_messages("憶阻器");
  QString expected;
  for (const auto& m : sent) expected += QString::fromStdString(m) + "\n";
  expected += "\n完成";

  QString shown;
  std::vector<QString> captions;
  gui_options.poll_interval = 1ms;
  gui_options.on_shown = [&](gui::Main_Window& window) {
    window.findChild<QLineEdit*>("檢索指令")->setText("憶阻器");
    auto* button = window.findChild<QPushButton*>("輸出檢索列表");
    QTest::mouseClick(button, Qt::LeftButton);
    auto* watch = new QTimer(&window);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    QObject::connect(watch, &QTimer::timeout, &window, [&, button, deadline] {
      if (captions.empty() || captions.back() != button->text()) captions.push_back(button->text());
      if (window.textbox().text().endsWith("完成") || std::chrono::steady_clock::now() > deadline) {
        shown = window.textbox().text();
        window.close();
      }
    });
    watch->start(1);
  };
  gui::GUI(maps->Queue_All_variable, maps->Event_All_variable, gui_options);

  EXPECT_EQ(shown, expected);
  ASSERT_FALSE(captions.empty());
  EXPECT_EQ(captions.front().left(3), "輸出中");  // busy from the click on
  // Stop signals: the empty value on "end", the event "end"; the worker took
  // the wake-up item from "起始數據" and returned.
  EXPECT_TRUE(maps->Event_All_variable.at(kEnd).is_set());
  ASSERT_EQ(maps->Queue_All_variable.at(kEnd).size(), 1u);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(maps->Queue_All_variable.at(kEnd).take()));
  worker.join();
  EXPECT_TRUE(maps->Queue_All_variable.at(kStartData).empty());
}

TEST_F(WindowWithWorkerTest, ClosingWhileACommandIsServedLetsItFinishThenStops) {
  site.stop();
  patent_site::Options slow;
  slow.delay = 20ms;
  patent_site::Patent_Site slow_site(slow);
  receipt_options.site = slow_site.base_url();
  start_worker();

  gui_options.on_shown = [&slow_site](gui::Main_Window& window) {
    window.findChild<QLineEdit*>("檢索指令")->setText("石墨烯");
    QTest::mouseClick(window.findChild<QPushButton*>("輸出檢索列表"), Qt::LeftButton);
    // A command taken after "end" is set is never served; close once the
    // worker has reached the site, while it is still in the middle of it.
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (slow_site.request_count() == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
    window.close();
  };
  gui::GUI(maps->Queue_All_variable, maps->Event_All_variable, gui_options);
  EXPECT_TRUE(maps->Event_All_variable.at(kEnd).is_set());
  worker.join();  // returns only after the command it was serving

  // The command ran to its end: its search list is saved and its marker sent.
  EXPECT_TRUE(std::filesystem::exists(search_list()));
  std::vector<std::string> left;
  while (auto item = maps->Queue_All_variable.at(kBusy).take_for(0ms)) left.push_back(std::get<std::string>(*item));
  ASSERT_FALSE(left.empty());
  EXPECT_EQ(left.back(), kDoneMarker);
  EXPECT_EQ(left.front(), "檢索專利共 25 筆");
}

TEST_F(WindowWithWorkerTest, EscStopsAStalledSearchAndTheWindowReturnsToIdle) {
  site.stop();
  patent_site::Options stalled;
  stalled.stall_page = 1;  // the search hangs in the request for page 1
  patent_site::Patent_Site stalled_site(stalled);
  receipt_options.site = stalled_site.base_url();
  receipt_options.http.stall_timeout = 24h;  // only the stop can end that request
  start_worker();

  gui::Main_Window window(&maps->Queue_All_variable, &maps->Event_All_variable, gui_options);
  window.show();
  window.findChild<QLineEdit*>("檢索指令")->setText("石墨烯");
  auto* button = window.findChild<QPushButton*>("輸出檢索列表");
  QTest::mouseClick(button, Qt::LeftButton);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (stalled_site.page_fetches(1) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(stalled_site.page_fetches(1), 1);
  window.run_aa();
  EXPECT_EQ(button->toolTip(), QString(gui::kStopTip));
  QTest::keyClick(window.findChild<QLineEdit*>("檢索指令"), Qt::Key_Escape);

  Queue& queue = maps->Queue_All_variable.at(kBusy);
  while (!window.textbox().text().endsWith("完成") && std::chrono::steady_clock::now() < deadline) {
    if (queue.empty()) {
      std::this_thread::sleep_for(1ms);
      continue;
    }
    window.run_aa();
  }
  EXPECT_TRUE(window.textbox().text().endsWith("已停止檢索，檢索列表含已讀取的 10 筆\n\n完成"))
      << window.textbox().text().toStdString();
  window.run_aa();
  EXPECT_EQ(button->text(), "輸出檢索列表");
  EXPECT_TRUE(button->toolTip().isEmpty());
  EXPECT_FALSE(maps->Event_All_variable.at(kBusy).is_set());
  EXPECT_TRUE(std::filesystem::exists(search_list()));
}

TEST(Launcher, HelpWorksWithoutADisplay) {
  const QByteArray bin = qgetenv("TRAVO_BIN_DIR");
  if (bin.isEmpty()) GTEST_SKIP() << "TRAVO_BIN_DIR is not set";
  platform::Process_Options o;
  o.argv = {bin.toStdString() + "/travo", "--help"};
  o.remove_environment = {"DISPLAY", "QT_QPA_PLATFORM"};
  const platform::Run_Result r = platform::run(o, std::chrono::minutes(2));
  EXPECT_EQ(r.status.code, 0) << r.error;
  EXPECT_NE(r.output.find("--site"), std::string::npos) << r.output;
}

// A failure before the window opens: the program ends with a status, says
// why on standard error, and shows it in a message box (recorded here, since
// no one can click a test's box away).
struct Start_Failure {
  int status = -1;
  std::string error;
  std::string box;
};

Start_Failure run_travo_until_it_fails(std::vector<std::string> args, const std::string& corvana_root,
                                       bool record_box = true) {
  const QByteArray bin = qgetenv("TRAVO_BIN_DIR");
  QTemporaryDir dir;
  const std::string box_file = record_box ? dir.filePath("box.txt").toStdString() : std::string();
  platform::Process_Options o;
  o.argv = {bin.toStdString() + "/travo"};
  o.argv.insert(o.argv.end(), args.begin(), args.end());
  o.environment = {{"QT_QPA_PLATFORM", "offscreen"}, {"CORVANA_ROOT", corvana_root}};
  if (record_box) o.environment.emplace_back("TRAVO_MESSAGE_BOX_RECORD", box_file);
  o.remove_environment = {"TRAVO_SITE", "TRAVO_MESSAGE_BOX_RECORD"};
  const platform::Run_Result r = platform::run(o, std::chrono::minutes(2));
  Start_Failure f;
  f.status = r.timed_out ? -1 : r.status.code;
  f.error = r.error;
  if (record_box) {
    std::ifstream box(platform::utf8_path(box_file), std::ios::binary);
    f.box.assign(std::istreambuf_iterator<char>(box), {});
  }
  return f;
}

TEST(Launcher, AnOutputFolderThatCannotBeMadeStopsItWithAMessageBox) {
  if (qgetenv("TRAVO_BIN_DIR").isEmpty()) GTEST_SKIP() << "TRAVO_BIN_DIR is not set";
  QTemporaryDir dir;
  // "C:/corvana/" would lie below a file, which no system lets one make.
  { std::ofstream(platform::utf8_path(dir.filePath("a file").toStdString())) << "x"; }
  const std::string root = dir.filePath("a file/corvana").toStdString();
  const Start_Failure f = run_travo_until_it_fails({}, root);
  EXPECT_EQ(f.status, 1) << f.error;
  EXPECT_EQ(f.box.rfind("TRAVO專利檢索軟體無法啟動：\n無法建立資料夾 ", 0), 0u) << f.box;
  EXPECT_NE(f.box.find("TRAVO專利檢索軟體"), f.box.rfind("TRAVO專利檢索軟體")) << "the folder is not named: " << f.box;
  EXPECT_NE(f.error.find("travo: 無法建立資料夾 "), std::string::npos) << f.error;
}

TEST(Launcher, ABadSiteStopsItWithAMessageBoxAndTheUsage) {
  if (qgetenv("TRAVO_BIN_DIR").isEmpty()) GTEST_SKIP() << "TRAVO_BIN_DIR is not set";
  QTemporaryDir root;
  const Start_Failure f = run_travo_until_it_fails({"--site", "ftp://127.0.0.1:1"}, root.path().toStdString());
  EXPECT_EQ(f.status, 2) << f.error;
  EXPECT_EQ(f.box.rfind("TRAVO專利檢索軟體無法啟動：\n", 0), 0u) << f.box;
  EXPECT_NE(f.box.find("ftp://127.0.0.1:1"), std::string::npos) << f.box;
  EXPECT_NE(f.error.find("--site"), std::string::npos) << "no usage: " << f.error;
  // The same refusal as travo-search's.
  std::string error = f.error;
  std::erase(error, '\r');
  EXPECT_NE(error.find("travo: 檢索網站位址必須以 http:// 或 https:// 開頭並含主機名稱: ftp://127.0.0.1:1（來自命令列選項 --site）\n"),
            std::string::npos)
      << error;
}

// Qt's offscreen platform has no one to click a modal box away: there the
// message goes to standard error alone and the program ends.
TEST(Launcher, OnTheOffscreenPlatformNoBoxHoldsItUp) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows shows its own box whatever Qt's platform";
#endif
  if (qgetenv("TRAVO_BIN_DIR").isEmpty()) GTEST_SKIP() << "TRAVO_BIN_DIR is not set";
  QTemporaryDir root;
  const Start_Failure f = run_travo_until_it_fails({"--site", "ftp://127.0.0.1:1"}, root.path().toStdString(), false);
  EXPECT_EQ(f.status, 2) << f.error;
  EXPECT_NE(f.error.find("ftp://127.0.0.1:1"), std::string::npos) << f.error;
}

}  // namespace
}  // namespace travo
