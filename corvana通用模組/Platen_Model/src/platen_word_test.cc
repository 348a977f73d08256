// The converter's Word path on Windows, against a stand-in Word
// (stand_in_word_windows.cc) registered as Word.Application for these
// tests: real COM activation of an out-of-process server, real process
// trees, a real .docx. The stand-in is copied to a folder with spaces and
// Chinese in its name and registered without quotes, as Office registers
// WINWORD.EXE.
//
// Registration is global to a Wine prefix: these cases run in a prefix of
// their own and take turns in it (see CMakeLists.txt).
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platen_model/platen_model.h"
#include "platen_model/test_support.h"
#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "travo/platform/process_testing.h"
#include "travo/platform/temp_folder.h"
#include "travo/platform/utf8.h"

namespace platen_model {
namespace {

namespace fs = std::filesystem;
namespace platform = travo::platform;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using platform::test_support::eventually;
using platform::test_support::process_gone;
using test_support::error_of;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Counts what a converter says about the Words it starts.
class Word_Events : public Observer {
 public:
  void word_started(platform::Process_Id pid) override { started.push_back(pid); }
  void word_stopped(platform::Process_Id pid) override { stopped.push_back(pid); }
  std::vector<platform::Process_Id> started, stopped;
};

class PlatenWord : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    install_ = new fs::path(platform::create_private_folder("platen-word-"));
    const fs::path office = *install_ / platform::utf8_path("Microsoft Office 程式");
    fs::create_directories(office);
    fs::copy_file(platform::utf8_path(PLATEN_STAND_IN_WORD), office / "WINWORD.EXE");
    word_exe_ = new fs::path(office / "WINWORD.EXE");
    const platform::Run_Result r = platform::run({platform::utf8_string(*word_exe_), "/RegServer"}, kBound);
    ASSERT_TRUE(r.status.success()) << "registering the stand-in Word: " << r.status.describe();
  }
  static void TearDownTestSuite() {
    platform::run({platform::utf8_string(*word_exe_), "/UnregServer"}, kBound);
    std::error_code ec;
    fs::remove_all(*install_, ec);
    delete word_exe_;
    delete install_;
  }

  void SetUp() override {
    for (const char* name : kVariables) saved_.emplace_back(name, platform::environment_variable(name));
    dir_ = platform::create_private_folder("platen-word-test-");
    fs::create_directories(dir_ / "log");
    platform::set_environment_variable("PLATEN_STAND_IN_WORD_LOG", platform::utf8_string(dir_ / "log"));
    platform::unset_environment_variable("PLATEN_STAND_IN_WORD");
    platform::unset_environment_variable("TRAVO_PDF_CONVERTER");
    // No LibreOffice anywhere.
    platform::unset_environment_variable("TRAVO_SOFFICE");
    for (const char* name : {"PATH", "ProgramFiles", "ProgramFiles(x86)"}) {
      platform::set_environment_variable(name, platform::utf8_string(dir_ / "empty"));
    }
    docx_ = dir_ / platform::utf8_path("專利 報告.docx");
    fs::copy_file(platform::utf8_path(TRAVO_SOURCE_DIR "/corvana通用模組/Platen_Model/testdata/commented.docx"), docx_);
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) platform::set_environment_variable(name, *value);
      else platform::unset_environment_variable(name);
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  Options options() {
    Options o;
    o.observer = &events_;
    return o;
  }

  std::string input() const { return platform::utf8_string(docx_); }
  std::string out(const char* name) const { return platform::utf8_string(dir_ / "out" / platform::utf8_path(name)); }

  // The stand-in processes that ran, by role ("server", "user", "child").
  std::vector<platform::Process_Id> processes(const std::string& role) const {
    std::istringstream in(read_file(dir_ / "log" / "pids"));
    std::vector<platform::Process_Id> ids;
    unsigned long id;
    std::string kind;
    while (in >> id >> kind) {
      if (kind == role) ids.push_back(static_cast<platform::Process_Id>(id));
    }
    return ids;
  }

  // The calls stand-in `pid` served, one a line.
  std::string calls_of(platform::Process_Id pid) const {
    return read_file(dir_ / "log" / ("calls-" + std::to_string(pid) + ".log"));
  }

  bool all_gone(const std::vector<platform::Process_Id>& ids) const {
    for (platform::Process_Id id : ids) {
      if (!eventually([&] { return process_gone(id); })) return false;
    }
    return true;
  }

  static bool is_word_pdf(const std::string& file) {
    return read_file(platform::utf8_path(file)).rfind("%PDF-1.4\nstand-in Word\n", 0) == 0;
  }

  static constexpr std::chrono::seconds kBound{120};
  static constexpr const char* kVariables[] = {"PLATEN_STAND_IN_WORD", "PLATEN_STAND_IN_WORD_LOG", "TRAVO_PDF_CONVERTER",
                                               "TRAVO_SOFFICE", "PATH", "ProgramFiles", "ProgramFiles(x86)"};
  static inline fs::path* install_ = nullptr;
  static inline fs::path* word_exe_ = nullptr;
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
  fs::path dir_;
  fs::path docx_;
  Word_Events events_;
};

TEST_F(PlatenWord, ConvertsThroughItsOwnHiddenWordWithoutLibreOffice) {
  {
    Platen_Model converter(options());
    converter.convert(input(), out("報告 一.pdf"), /*keep_active=*/false);
    EXPECT_TRUE(is_word_pdf(out("報告 一.pdf")));
    EXPECT_THAT(read_file(platform::utf8_path(out("報告 一.pdf"))), HasSubstr(input()));
    // Only the PDF reaches the output folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 1);
  }
  const auto words = processes("server");
  ASSERT_EQ(words.size(), 1u);
  EXPECT_EQ(events_.started, words);
  EXPECT_EQ(events_.stopped, words);
  EXPECT_TRUE(all_gone(words));

  // The calls Word got, in order: hidden, no alerts, the document opened
  // read-only without dialogs or a recent-files entry, exported as PDF,
  // closed without saving, and the Word quit (keep_active was false).
  std::istringstream lines(calls_of(words[0]));
  std::vector<std::string> calls;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Application.Caption", 0) != 0) calls.push_back(line);
  }
  EXPECT_THAT(calls, ElementsAre("created", "Application.DisplayAlerts = 0", "Application.Visible = false",
                                 "Application.Documents",
                                 AllOf(HasSubstr("Documents.Open"), HasSubstr("ConfirmConversions=false"),
                                       HasSubstr("ReadOnly=true"), HasSubstr("AddToRecentFiles=false"),
                                       HasSubstr("報告.docx")),
                                 AllOf(HasSubstr("Document.ExportAsFixedFormat"), HasSubstr("ExportFormat=17")),
                                 "Document.Close SaveChanges=0", "Application.Quit SaveChanges=0"));
}

TEST_F(PlatenWord, OneWordServesAJobAndQuitsWithTheConverter) {
  {
    Platen_Model converter(options());
    for (const char* name : {"一.pdf", "二.pdf", "三.pdf"}) {
      converter.convert(input(), out(name), /*keep_active=*/true);
      EXPECT_TRUE(is_word_pdf(out(name))) << name;
    }
    EXPECT_EQ(processes("server").size(), 1u);
    EXPECT_EQ(events_.stopped.size(), 0u);
  }
  const auto words = processes("server");
  ASSERT_EQ(words.size(), 1u);
  EXPECT_THAT(calls_of(words[0]), HasSubstr("Application.Quit"));
  EXPECT_TRUE(all_gone(words));
}

// Word's own complaint about a document reaches the caller; the Word it came
// from is well and serves the next document.
TEST_F(PlatenWord, DocumentWordCannotOpenFailsWithWordsWords) {
  const fs::path broken = dir_ / "broken.docx";
  std::ofstream(broken, std::ios::binary) << "PK\x03\x04 a package without a document";
  Platen_Model converter(options());
  const std::string error =
      error_of([&] { converter.convert(platform::utf8_string(broken), out("broken.pdf"), /*keep_active=*/true); });
  EXPECT_THAT(error, HasSubstr("broken.docx"));
  EXPECT_THAT(error, HasSubstr("Word experienced an error trying to open the file"));
  EXPECT_FALSE(fs::exists(platform::utf8_path(out("broken.pdf"))));
  converter.convert(input(), out("after.pdf"), /*keep_active=*/true);
  EXPECT_TRUE(is_word_pdf(out("after.pdf")));
  EXPECT_EQ(processes("server").size(), 1u);
}

TEST_F(PlatenWord, UsersOwnWordIsNeitherUsedNorQuit) {
  const std::string stand_in = platform::utf8_string(*word_exe_);
  platform::Process_Options user_options;
  user_options.argv = {stand_in, "--user"};
  platform::Process users_word = platform::Process::start(user_options);
  // The process whose Application the running object table holds; 0 if
  // none.
  const auto running_word = [&] {
    const platform::Run_Result probe = platform::run({stand_in, "--probe"}, kBound);
    return probe.status.success() ? std::stoul(probe.output) : 0ul;
  };
  const unsigned long users_pid = users_word.id();
  ASSERT_TRUE(eventually([&] { return running_word() == users_pid; })) << "the user's Word never registered";

  {
    Platen_Model converter(options());
    converter.convert(input(), out("一.pdf"), /*keep_active=*/true);
    converter.convert(input(), out("二.pdf"), /*keep_active=*/false);
    EXPECT_TRUE(is_word_pdf(out("一.pdf")));
    EXPECT_TRUE(is_word_pdf(out("二.pdf")));
  }
  EXPECT_THAT(events_.started, Not(testing::Contains(users_word.id())));
  EXPECT_TRUE(all_gone(processes("server")));
  // Still running, still the Word in the running object table, and asked
  // nothing but what the probes asked.
  EXPECT_FALSE(users_word.has_exited());
  EXPECT_EQ(running_word(), users_pid);
  std::istringstream calls(calls_of(users_word.id()));
  for (std::string line; std::getline(calls, line);) EXPECT_EQ(line, "Application.ProcessId");
}

// The caption set on the Word that answered shows in the window of another
// process than the one TRAVO started: that Word is not driven (nor asked to
// quit), and what TRAVO started is ended.
TEST_F(PlatenWord, WordThatIsNotTheOneStartedIsLeftAlone) {
  platform::set_environment_variable("PLATEN_STAND_IN_WORD", "stranger");
  Platen_Model converter(options());
  const std::string error = error_of([&] { converter.convert(input(), out("x.pdf"), /*keep_active=*/true); });
  EXPECT_THAT(error, HasSubstr("is not the one TRAVO started"));
  const auto words = processes("server");
  ASSERT_EQ(words.size(), 1u);
  EXPECT_THAT(calls_of(words[0]), AllOf(Not(HasSubstr("Documents")), Not(HasSubstr("Quit"))));
  EXPECT_TRUE(all_gone(words));
  EXPECT_TRUE(all_gone(processes("child")));
}

TEST_F(PlatenWord, HungWordIsKilledWithItsTreeAtTheTimeout) {
  platform::set_environment_variable("PLATEN_STAND_IN_WORD", "hang");
  Options hurried = options();
  hurried.timeout = std::chrono::seconds(2);  // the start-up keeps its own, ample bound
  Platen_Model converter(hurried);
  const std::string error = error_of([&] { converter.convert(input(), out("hang.pdf"), /*keep_active=*/true); });
  EXPECT_THAT(error, HasSubstr(input()));
  EXPECT_THAT(error, HasSubstr("Microsoft Word did not finish within 2 s"));
  EXPECT_FALSE(fs::exists(platform::utf8_path(out("hang.pdf"))));
  const auto words = processes("server");
  ASSERT_EQ(words.size(), 1u);
  // Word and the process it started.
  ASSERT_EQ(processes("child").size(), 1u);
  EXPECT_TRUE(all_gone(words));
  EXPECT_TRUE(all_gone(processes("child")));
  EXPECT_EQ(events_.stopped, words);

  // The next document gets a new Word.
  platform::unset_environment_variable("PLATEN_STAND_IN_WORD");
  converter.convert(input(), out("after.pdf"), /*keep_active=*/true);
  EXPECT_TRUE(is_word_pdf(out("after.pdf")));
  EXPECT_EQ(processes("server").size(), 2u);
}

TEST_F(PlatenWord, WordThatDiesIsReplacedAndTheDocumentRetriedOnce) {
  platform::set_environment_variable("PLATEN_STAND_IN_WORD", "die-once");
  {
    Platen_Model converter(options());
    converter.convert(input(), out("retried.pdf"), /*keep_active=*/true);
    EXPECT_TRUE(is_word_pdf(out("retried.pdf")));  // not the half the first Word wrote
    const auto words = processes("server");
    ASSERT_EQ(words.size(), 2u);
    EXPECT_THAT(calls_of(words[0]), HasSubstr("dies"));
    EXPECT_TRUE(all_gone({words[0]}));
  }
  EXPECT_TRUE(all_gone(processes("server")));

  // A Word that dies on every attempt: one retry, then the error.
  platform::set_environment_variable("PLATEN_STAND_IN_WORD", "die");
  Platen_Model converter(options());
  const std::string error = error_of([&] { converter.convert(input(), out("dead.pdf"), /*keep_active=*/true); });
  EXPECT_THAT(error, HasSubstr("Microsoft Word ended during the conversion, and again after a restart"));
  EXPECT_FALSE(fs::exists(platform::utf8_path(out("dead.pdf"))));
  EXPECT_EQ(processes("server").size(), 4u);
  EXPECT_TRUE(all_gone(processes("server")));
}

TEST_F(PlatenWord, BusyWordIsAskedAgain) {
  platform::set_environment_variable("PLATEN_STAND_IN_WORD", "reject");
  Platen_Model converter(options());
  converter.convert(input(), out("busy.pdf"), /*keep_active=*/true);
  EXPECT_TRUE(is_word_pdf(out("busy.pdf")));
  const auto words = processes("server");
  ASSERT_EQ(words.size(), 1u);
  const std::string calls = calls_of(words[0]);
  std::size_t rejections = 0;
  for (std::size_t at = calls.find("rejected"); at != std::string::npos; at = calls.find("rejected", at + 1)) ++rejections;
  EXPECT_EQ(rejections, 3u);
}

TEST_F(PlatenWord, SettingPicksTheConverter) {
  const std::string lo_pdf = out("lo.pdf");
  Options with_libreoffice = options();
  with_libreoffice.soffice = PLATEN_STAND_IN;
  Platen_Model converter(with_libreoffice);

  platform::set_environment_variable("TRAVO_PDF_CONVERTER", "libreoffice");
  converter.convert(input(), lo_pdf, /*keep_active=*/false);
  EXPECT_EQ(read_file(platform::utf8_path(lo_pdf)).rfind("%PDF-1.4\nstand-in\n", 0), 0u);
  EXPECT_TRUE(processes("server").empty());

  platform::set_environment_variable("TRAVO_PDF_CONVERTER", "word");
  converter.convert(input(), out("word.pdf"), /*keep_active=*/false);
  EXPECT_TRUE(is_word_pdf(out("word.pdf")));

  platform::set_environment_variable("TRAVO_PDF_CONVERTER", "acrobat");
  EXPECT_THAT(error_of([&] { converter.convert(input(), out("x.pdf"), false); }),
              HasSubstr("TRAVO_PDF_CONVERTER is \"acrobat\"; it takes word or libreoffice"));
}

}  // namespace
}  // namespace platen_model
