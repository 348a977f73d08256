// JSON job files: checking, binding and running.

#include "quire_model/job.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "test_support.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

using namespace test_support;

// Runs `json` (with the test data folder as the job's folder) on `doc`.
std::vector<Step_Result> run(const std::string& json, Document& doc) {
  std::vector<Step_Result> results;
  Job::parse(json, testdata("")).run(doc, results);
  return results;
}

std::string job_error(const std::string& json) {
  try {
    Job::parse(json, "/base");
  } catch (const Job_Error& e) {
    return e.what();
  }
  return "<accepted>";
}

TEST(Job, RunsEveryOperationInOrderWithItsResults) {
  Temp_Dir out;
  const std::string save_path = test_support::generic_utf8(out.path()) + "/";
  Document doc;
  Capture_Stdout stdout_lines;
  const std::vector<Step_Result> results = run(R"({"steps": [
    {"op": "set_word_version_path", "name": 1, "path": "inspection.docx"},
    {"op": "run_version", "version": "1", "save_path": ")" + save_path + R"("},
    {"op": "set", "old_text": "A", "new_text": "A10"},
    {"op": "show_execute_set", "specify_range": true},
    {"op": "show_all_text"},
    {"op": "delete"},
    {"op": "set", "old_text": "BA20", "new_text": 30},
    {"op": "execute_set"},
    {"op": "_add_table", "abstract": "摘要", "PAPN": 7, "title": "名稱",
     "image_path": "images/1300x1300.png"},
    {"op": "output", "name": "report", "pdf": false, "docx": true}
  ]})", doc);

  ASSERT_EQ(results.size(), 10u);
  EXPECT_EQ(results[3].op, "show_execute_set");
  const auto& found = std::get<Check_Dict>(results[3].result);
  ASSERT_EQ(found.at("A").text.size(), 6u);
  EXPECT_EQ(found.at("A").text[0], "A10 and then A alone.");
  const auto& texts = std::get<std::vector<std::string>>(results[4].result);
  EXPECT_EQ(texts.at(4), "Only BA20 here.");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(results[0].result));

  EXPECT_EQ(doc.version, Value("1"));
  EXPECT_EQ(doc.doc->paragraphs().at(4).text(), "Only 30 here.");
  travo::docx::Table t = doc.doc->tables().back();
  EXPECT_EQ(t.cell(1, 0).text(), "7");
  EXPECT_EQ(t.cell(2, 0).text(), "摘要：\n摘要");
  EXPECT_TRUE(fs::exists(out / "report.docx"));
  // The fixture has no "Table Grid" style.
  EXPECT_EQ(stdout_lines.text(), "無法設定格線\n[完成！] " + save_path + "report.docx\n");
  EXPECT_EQ(doc.replace_value.keys(), std::vector<std::string>{"BA20"});

  // The report of the run.
  const auto report = nlohmann::json::parse(results_json(results));
  ASSERT_EQ(report["steps"].size(), 10u);
  EXPECT_EQ(report["steps"][0], (nlohmann::json{{"op", "set_word_version_path"}, {"result", nullptr}}));
  EXPECT_EQ(report["steps"][3]["result"]["A"]["text"][0], "A10 and then A alone.");
  EXPECT_EQ(report["steps"][4]["result"][11], "【符號說明】");
  EXPECT_FALSE(report.contains("error"));
}

TEST(Job, SetOptionsTakeUnitsDefaultsAndNull) {
  Document doc;
  run(R"({"steps": [
    {"op": "set", "old_text": "k", "new_text": "v",
     "new_font_name": null, "new_font_name_Chinese": "新細明體", "new_font_size": 12,
     "new_alignment": "right", "left_indent": 12, "line_spacing": null,
     "font_color": [255, 0, 16], "remark_new_font_size": 6.5,
     "image_path": "images/2000x1000.png", "image_height": 1.5, "image_width": 2,
     "image_fixed_ratio": false},
    {"op": "set", "old_text": 5, "new_text": 2.5}
  ]})", doc);
  const Replacement_Entry& e = doc.replace_value.at("k");
  EXPECT_EQ(e.font_name, std::nullopt);
  EXPECT_EQ(e.east_asia_font_name, "新細明體");
  EXPECT_EQ(e.font_size, travo::docx::Pt(12));
  EXPECT_EQ(e.alignment, travo::docx::Alignment::right);
  EXPECT_EQ(e.left_indent, 12.0);
  EXPECT_EQ(e.line_spacing, std::nullopt);
  EXPECT_EQ(e.font_color, (Font_Color{255, 0, 16}));
  EXPECT_EQ(e.remark.font_size, travo::docx::Pt(6.5));
  EXPECT_EQ(e.image_path, testdata("").string() + "images/2000x1000.png");
  EXPECT_EQ(e.image_height, 1.5);
  EXPECT_EQ(e.image_width, 2.0);
  EXPECT_EQ(e.image_fixed_ratio, false);
  // Left out: the defaults of set.
  EXPECT_EQ(doc.replace_value.at("5"), Replacement_Entry::make("2.5"));
}

TEST(Job, RelativePathsJoinTheJobFolderAndKeepTheirFinalSlash) {
  Temp_Dir dir;
  fs::create_directories(dir / "jobs");
  std::ofstream(dir / "jobs" / "job.json") << R"({"steps": [
    {"op": "set_word_version_path", "name": "a", "path": "t.docx"},
    {"op": "set_word_version_path", "name": "b", "path": "/abs/t.docx"},
    {"op": "set_word_version_path", "name": "c", "path": "C:/corvana/t.docx"},
    {"op": "run_version", "version": "none", "save_path": "out"}
  ]})";
  Document doc;
  std::vector<Step_Result> results;
  Capture_Stdout out;
  Job::load(dir / "jobs" / "job.json").run(doc, results);
  const std::string folder = test_support::generic_utf8(dir / "jobs");
  EXPECT_EQ(doc.version_path.at("a"), folder + "/t.docx");
  EXPECT_EQ(doc.version_path.at("b"), "/abs/t.docx");
  EXPECT_EQ(doc.version_path.at("c"), "C:/corvana/t.docx");
  EXPECT_EQ(doc.save_path, folder + "/out");
  EXPECT_EQ(out.text(), "word的檔案格式名稱並沒有定義\n");

  EXPECT_THROW(Job::load(dir / "missing.json"), Job_Error);
}

TEST(Job, EveryListedOpIsReadAndNamedWhenAnOpIsUnknown) {
  std::string names;
  for (const Job_Op& op : job_ops()) {
    const std::string job = R"({"steps": [{"op": ")" + std::string(op.op) + R"("}]})";
    try {
      Job::parse(job, {});
    } catch (const Job_Error& e) {
      // Required arguments may be missing; the op itself must be known.
      EXPECT_EQ(std::string(e.what()).find("unknown op"), std::string::npos) << e.what();
    }
    EXPECT_NE(job_ops_help().find("  " + std::string(op.op) + " "), std::string::npos) << op.op;
    names += (names.empty() ? "" : ", ") + std::string(op.op);
  }
  EXPECT_EQ(job_ops().size(), 10u);
  try {
    Job::parse(R"({"steps": [{"op": "add_table"}]})", {});
    ADD_FAILURE() << "an unknown op was read";
  } catch (const Job_Error& e) {
    EXPECT_NE(std::string(e.what()).find("(one of " + names + ")"), std::string::npos) << e.what();
  }
}

TEST(Job, BadJobsAreRefusedNamingTheStep) {
  const std::pair<std::string, std::string> cases[] = {
      {"{", "not valid JSON"},
      {"[]", "\"steps\" array"},
      {R"({"steps": [{"op": "_add_table", "rows": 1e999}]})", "not valid JSON"},
      {R"({"step": []})", "unknown top-level key \"step\""},
      {R"({"steps": [1]})", "step 1 is not a JSON object"},
      {R"({"steps": [{"op": "delete"}, {"name": "x"}]})", "step 2: \"op\" is missing"},
      {R"({"steps": [{"op": "delete"}, {"op": "run_versoin"}]})", "step 2: unknown op \"run_versoin\""},
      {R"({"steps": [{"op": "set", "old_text": "a", "new_text": "b", "new_font_sise": 9}]})",
       "step 1 (set): unknown key \"new_font_sise\""},
      {R"({"steps": [{"op": "delete", "all": true}]})", "step 1 (delete): unknown key \"all\" (delete takes no arguments)"},
      {R"({"steps": [{"op": "set", "new_text": "b"}]})", "step 1 (set): \"old_text\" is missing"},
      {R"({"steps": [{"op": "set", "old_text": true, "new_text": "b"}]})", "\"old_text\" must be a text or a number"},
      {R"({"steps": [{"op": "set", "old_text": "a", "new_text": "b", "font_color": [256, 0, 0]}]})", "\"font_color\" must be [r, g, b]"},
      {R"({"steps": [{"op": "set", "old_text": "a", "new_text": "b", "new_alignment": "middle"}]})", "\"new_alignment\" must be"},
      {R"({"steps": [{"op": "set", "old_text": "a", "new_text": "b", "new_font_size": "12pt"}]})", "\"new_font_size\" must be a number"},
      {R"({"steps": [{"op": "_add_table", "rows": 4.5}]})", "step 1 (_add_table): \"rows\" must be a whole number"},
      {R"({"steps": [{"op": "_add_table", "image_path": 5}]})", "\"image_path\" must be a text or null"},
      {R"({"steps": [{"op": "output", "name": "r", "pdf": "yes"}]})", "step 1 (output): \"pdf\" must be true or false"},
      {R"({"steps": [{"op": "output"}]})", "\"name\" is missing"},
      {R"({"steps": [{"op": "run_version", "version": "v", "save_path": null}]})", "\"save_path\" must be a text"},
      {R"({"steps": [{"op": "check_template", "pattern": "({{"}]})",
       "step 1 (check_template): the placeholder pattern \"({{\" is not a valid regular expression"},
      {R"({"steps": [{"op": "check_template", "pattern": 1}]})", "\"pattern\" must be a text"},
  };
  for (const auto& [json, message] : cases) EXPECT_THAT(job_error(json), HasSubstr(message)) << json;
  EXPECT_EQ(job_error(R"({"steps": []})"), "<accepted>");
  EXPECT_EQ(job_error(R"({"steps": [{"op": "_add_table", "image_path": null}]})"), "<accepted>");
}

// The template check as a step: its lines on standard output as it runs,
// its findings as a structured object in the report.
TEST(Job, CheckTemplatePrintsItsFindingsAndReportsThem) {
  Document doc;
  Capture_Stdout stdout_lines;
  const std::vector<Step_Result> results = run(R"({"steps": [
    {"op": "set_word_version_path", "name": "t", "path": "template_pydocx.docx"},
    {"op": "run_version", "version": "t"},
    {"op": "set", "old_text": "{{發明人}}", "new_text": "王小明"},
    {"op": "set", "old_text": "{{頁尾}}", "new_text": "1"},
    {"op": "set", "old_text": "{{發明⼈}}", "new_text": "misspelt"},
    {"op": "check_template"},
    {"op": "check_template", "pattern": "\\{\\{未[^}]*\\}\\}"}
  ]})", doc);
  ASSERT_EQ(results.size(), 7u);
  EXPECT_EQ(stdout_lines.text(),
            "未使用的鍵：{{發明⼈}}\n"
            "只出現在頁尾的鍵：{{頁尾}}\n"
            "未登記的佔位符：{{未登記}}\n"
            "未登記的佔位符：{{表格}}\n"
            "未登記的佔位符：{{巢狀}}\n"
            "未登記的佔位符：{{頁首}}\n"
            "未使用的鍵：{{發明⼈}}\n"
            "只出現在頁尾的鍵：{{頁尾}}\n"
            "未登記的佔位符：{{未登記}}\n");
  const auto report = nlohmann::json::parse(results_json(results));
  EXPECT_EQ(report["steps"][5]["op"], "check_template");
  EXPECT_EQ(report["steps"][5]["result"], nlohmann::json::parse(R"({
    "unused_keys": ["{{發明⼈}}"],
    "misplaced_keys": [{"key": "{{頁尾}}", "where": ["footer"]}],
    "unregistered_placeholders": ["{{未登記}}", "{{表格}}", "{{巢狀}}", "{{頁首}}"]})"));
}

TEST(Job, FailingStepEndsTheRunWithItsNumberAndOp) {
  Document doc;
  std::vector<Step_Result> results;
  const Job job = Job::parse(R"({"steps": [
    {"op": "set", "old_text": "a", "new_text": "b"},
    {"op": "_add_table"},
    {"op": "set", "old_text": "c", "new_text": "d"}
  ]})", "/base");
  ASSERT_EQ(job.size(), 3u);
  EXPECT_EQ(job.op(2), "_add_table");
  try {
    job.run(doc, results);
    FAIL() << "no error";
  } catch (const Step_Error& e) {
    EXPECT_EQ(e.number, 2u);
    EXPECT_EQ(e.op, "_add_table");
    EXPECT_THAT(e.what(), HasSubstr("no document is open"));
    const auto report = nlohmann::json::parse(results_json(results, &e));
    EXPECT_EQ(report["steps"].size(), 1u);
    EXPECT_EQ(report["error"]["step"], 2);
    EXPECT_EQ(report["error"]["op"], "_add_table");
  }
  EXPECT_EQ(results.size(), 1u);
  EXPECT_FALSE(doc.replace_value.contains("c"));
}

}  // namespace
}  // namespace quire_model
