// Quire jobs: a JSON file whose steps call the operations of a Document, in
// order. The `quire` command runs them; report programs and tests can too.
//
//   {"steps": [
//     {"op": "set_word_version_path", "name": "report", "path": "template.docx"},
//     {"op": "run_version", "version": "report", "save_path": "out/"},
//     {"op": "set", "old_text": "{{申請人}}", "new_text": "王小明", "new_font_size": 12},
//     {"op": "execute_set"},
//     {"op": "_add_table", "PAPN": "TWI123456B", "title": "…", "image_path": "fig1.png"},
//     {"op": "output", "name": "report", "pdf": true}
//   ]}
//
// Each step names its operation under "op" and gives the operation's
// arguments under their names; job_ops() lists the operations and their
// arguments. check_template prints one line per finding
// (template_check_lines).
//
// Values: name, version, old_text, new_text, abstract, PAPN and title are
// texts or numbers (used by their text form); font sizes are numbers of
// points; left_indent and line_spacing points; image_width and
// image_height inches; font_color [r, g, b] of whole numbers 0 to 255;
// new_alignment one of "left", "center", "right", "both" (justified),
// "distribute", "start", "end"; rows and cols whole numbers; pdf, docx,
// specify_range and image_fixed_ratio true or false. null stores an
// option of set as absent and means "no picture" for image_path. Every
// argument left out takes the operation's default; old_text, new_text,
// the name and path of set_word_version_path, the version of run_version
// and the name of output are required.
//
// Paths (path, save_path, image_path) that are relative are taken relative
// to the job's folder; "/..." and drive paths ("C:/corvana/...") are used as
// they stand. save_path keeps its final slash, or lack of one: output glues
// the name on.
//
// The whole file is checked before any step runs: anything that is not as
// above (no JSON, an unknown op or key, a value of the wrong kind) throws
// Job_Error naming the step. Steps are numbered from 1.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "quire_model/document.h"

namespace quire_model {

// A job that cannot be run as written; the message says where and why.
class Job_Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A step that failed while running. what() is the operation's own message.
class Step_Error : public std::runtime_error {
 public:
  Step_Error(std::size_t number, std::string op, const std::string& message)
      : std::runtime_error(message), number(number), op(std::move(op)) {}
  std::size_t number;  // from 1
  std::string op;
};

// What a completed step gave back: the texts of show_all_text, the
// findings of show_execute_set or check_template, nothing for the other
// operations.
struct Step_Result {
  std::string op;
  std::variant<std::monostate, std::vector<std::string>, Check_Dict, Template_Check> result;
};

class Job {
 public:
  // Largest job file accepted, in bytes.
  static constexpr std::size_t kMaxFileSize = 16u << 20;

  // Checks `json` and binds every step. Relative paths are joined to
  // `base_dir`. Throws Job_Error.
  static Job parse(std::string_view json, const std::filesystem::path& base_dir);
  // Reads and parses the file; relative paths are taken relative to its
  // folder. Throws Job_Error also when the file cannot be read or is larger
  // than kMaxFileSize.
  static Job load(const std::filesystem::path& file);

  std::size_t size() const { return steps_.size(); }
  // The op of step `number` (from 1).
  const std::string& op(std::size_t number) const { return steps_.at(number - 1).op; }

  // Runs the steps in order on `doc`, appending each completed step's
  // result to `results`. The first step that throws ends the run: Step_Error
  // carries its number, op and message, and the steps after it are not run.
  // The engine's standard-output lines appear as the steps write them.
  void run(Document& doc, std::vector<Step_Result>& results) const;

 private:
  struct Step {
    std::string op;
    std::function<Step_Result(Document&)> call;
  };
  std::vector<Step> steps_;
};

// An operation a step may name, with its arguments as the help lists them
// (line feeds where the list wraps).
struct Job_Op {
  std::string_view op;
  std::string_view arguments;
};

// Every operation, in the order the help lists them. The reader dispatches
// on the same table, so an op added there is known to both.
std::vector<Job_Op> job_ops();

// job_ops() as the help's table: a heading line, then one "  op  arguments"
// entry per operation, continuation lines aligned under the arguments.
std::string job_ops_help();

// {"steps": [{"op": ..., "result": ...}, ...]} for `results`: null for
// operations without a result, the list of texts for show_all_text,
// {placeholder: {"text": [...]}} for show_execute_set, and for
// check_template {"unused_keys": [...], "misplaced_keys": [{"key": ...,
// "where": ["footer", ...]}], "unregistered_placeholders": [...]} (place
// names as place_id gives them). With `failure`, a
// member "error": {"step": number, "op": ..., "message": ...} follows.
std::string results_json(const std::vector<Step_Result>& results, const Step_Error* failure = nullptr);

}  // namespace quire_model
