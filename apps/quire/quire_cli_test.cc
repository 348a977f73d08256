// quire as a user runs it: the sample job shipped in examples/quire, and
// the exit status and messages of jobs that cannot run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "travo/platform/programs.h"
#include "travo/platform/utf8.h"

namespace {

namespace fs = std::filesystem;
namespace platform = travo::platform;
using ::testing::HasSubstr;

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

class QuireCli : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("quire-cli-" + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Runs quire in the test's folder with `args`, split at spaces.
  Outcome quire(const std::string& args) {
    platform::Process_Options o;
    o.argv = {platform::environment_variable("TRAVO_BIN_DIR").value_or(".") + "/quire"};
    std::istringstream words(args);
    for (std::string w; words >> w;) o.argv.push_back(w);
    o.working_directory = dir_;
    const platform::Run_Result r = platform::run(o, std::chrono::minutes(5));
    Outcome out{r.status.code, r.output, r.error};
    // Windows' text-mode streams end lines with CR LF.
    std::erase(out.out, '\r');
    std::erase(out.err, '\r');
    return out;
  }

  void write(const std::string& name, const std::string& text) { std::ofstream(dir_ / name) << text; }

  fs::path dir_;
};

bool have(const char* tool) { return platform::find_on_path(tool).has_value(); }

// The README's sample: a template with placeholders, tracked changes and a
// table, filled, with two patent tables, inspected, written as Word and PDF.
TEST_F(QuireCli, SampleJobFillsTheReport) {
  if (!have("soffice") || !have("pdftotext")) GTEST_SKIP() << "LibreOffice or poppler-utils missing";
  const fs::path example = travo::platform::utf8_path(TRAVO_SOURCE_DIR "/examples/quire");
  for (const char* f : {"report.json", "template.docx", "fig1.png", "fig2.png"})
    fs::copy_file(example / f, dir_ / f);

  const Outcome o = quire("run report.json --json result.json");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out, "[完成！] " + dir_.string() + "/report-filled.pdf\n");
  ASSERT_TRUE(fs::exists(dir_ / "report-filled.docx"));

  ASSERT_TRUE(platform::run({platform::find_on_path("pdftotext")->string(), "-enc", "UTF-8",
                             (dir_ / "report-filled.pdf").string()},
                            std::chrono::minutes(2))
                  .status.success());
  std::string text = read(dir_ / "report-filled.txt");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 3) << "a report page and one per patent";
  std::erase_if(text, [](char c) { return c == ' ' || c == '\n' || c == '\f'; });
  for (const char* shown : {"報告編號：TRAVO-2025-0104", "國立臺灣大學", "臺灣專利（發明、新型）",
                            "具溫度校正功能之感測裝置", "2筆（僅列出關聯性最高者）", "TWI812345B",
                            "具溫度補償之感測裝置", "可拆式感測模組", "摘要："})
    EXPECT_THAT(text, HasSubstr(shown));
  EXPECT_THAT(text, ::testing::Not(HasSubstr("{{")));

  const auto result = nlohmann::json::parse(read(dir_ / "result.json"));
  const auto& steps = result.at("steps");
  ASSERT_EQ(steps.size(), 19u);
  EXPECT_EQ(steps[0].at("op"), "set_word_version_path");
  EXPECT_EQ(steps[16].at("op"), "show_execute_set");
  EXPECT_EQ(steps[16].at("result"),
            nlohmann::json::parse(R"({"感測器": {"text": ["處理器20接收感測器的量測訊號後進行溫度校正。"]}})"));
  EXPECT_EQ(steps[17].at("op"), "show_all_text");
  EXPECT_EQ(steps[17].at("result").at(1), "報告編號：TRAVO-2025-0104");
  EXPECT_EQ(steps[18].at("op"), "output");
  EXPECT_TRUE(steps[18].at("result").is_null());
}

// A template checked before it is filled: the LibreOffice fixture of the
// engine, with a key only in its footer and one misspelt.
TEST_F(QuireCli, CheckTemplatePrintsOneLinePerFinding) {
  fs::copy_file(travo::platform::utf8_path(TRAVO_SOURCE_DIR "/corvana通用模組/Quire_Model/testdata/template_lo.docx"),
                dir_ / "template.docx");
  write("check.json", R"({"steps": [
    {"op": "set_word_version_path", "name": "t", "path": "template.docx"},
    {"op": "run_version", "version": "t", "save_path": ""},
    {"op": "set", "old_text": "{{發明人}}", "new_text": "王小明"},
    {"op": "set", "old_text": "{{申請人}}", "new_text": "國立臺灣大學"},
    {"op": "set", "old_text": "{{頁尾}}", "new_text": "1"},
    {"op": "set", "old_text": "{{發明者}}", "new_text": "typo"},
    {"op": "check_template"}
  ]})");
  const std::string before = read(dir_ / "template.docx");
  const Outcome o = quire("run check.json --json result.json");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out,
            "未使用的鍵：{{發明者}}\n"
            "只出現在頁尾的鍵：{{頁尾}}\n"
            "未登記的佔位符：{{案號}}\n"
            "未登記的佔位符：{{網址}}\n"
            "未登記的佔位符：{{未知欄位}}\n"
            "未登記的佔位符：{{方塊}}\n"
            "未登記的佔位符：{{日期}}\n"
            "未登記的佔位符：{{表格}}\n"
            "未登記的佔位符：{{巢狀}}\n"
            "未登記的佔位符：{{頁首}}\n"
            "未登記的佔位符：{{註腳}}\n");
  const auto result = nlohmann::json::parse(read(dir_ / "result.json"));
  const auto& check = result.at("steps").at(6);
  EXPECT_EQ(check.at("op"), "check_template");
  EXPECT_EQ(check.at("result").at("unused_keys"), nlohmann::json::parse(R"(["{{發明者}}"])"));
  EXPECT_EQ(check.at("result").at("misplaced_keys"),
            nlohmann::json::parse(R"([{"key": "{{頁尾}}", "where": ["footer"]}])"));
  EXPECT_EQ(check.at("result").at("unregistered_placeholders").size(), 9u);
  EXPECT_EQ(read(dir_ / "template.docx"), before);
}

TEST_F(QuireCli, FailingStepStopsTheJobWithStatusOne) {
  write("not_a_docx.docx", "plain text\n");
  write("job.json", R"({"steps": [
    {"op": "set_word_version_path", "name": "v", "path": "not_a_docx.docx"},
    {"op": "run_version", "version": "v", "save_path": ""},
    {"op": "output", "name": "never"}
  ]})");
  const Outcome o = quire("run job.json --json=result.json");
  EXPECT_EQ(o.status, 1);
  EXPECT_THAT(o.err, HasSubstr("quire: step 2 (run_version) failed: "));
  EXPECT_EQ(o.out, "");
  EXPECT_FALSE(fs::exists(dir_ / "never.docx"));
  const auto result = nlohmann::json::parse(read(dir_ / "result.json"));
  EXPECT_EQ(result["steps"].size(), 1u);
  EXPECT_EQ(result["error"]["step"], 2);
  EXPECT_EQ(result["error"]["op"], "run_version");

  // The engine's own messages still appear, and a missing document is a
  // failing step too.
  write("closed.json", R"({"steps": [{"op": "run_version", "version": "x"}, {"op": "show_all_text"}]})");
  const Outcome closed = quire("run closed.json");
  EXPECT_EQ(closed.status, 1);
  EXPECT_EQ(closed.out, "word的檔案格式名稱並沒有定義\n");
  EXPECT_THAT(closed.err, HasSubstr("step 2 (show_all_text) failed: no document is open"));
}

TEST_F(QuireCli, UnwritableResultFileIsReportedAndThePreviousOneKept) {
  write("job.json", R"({"steps": []})");
  ASSERT_EQ(quire("run job.json --json=result.json").status, 0);
  const Outcome missing = quire("run job.json --json=no/such/folder/result.json");
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("no/such/folder/result.json': folder 'no/such/folder' does not exist"));

  write("result.json", "previous");
  fs::create_directory(dir_ / "taken.json");
  EXPECT_EQ(quire("run job.json --json taken.json").status, 1);
  EXPECT_TRUE(fs::is_directory(dir_ / "taken.json"));
  EXPECT_EQ(read(dir_ / "result.json"), "previous");
  for (const auto& e : fs::directory_iterator(dir_)) {
    EXPECT_THAT(e.path().filename().string(), ::testing::Not(HasSubstr(".tmp-")));
  }
}

TEST_F(QuireCli, BadUsageAndBadJobsExitWithTwo) {
  EXPECT_EQ(quire("").status, 2);
  EXPECT_EQ(quire("convert job.json").status, 2);
  EXPECT_EQ(quire("run").status, 2);
  EXPECT_EQ(quire("run job.json --json").status, 2);
  EXPECT_EQ(quire("run job.json --verbose").status, 2);
  EXPECT_EQ(quire("run a.json b.json").status, 2);

  const Outcome missing = quire("run missing.json");
  EXPECT_EQ(missing.status, 2);
  EXPECT_THAT(missing.err, HasSubstr("missing.json"));

  write("broken.json", "{\"steps\": [");
  EXPECT_THAT(quire("run broken.json").err, HasSubstr("not valid JSON"));

  // Misspellings stop the job before any step runs.
  write("typo.json", R"({"steps": [
    {"op": "set_word_version_path", "name": "v", "path": "t.docx"},
    {"op": "output", "name": "r", "pfd": true}
  ]})");
  const Outcome typo = quire("run typo.json --json result.json");
  EXPECT_EQ(typo.status, 2);
  EXPECT_THAT(typo.err, HasSubstr("step 2 (output): unknown key \"pfd\""));
  EXPECT_FALSE(fs::exists(dir_ / "result.json"));

  write("op.json", R"({"steps": [{"op": "add_table"}]})");
  const Outcome op = quire("run op.json");
  EXPECT_EQ(op.status, 2);
  EXPECT_THAT(op.err, HasSubstr("step 1: unknown op \"add_table\""));
}

TEST_F(QuireCli, HelpDocumentsTheJobFormat) {
  const Outcome help = quire("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* part : {"quire run JOB.json [--json RESULT.json]", "\"steps\"", "_add_table",
                           "show_execute_set", "specify_range", "check_template", "未使用的鍵：",
                           "Example:", "Exit status"})
    EXPECT_THAT(help.out, HasSubstr(part));
  // The example in the help is itself a job that parses: every op and key
  // in it is known.
  const size_t from = help.out.find("{\"steps\"");
  const size_t to = help.out.find("]}", from);
  ASSERT_NE(to, std::string::npos);
  write("help.json", help.out.substr(from, to + 2 - from));
  const Outcome run = quire("run help.json");
  EXPECT_EQ(run.status, 1) << run.err;  // its template is not there
  EXPECT_THAT(run.err, HasSubstr("step 2 (run_version) failed"));
}

}  // namespace
