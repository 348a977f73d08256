#include "travo/gui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "travo/gui/appearance.h"
#include "travo/gui/gui.h"
#include "travo/platform/paths.h"
#include "travo/platform/utf8.h"
#include "travo/qt_test_support/qt_test_app.h"

namespace travo::gui {
namespace {

const std::string kSourceFolder = TRAVO_SOURCE_DIR "/model/GUI";  // holds 格式範本
const char* const kImages[] = {"logo.ico", "logo.png", "logo(僅文字).png", "資料夾.png", "問號001.png"};

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    qt_test_support::qt_test_app(apply_dark_appearance);
    ASSERT_TRUE(root.isValid());
    qputenv("CORVANA_ROOT", root.path().toUtf8());
    options.program_folder = kSourceFolder;
    options.poll_interval = std::chrono::hours(1);  // the tests run the polling step themselves
    options.product_host = "products.example";
    options.shell.start_detached = [this](const std::string& program, const std::vector<std::string>& args) {
      started.push_back(program);
      for (const auto& a : args) started.push_back(a);
      return true;
    };
    options.shell.open_url = [this](const std::string& address) {
      opened.push_back(address);
      if (address.rfind("https:", 0) == 0) {
        if (https_throws) throw std::runtime_error("no handler");
        return https_opens;
      }
      return http_opens;
    };
  }

  Main_Window& open_window(Queue_Map* queues, Event_Map* events) {
    window = std::make_unique<Main_Window>(queues, events, options);
    window->show();
    return *window;
  }
  Main_Window& open_window() { return open_window(&maps->Queue_All_variable, &maps->Event_All_variable); }

  // A copy of the template folder without `missing`, as a program folder.
  std::filesystem::path program_folder_without(const char* missing) {
    const QString folder = root.filePath("program");
    QDir().mkpath(folder + "/格式範本");
    for (const char* image : kImages) {
      if (std::string(image) == missing) continue;
      EXPECT_TRUE(QFile::copy(QString::fromStdString(kSourceFolder + "/格式範本/" + image),
                              folder + "/格式範本/" + QString::fromUtf8(image)));
    }
    return folder.toStdString();
  }

  QLineEdit* entry() { return window->findChild<QLineEdit*>("檢索指令"); }
  QPushButton* output_button() { return window->findChild<QPushButton*>("輸出檢索列表"); }
  void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
  Event& busy() { return maps->Event_All_variable.at(kBusy); }
  Queue& commands() { return maps->Queue_All_variable.at(kStartData); }
  Queue& messages() { return maps->Queue_All_variable.at(kBusy); }
  QPoint position(QWidget* w) { return w->mapTo(window.get(), QPoint(0, 0)); }

  QTemporaryDir root;
  Gui_Options options;
  std::vector<std::string> started, opened;
  bool https_opens = true, http_opens = true, https_throws = false;
  std::unique_ptr<Shared_Maps> maps = make_shared_maps();
  std::unique_ptr<Main_Window> window;
};

TEST_F(MainWindowTest, WindowIsLaidOutAsDesignedAndCannotBeResized) {
  Main_Window& w = open_window();
  EXPECT_EQ(w.windowTitle(), "TRAVO專利檢索軟體");
  EXPECT_FALSE(w.windowIcon().isNull());
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_EQ(w.width(), 720);  // left column 395+15, right 300+10

  auto* frame1 = w.findChild<QWidget*>("frame1");
  auto* frame2 = w.findChild<QWidget*>("frame2");
  auto* frame5 = w.findChild<QWidget*>("frame5");
  auto* textbox = w.findChild<QWidget*>("textbox");
  ASSERT_TRUE(frame1 && frame2 && frame5 && textbox && entry() && output_button());
  EXPECT_EQ(frame1->size(), QSize(395, 110));
  EXPECT_EQ(frame2->size(), QSize(300, 110));
  EXPECT_EQ(frame5->pos(), QPoint(10, 30));
  EXPECT_EQ(frame5->parentWidget(), frame1);
  EXPECT_EQ(entry()->window(), &w);
  EXPECT_EQ(textbox->size(), QSize(700, 300));
  EXPECT_EQ(position(textbox).x(), 10);
  EXPECT_EQ(position(frame1).x(), 10);
  EXPECT_EQ(position(frame2).x(), 410);

  // The output button is centred on the right panel, at least 140 wide.
  EXPECT_EQ(output_button()->text(), "輸出檢索列表");
  EXPECT_GE(output_button()->width(), 140);
  const QRect panel(position(frame2), frame2->size());
  const QRect button(position(output_button()), output_button()->size());
  EXPECT_LE(std::abs(panel.center().x() - button.center().x()), 1);
  EXPECT_LE(std::abs(panel.center().y() - button.center().y()), 1);

  // Header, left to right: logo, text logo, title, help icon, folder icon.
  auto* logo = w.findChild<QPushButton*>("logo");
  auto* text_logo = w.findChild<QPushButton*>("text_logo");
  auto* title = w.findChild<QLabel*>("title");
  auto* help = w.findChild<QPushButton*>("help_icon");
  auto* folder = w.findChild<QPushButton*>("folder_icon");
  ASSERT_TRUE(logo && text_logo && title && help && folder);
  EXPECT_FALSE(logo->isEnabled());
  EXPECT_EQ(logo->iconSize(), QSize(50, 50));
  EXPECT_EQ(text_logo->iconSize(), QSize(120, 30));
  EXPECT_EQ(title->text(), "TRAVO專利檢索軟體");
  EXPECT_TRUE(title->font().bold());
  EXPECT_EQ(title->font().pixelSize(), 16);
  EXPECT_LT(position(logo).x(), position(text_logo).x());
  EXPECT_LT(position(text_logo).x(), position(title).x());
  EXPECT_LT(position(title).x() + title->width(), position(help).x());
  EXPECT_EQ(position(folder).x() - position(help).x(), 75);
  EXPECT_EQ(help->iconSize(), QSize(25, 25));
  EXPECT_LT(position(folder).y() + folder->height(), position(frame1).y());
}

TEST_F(MainWindowTest, OutputActionSendsTheCommandAndClearsTheMessageArea) {
  Main_Window& w = open_window();
  w.textbox().insert_end("上一次的結果\n");
  QTest::keyClicks(entry(), "  LiDAR AND ");
  entry()->insert("石墨烯 ");  // as an input method commits it
  click(output_button());

  EXPECT_TRUE(busy().is_set());
  EXPECT_EQ(w.textbox().text(), "");
  ASSERT_EQ(commands().size(), 1u);
  const Queue_Item item = commands().take();
  const Start_Data expected{{"文字大小比例", std::int64_t{1}},
                            {"中文文字字體", std::string("標楷體")},
                            {"英文文字字體", std::string("Calibri")},
                            {"分析最接近專利數量", std::int64_t{5}},
                            {"檢索指令", std::string("  LiDAR AND 石墨烯 ")}};
  ASSERT_TRUE(std::holds_alternative<Start_Data>(item));
  EXPECT_EQ(std::get<Start_Data>(item), expected);  // key order included

  // A command of spaces only is a command too.
  entry()->setText("   ");
  click(output_button());
  EXPECT_EQ(commands().size(), 1u);
}

TEST_F(MainWindowTest, EmptyEntryPromptsAndGivesTheBusyStateBack) {
  Main_Window& w = open_window();
  click(output_button());
  EXPECT_EQ(w.textbox().text(), "請輸入關鍵字\n");
  EXPECT_TRUE(commands().empty());
  EXPECT_FALSE(busy().is_set());
  w.run_aa();
  EXPECT_EQ(output_button()->text(), "輸出檢索列表");

  // While the worker is busy, a click on an empty entry does not end the busy display.
  busy().set();
  click(output_button());
  EXPECT_TRUE(busy().is_set());
  w.run_aa();
  EXPECT_EQ(output_button()->text(), "輸出中.");
}

TEST_F(MainWindowTest, FailedPutShowsTheRedErrorLineAndKeepsTheBusyState) {
  Queue_Map queues;  // no "起始數據": the put fails
  queues.add(kBusy);
  queues.add(kEnd);
  Main_Window& w = open_window(&queues, &maps->Event_All_variable);
  entry()->setText("石墨烯");
  click(output_button());
  click(output_button());  // the line is red from the first failure on, and stays red

  const QString text = w.textbox().text();
  const QString heading = "button_event_001函數出現錯誤\n";
  ASSERT_TRUE(text.startsWith(heading)) << text.toStdString();
  EXPECT_TRUE(text.endsWith("\n"));
  EXPECT_TRUE(text.contains("起始數據"));  // the failure's own description
  EXPECT_EQ(text.count(heading), 2);       // the put fails before the area would be cleared
  EXPECT_EQ(w.textbox().foreground_at(0), QColor("red"));
  EXPECT_EQ(w.textbox().foreground_at(text.lastIndexOf(heading)), QColor("red"));
  EXPECT_EQ(w.textbox().foreground_at(heading.size() - 2), QColor("red"));
  EXPECT_NE(w.textbox().foreground_at(heading.size()), QColor("red"));
  EXPECT_TRUE(busy().is_set());
}

TEST_F(MainWindowTest, PollingMovesOneMessagePerRunAndMarksTheEnd) {
  Main_Window& w = open_window();
  const std::vector<std::string> sent = {"檢索專利共 25 筆", "", "檢索專利如下:\n",
                                         "TWI800001B --> 石墨烯散熱裝置\nTWI800002B --> 石墨烯電池\n",
                                         "檢索專利如下:\n", "TWI800003B --> 量測方法\n", "檢索專利如下:\n",
                                         "TWM600004U --> 夾具\n", "檢索專利如下:\n", "TW202300005A --> 電極\n"};
  busy().set();
  for (const auto& m : sent) messages().put(m);
  messages().put(std::string(kDoneMarker));

  QString expected;
  for (const auto& m : sent) {
    w.run_aa();
    expected += QString::fromStdString(m) + "\n";
    ASSERT_EQ(w.textbox().text(), expected);
    EXPECT_TRUE(busy().is_set());
  }
  w.run_aa();
  expected += "\n完成";
  EXPECT_EQ(w.textbox().text(), expected);
  EXPECT_FALSE(busy().is_set());
  EXPECT_TRUE(messages().empty());

  w.run_aa();  // nothing left: nothing changes but the caption
  EXPECT_EQ(w.textbox().text(), expected);
  EXPECT_EQ(output_button()->text(), "輸出檢索列表");
  EXPECT_TRUE(w.poll_timer().isActive());  // each run schedules the next
}

TEST_F(MainWindowTest, BusyCaptionCyclesOnTheOutputButton) {
  Main_Window& w = open_window();
  busy().set();
  std::vector<QString> captions;
  for (int run = 0; run < 4; ++run) {
    w.run_aa();
    captions.push_back(output_button()->text());
  }
  EXPECT_EQ(captions, (std::vector<QString>{"輸出中.", "輸出中..", "輸出中...", "輸出中."}));

  w.set_button().configure("輸出檢索列表", "text", "其他");
  w.run_aa();
  EXPECT_EQ(output_button()->text(), "輸出中.");

  busy().clear();
  w.run_aa();
  EXPECT_EQ(output_button()->text(), "輸出檢索列表");
}

TEST_F(MainWindowTest, EscStopsOnlyARunningSearchAndTheBusyButtonSaysSo) {
  Main_Window& w = open_window();
  Event& stop = maps->Event_All_variable.at(kStopSearch);

  // Idle: Esc sends nothing, and the button has no tooltip.
  w.run_aa();
  EXPECT_TRUE(output_button()->toolTip().isEmpty());
  QTest::keyClick(entry(), Qt::Key_Escape);
  EXPECT_FALSE(stop.is_set());

  // Searching: the busy button tells how to stop, and Esc pressed in the
  // entry, in the message area or on the window itself sends the stop.
  entry()->setText("石墨烯");
  click(output_button());
  ASSERT_TRUE(busy().is_set());
  w.run_aa();
  EXPECT_EQ(output_button()->toolTip(), QString(kStopTip));
  EXPECT_NE(output_button()->toolTip().indexOf("Esc"), -1);
  for (QWidget* target : {static_cast<QWidget*>(entry()), static_cast<QWidget*>(&w.textbox()),
                          static_cast<QWidget*>(&w)}) {
    stop.clear();
    QTest::keyClick(target, Qt::Key_Escape);
    EXPECT_TRUE(stop.is_set()) << target->objectName().toStdString();
  }
  EXPECT_EQ(commands().size(), 1u) << "Esc puts no command";
  EXPECT_TRUE(busy().is_set()) << "the worker, not the window, ends the run";

  // Other keys do not stop; once the run is over the tooltip goes.
  stop.clear();
  QTest::keyClick(entry(), Qt::Key_Escape, Qt::ShiftModifier);
  QTest::keyClick(entry(), Qt::Key_Q);
  EXPECT_FALSE(stop.is_set());
  messages().put(std::string(kDoneMarker));
  w.run_aa();
  w.run_aa();
  EXPECT_TRUE(output_button()->toolTip().isEmpty());
  QTest::keyClick(entry(), Qt::Key_Escape);
  EXPECT_FALSE(stop.is_set());
}

TEST_F(MainWindowTest, TheWindowsOwnTimerRunsThePollingStep) {
  options.poll_interval = std::chrono::milliseconds(1);
  Main_Window& w = open_window();
  messages().put(std::string("第一則"));
  messages().put(std::string("第二則"));
  messages().put(std::string(kDoneMarker));
  // The bound only stops a broken build from hanging.
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.textbox().text().endsWith("完成"); }, 120000));
  EXPECT_EQ(w.textbox().text(), "第一則\n第二則\n\n完成");
}

TEST_F(MainWindowTest, PreviewWithoutMapsReportsOnlyTheOutputAction) {
  Main_Window& w = open_window(nullptr, nullptr);
  entry()->setText("石墨烯");
  testing::internal::CaptureStderr();
  click(output_button());
  w.run_aa();
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_EQ(report.rfind("[try_except_log] button_event_001: ", 0), 0u) << report;
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1);  // the polling step stays silent
  EXPECT_EQ(w.textbox().text(), "");
  EXPECT_EQ(output_button()->text(), "輸出檢索列表");
  EXPECT_TRUE(w.poll_timer().isActive());
}

TEST_F(MainWindowTest, FolderIconOpensTheOutputFolder) {
  open_window();
  click(window->findChild<QPushButton*>("folder_icon"));
  const std::string folder = platform::utf8_string(platform::product_folder());
#ifdef _WIN32
  EXPECT_EQ(started, (std::vector<std::string>{"explorer", platform::windows_form(folder)}));
#else
  EXPECT_EQ(started, (std::vector<std::string>{"xdg-open", folder}));
#endif
  EXPECT_EQ(folder.rfind(root.path().toStdString(), 0), 0u);
}

TEST_F(MainWindowTest, HelpIconTriesHttpsThenHttpOnce) {
  const std::string https = "https://products.example:34008/TRAVO專利檢索軟體";
  const std::string http = "http://products.example:34008/TRAVO專利檢索軟體";
  open_window();
  auto* help = window->findChild<QPushButton*>("help_icon");

  click(help);
  EXPECT_EQ(opened, (std::vector<std::string>{https}));

  opened.clear();
  https_opens = false;
  click(help);
  EXPECT_EQ(opened, (std::vector<std::string>{https, http}));

  opened.clear();
  https_throws = true;
  click(help);
  EXPECT_EQ(opened, (std::vector<std::string>{https, http}));

  opened.clear();
  http_opens = false;
  testing::internal::CaptureStderr();
  click(help);
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_EQ(opened, (std::vector<std::string>{https, http}));
  EXPECT_EQ(report.rfind("[try_except_log] button_event_008: ", 0), 0u) << report;
  EXPECT_EQ(window->textbox().text(), "");
}

TEST_F(MainWindowTest, MissingWindowIconKeepsTheDefaultIcon) {
  options.program_folder = program_folder_without("logo.ico");
  testing::internal::CaptureStdout();
  Main_Window& w = open_window();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(w.windowIcon().isNull() || w.windowIcon().cacheKey() == QApplication::windowIcon().cacheKey());
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
  EXPECT_NE(out.find("logo.ico"), std::string::npos);
  EXPECT_NE(w.findChild<QLabel*>("title"), nullptr);
}

TEST_F(MainWindowTest, MissingHeaderImageLeavesOutItsWidgetAndTheRestOfTheBlock) {
  struct Case {
    const char* missing;
    bool logo_kept;
  };
  for (const Case& c : {Case{"logo.png", false}, Case{"logo(僅文字).png", true}}) {
    SCOPED_TRACE(c.missing);
    options.program_folder = program_folder_without(c.missing);
    testing::internal::CaptureStdout();
    Main_Window& w = open_window();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_NE(out.find(c.missing), std::string::npos);
    EXPECT_EQ(w.findChild<QPushButton*>("logo") != nullptr, c.logo_kept);
    EXPECT_EQ(w.findChild<QPushButton*>("text_logo"), nullptr);
    EXPECT_EQ(w.findChild<QLabel*>("title"), nullptr);

    // The rest of the window still works.
    EXPECT_FALSE(w.windowIcon().isNull());
    entry()->setText("量子點");
    click(output_button());
    EXPECT_EQ(commands().size(), 1u);
    commands().take();
    QDir(root.filePath("program")).removeRecursively();
  }
}

TEST_F(MainWindowTest, MissingIconImageFailsTheWindow) {
  options.program_folder = program_folder_without("資料夾.png");
  EXPECT_THROW(Main_Window(&maps->Queue_All_variable, &maps->Event_All_variable, options), std::runtime_error);
}

TEST_F(MainWindowTest, OutputFoldersAreCreatedAndMayExistAlready) {
  ensure_output_folders();
  const auto folder = platform::product_folder();
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  std::filesystem::path marker = folder / "kept.txt";
  QFile(QString::fromStdString(marker.string())).open(QIODevice::WriteOnly);
  EXPECT_NO_THROW(ensure_output_folders());
  EXPECT_TRUE(std::filesystem::exists(marker));

  // A root that cannot be created is not an error either.
  qputenv("CORVANA_ROOT", root.filePath("a/file/below").toUtf8());
  QFile(root.filePath("a")).open(QIODevice::WriteOnly);
  EXPECT_NO_THROW(ensure_output_folders());
}

TEST(TemplateFolder, ImagesAreInstalledBesideTheExecutables) {
  const QByteArray bin = qgetenv("TRAVO_BIN_DIR");
  if (bin.isEmpty()) GTEST_SKIP() << "TRAVO_BIN_DIR is not set";
  for (const char* image : kImages) {
    EXPECT_TRUE(QFile::exists(QString::fromUtf8(bin) + "/格式範本/" + QString::fromUtf8(image))) << image;
  }
}

}  // namespace
}  // namespace travo::gui
