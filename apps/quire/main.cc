// quire: runs a JSON job file through the document template engine.
//
//   quire run JOB.json [--json RESULT.json]
//
// Exit status: 0 when every step ran, 1 when a step failed (the steps after
// it are not run), 2 for bad usage or a job file that cannot be run.

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quire_model/document.h"
#include "quire_model/job.h"
#include "travo/platform/atomic_file.h"
#include "travo/platform/console.h"
#include "travo/platform/utf8.h"

namespace {

namespace fs = std::filesystem;

std::string help_text() {
  return R"(usage: quire run JOB.json [--json RESULT.json]
       quire --help

Runs the steps of JOB.json, in order, on one document of the template
engine. What the engine prints (completion lines, messages it absorbs)
appears on standard output as the steps run.

A job is a JSON object with a "steps" array. Each step names its operation
under "op" and gives the operation's arguments under their names:

)" + quire_model::job_ops_help() + R"(
Values: name, version, old_text, new_text, abstract, PAPN and title are
texts or numbers. new_font_size, remark_new_font_size, left_indent and
line_spacing are points; image_width and image_height inches; font_color
is [r, g, b] (0 to 255); new_alignment is "left", "center", "right",
"both", "distribute", "start" or "end". null stores an option of set as
absent. Relative paths (path, save_path, image_path) are taken relative to
the job file's folder; save_path is a prefix that output's name is glued
onto, so end it with "/" to name a folder. An unknown op or key stops the
job before any step runs.

Example:

  {"steps": [
    {"op": "set_word_version_path", "name": "report", "path": "template.docx"},
    {"op": "run_version", "version": "report", "save_path": "out/"},
    {"op": "set", "old_text": "{{委託人}}", "new_text": "國立臺灣大學",
     "new_font_size": 12, "new_alignment": "left"},
    {"op": "check_template"},
    {"op": "execute_set"},
    {"op": "_add_table", "PAPN": "TWI812345B", "title": "溫度感測裝置",
     "abstract": "一種溫度感測裝置……", "image_path": "fig1.png"},
    {"op": "show_execute_set", "specify_range": true},
    {"op": "output", "name": "report", "pdf": true}
  ]}

check_template reads the open template against the keys set so far and
prints one line per finding: "未使用的鍵：" for a key found nowhere,
"只出現在頁首的鍵：" (頁尾, 文字方塊, 巢狀表格, 註腳, ...) for a key that
execute_set would not reach because it stands only there, and
"未登記的佔位符：" for a placeholder no key covers ("範本檢查沒有發現問題"
when all is well). It changes nothing; run it before execute_set.

--json RESULT.json writes {"steps": [{"op": ..., "result": ...}]} for the
steps that ran: null for most, the list of paragraph texts for
show_all_text, {placeholder: {"text": [...]}} for show_execute_set,
{"unused_keys": [...], "misplaced_keys": [{"key", "where": ["footer",
...]}], "unregistered_placeholders": [...]} for check_template; after a
failed step also "error": {"step", "op", "message"}. Steps are numbered
from 1.

Exit status: 0 success, 1 a step failed (its number, op and message on
standard error), 2 bad usage or a bad job file.
)";
}

int usage(const std::string& problem) {
  std::cerr << "quire: " << problem << "\nusage: quire run JOB.json [--json RESULT.json]"
            << " (quire --help for the job format)\n";
  return 2;
}

int run(const fs::path& job_file, const std::optional<fs::path>& result_file) {
  std::optional<quire_model::Job> job;
  try {
    job = quire_model::Job::load(job_file);
  } catch (const quire_model::Job_Error& e) {
    std::cerr << "quire: " << travo::platform::utf8_string(job_file) << ": " << e.what() << "\n";
    return 2;
  }

  std::vector<quire_model::Step_Result> results;
  std::optional<quire_model::Step_Error> failure;
  try {
    quire_model::Document doc;
    job->run(doc, results);
  } catch (const quire_model::Step_Error& e) {
    failure = e;
    std::cerr << "quire: step " << e.number << " (" << e.op << ") failed: " << e.what() << "\n";
  }

  if (result_file) {
    try {
      // Whole or not at all: a reader never sees half a result.
      travo::platform::atomic_write(*result_file,
                                    quire_model::results_json(results, failure ? &*failure : nullptr));
    } catch (const std::exception& e) {
      std::cerr << "quire: " << e.what() << "\n";
      return 1;
    }
  }
  return failure ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const travo::platform::Utf8_Console console;
  const std::vector<std::string> all = travo::platform::utf8_arguments(argc, argv);
  std::vector<std::string_view> args(all.begin() + (all.empty() ? 0 : 1), all.end());
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    std::cout << help_text();
    return 0;
  }
  if (args.empty()) return usage("no command given");
  if (args[0] != "run") return usage("unknown command \"" + std::string(args[0]) + "\"");

  std::optional<fs::path> job_file, result_file;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a == "--json") {
      if (i + 1 >= args.size()) return usage("--json needs a file name");
      result_file = travo::platform::utf8_path(args[++i]);
    } else if (a.starts_with("--json=")) {
      result_file = travo::platform::utf8_path(a.substr(7));
      if (result_file->empty()) return usage("--json needs a file name");
    } else if (a.starts_with("-") && a != "-") {
      return usage("unknown option \"" + std::string(a) + "\"");
    } else if (job_file) {
      return usage("more than one job file given");
    } else {
      job_file = travo::platform::utf8_path(a);
    }
  }
  if (!job_file) return usage("no job file given");

  try {
    return run(*job_file, result_file);
  } catch (const std::exception& e) {
    // Anything outside a step: the converter could not be made, say.
    std::cerr << "quire: " << e.what() << "\n";
    return 1;
  }
}
