#include "quire_model/job.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "placeholder_pattern.h"
#include "travo/docx/alignment.h"
#include "travo/docx/length.h"
#include "travo/platform/utf8.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;
namespace fs = std::filesystem;

// Reads the arguments of one step, each at most once, and refuses keys the
// operation does not have.
class Args {
 public:
  Args(const json& step, std::size_t number, std::string op)
      : step_(step), number_(number), op_(std::move(op)) {}

  // The named value, or nullptr when the step leaves it out.
  const json* find(const char* key) {
    used_.insert(key);
    auto it = step_.find(key);
    return it == step_.end() ? nullptr : &*it;
  }

  [[noreturn]] void fail(const std::string& what) const {
    throw Job_Error("step " + std::to_string(number_) + " (" + op_ + "): " + what);
  }

  // Every key of the step must have been asked for by now.
  void check_no_other_keys() const {
    for (auto it = step_.begin(); it != step_.end(); ++it) {
      if (it.key() != "op" && !used_.contains(it.key()))
        fail("unknown key \"" + it.key() + "\" (" + op_ + " takes " + known() + ")");
    }
  }

  // A text or a number, by its text form.
  Value value(const char* key, std::optional<Value> fallback) {
    const json* v = find(key);
    if (!v) {
      if (fallback) return *fallback;
      fail("\"" + std::string(key) + "\" is missing");
    }
    if (v->is_string()) return Value(v->get<std::string>());
    if (v->is_number_unsigned()) return Value(v->get<std::uint64_t>());
    if (v->is_number_integer()) return Value(v->get<std::int64_t>());
    if (v->is_number_float()) return Value(v->get<double>());
    fail("\"" + std::string(key) + "\" must be a text or a number");
  }

  std::string text(const char* key, std::optional<std::string> fallback) {
    const json* v = find(key);
    if (!v) {
      if (fallback) return *fallback;
      fail("\"" + std::string(key) + "\" is missing");
    }
    if (!v->is_string()) fail("\"" + std::string(key) + "\" must be a text");
    return v->get<std::string>();
  }

  bool boolean(const char* key, bool fallback) {
    const json* v = find(key);
    if (!v) return fallback;
    if (!v->is_boolean()) fail("\"" + std::string(key) + "\" must be true or false");
    return v->get<bool>();
  }

  int whole(const char* key, int fallback) {
    const json* v = find(key);
    if (!v) return fallback;
    if (!v->is_number_integer() || !fits_int(*v))
      fail("\"" + std::string(key) + "\" must be a whole number");
    return static_cast<int>(v->get<std::int64_t>());
  }

  // An option of set: left out keeps `fallback`, null stores absent.
  template <typename T, typename Read>
  std::optional<T> option(const char* key, std::optional<T> fallback, Read read) {
    const json* v = find(key);
    if (!v) return fallback;
    if (v->is_null()) return std::nullopt;
    return read(*v, key);
  }

  double number(const json& v, const char* key) const {
    if (!v.is_number()) fail("\"" + std::string(key) + "\" must be a number");
    return v.get<double>();
  }

  const std::string& op() const { return op_; }

 private:
  static bool fits_int(const json& v) {
    if (v.is_number_unsigned())
      return v.get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<int>::max());
    const std::int64_t i = v.get<std::int64_t>();
    return i >= std::numeric_limits<int>::min() && i <= std::numeric_limits<int>::max();
  }

  std::string known() const {
    if (used_.empty()) return "no arguments";
    std::string out;
    for (const std::string& k : used_) out += (out.empty() ? "" : ", ") + k;
    return out;
  }

  const json& step_;
  std::size_t number_;
  std::string op_;
  std::set<std::string> used_;
};

// True for paths that name a place on their own: "/...", "\\...", and
// drive paths such as "C:/corvana/" (which this platform maps elsewhere).
bool stands_alone(std::string_view path) {
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
         (path[2] == '/' || path[2] == '\\');
}

// `path` joined to the job's folder unless it stands alone. Text joining,
// not path joining, so that a save_path keeps its final slash or its lack
// of one.
std::string resolve(const std::string& path, const fs::path& base) {
  if (stands_alone(path) || base.empty()) return path;
  // UTF-8 with forward slashes on every system (Windows gives backslashes).
  const std::u8string generic = base.generic_u8string();
  std::string out(generic.begin(), generic.end());
  if (out.back() != '/') out += '/';
  return out + path;
}

std::optional<travo::docx::Alignment> alignment_named(std::string_view name) {
  if (name == "centre") return travo::docx::Alignment::center;
  if (name == "justify" || name == "justified") return travo::docx::Alignment::justify;
  return travo::docx::alignment_from_jc(name);
}

Set_Options set_options(Args& a, const fs::path& base) {
  const Set_Options defaults;
  Set_Options o;
  auto text = [&](const json& v, const char* key) {
    if (!v.is_string()) a.fail("\"" + std::string(key) + "\" must be a text or null");
    return v.get<std::string>();
  };
  auto points = [&](const json& v, const char* key) { return travo::docx::Pt(a.number(v, key)); };
  auto number = [&](const json& v, const char* key) { return a.number(v, key); };
  o.new_font_name = a.option<std::string>("new_font_name", defaults.new_font_name, text);
  o.new_font_name_Chinese =
      a.option<std::string>("new_font_name_Chinese", defaults.new_font_name_Chinese, text);
  o.new_font_size = a.option<travo::docx::Length>("new_font_size", defaults.new_font_size, points);
  o.new_alignment = a.option<travo::docx::Alignment>(
      "new_alignment", defaults.new_alignment, [&](const json& v, const char* key) {
        const auto al = v.is_string() ? alignment_named(v.get<std::string>()) : std::nullopt;
        if (!al)
          a.fail("\"" + std::string(key) +
                 "\" must be \"left\", \"center\", \"right\", \"both\", \"distribute\", \"start\","
                 " \"end\" or null");
        return *al;
      });
  o.left_indent = a.option<double>("left_indent", defaults.left_indent, number);
  o.line_spacing = a.option<double>("line_spacing", defaults.line_spacing, number);
  o.font_color = a.option<Font_Color>(
      "font_color", defaults.font_color, [&](const json& v, const char* key) {
        bool ok = v.is_array() && v.size() == 3;
        for (std::size_t i = 0; ok && i < 3; ++i) {
          ok = v[i].is_number_integer() && v[i].get<std::int64_t>() >= 0 &&
               v[i].get<std::int64_t>() <= 255;
        }
        if (!ok)
          a.fail("\"" + std::string(key) + "\" must be [r, g, b] of whole numbers 0 to 255, or null");
        return Font_Color{v[0].get<int>(), v[1].get<int>(), v[2].get<int>()};
      });
  o.remark_new_font_size =
      a.option<travo::docx::Length>("remark_new_font_size", defaults.remark_new_font_size, points);
  o.image_path = a.option<std::string>("image_path", defaults.image_path,
                                       [&](const json& v, const char* key) {
                                         return resolve(text(v, key), base);
                                       });
  o.image_height = a.option<double>("image_height", defaults.image_height, number);
  o.image_width = a.option<double>("image_width", defaults.image_width, number);
  o.image_fixed_ratio = a.option<bool>(
      "image_fixed_ratio", defaults.image_fixed_ratio, [&](const json& v, const char* key) {
        if (!v.is_boolean()) a.fail("\"" + std::string(key) + "\" must be true, false or null");
        return v.get<bool>();
      });
  return o;
}

using Call = std::function<Step_Result(Document&)>;

Step_Result nothing(const std::string& op) { return Step_Result{op, std::monostate{}}; }

// Each reader checks the arguments of one step and binds them into its call.

Call set_word_version_path_step(Args& a, const fs::path& base) {
  Value name = a.value("name", std::nullopt);
  std::string path = resolve(a.text("path", std::nullopt), base);
  return [=, op = a.op()](Document& d) {
    d.set_word_version_path(name, path);
    return nothing(op);
  };
}

Call run_version_step(Args& a, const fs::path& base) {
  Value version = a.value("version", std::nullopt);
  std::string save_path = resolve(a.text("save_path", "C:/corvana/"), base);
  return [=, op = a.op()](Document& d) {
    d.run_version(version, save_path);
    return nothing(op);
  };
}

Call set_step(Args& a, const fs::path& base) {
  Value old_text = a.value("old_text", std::nullopt);
  Value new_text = a.value("new_text", std::nullopt);
  Set_Options options = set_options(a, base);
  return [=, op = a.op()](Document& d) {
    d.set(old_text, new_text, options);
    return nothing(op);
  };
}

Call delete_step(Args& a, const fs::path&) {
  return [op = a.op()](Document& d) {
    d.delete_();
    return nothing(op);
  };
}

Call execute_set_step(Args& a, const fs::path&) {
  return [op = a.op()](Document& d) {
    d.execute_set();
    return nothing(op);
  };
}

Call add_table_step(Args& a, const fs::path& base) {
  Add_Table_Options o;
  o.abstract = a.value("abstract", Value(""));
  o.PAPN = a.value("PAPN", Value(""));
  o.title = a.value("title", Value(""));
  o.rows = a.whole("rows", 4);
  o.cols = a.whole("cols", 3);
  if (const json* v = a.find("image_path"); v && !v->is_null()) {
    if (!v->is_string()) a.fail("\"image_path\" must be a text or null");
    o.image_path = resolve(v->get<std::string>(), base);
  }
  return [=, op = a.op()](Document& d) {
    d._add_table(o);
    return nothing(op);
  };
}

Call output_step(Args& a, const fs::path&) {
  std::string name = a.value("name", std::nullopt).text_form();
  const bool pdf = a.boolean("pdf", false);
  const bool keep_docx = a.boolean("docx", true);
  return [=, op = a.op()](Document& d) {
    d.output(name, pdf, keep_docx);
    return nothing(op);
  };
}

Call show_all_text_step(Args& a, const fs::path&) {
  return [op = a.op()](Document& d) { return Step_Result{op, d.show_all_text()}; };
}

Call show_execute_set_step(Args& a, const fs::path&) {
  const bool specify_range = a.boolean("specify_range", false);
  return [=, op = a.op()](Document& d) {
    d.show_execute_set(specify_range);
    return Step_Result{op, *d.check_dict};
  };
}

Call check_template_step(Args& a, const fs::path&) {
  Template_Check_Options options;
  options.placeholder_pattern = a.text("pattern", std::string(Template_Check_Options::kDefaultPattern));
  // A bad pattern stops the job before any step runs.
  try {
    Placeholder_Pattern{options.placeholder_pattern};
  } catch (const std::invalid_argument& e) {
    a.fail(e.what());
  }
  return [=, op = a.op()](Document& d) {
    Template_Check check = d.check_template(options);
    for (const std::string& line : template_check_lines(check)) std::cout << line << "\n";
    std::cout.flush();
    return Step_Result{op, std::move(check)};
  };
}

struct Op {
  Job_Op help;
  Call (*read)(Args&, const fs::path&);
};

// Every op a job may name: adding one here adds it to the reader and to
// the help.
const Op kOps[] = {
    {{"set_word_version_path", "name, path"}, set_word_version_path_step},
    {{"run_version", "version, save_path (default \"C:/corvana/\")"}, run_version_step},
    {{"set",
      "old_text, new_text, new_font_name,\nnew_font_name_Chinese, new_font_size, new_alignment,\n"
      "left_indent, line_spacing, font_color,\nremark_new_font_size, image_path, image_height,\n"
      "image_width, image_fixed_ratio"},
     set_step},
    {{"delete", "(none)"}, delete_step},
    {{"execute_set", "(none)"}, execute_set_step},
    {{"_add_table", "abstract, PAPN, title, rows (4), cols (3), image_path"}, add_table_step},
    {{"output", "name, pdf (false), docx (true)"}, output_step},
    {{"show_all_text", "(none)"}, show_all_text_step},
    {{"show_execute_set", "specify_range (false)"}, show_execute_set_step},
    {{"check_template",
      "pattern (default \"\\\\{\\\\{[^{}]*\\\\}\\\\}\", a regular\nexpression for what looks like a placeholder)"},
     check_template_step},
};

const Op* find_op(std::string_view name) {
  for (const Op& op : kOps) {
    if (op.help.op == name) return &op;
  }
  return nullptr;
}

std::string op_names() {
  std::string out;
  for (const Op& op : kOps) {
    if (!out.empty()) out += ", ";
    out += op.help.op;
  }
  return out;
}

}  // namespace

Job Job::parse(std::string_view text, const fs::path& base_dir) {
  if (text.size() > kMaxFileSize)
    throw Job_Error("the job is larger than " + std::to_string(kMaxFileSize >> 20) + " MiB");
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {
    // Syntax errors, and numbers too large for a double.
    throw Job_Error(std::string("the job is not valid JSON: ") + e.what());
  }
  if (!root.is_object()) throw Job_Error("the job must be a JSON object with a \"steps\" array");
  for (auto it = root.begin(); it != root.end(); ++it) {
    if (it.key() != "steps")
      throw Job_Error("unknown top-level key \"" + it.key() + "\" (a job holds only \"steps\")");
  }
  auto steps = root.find("steps");
  if (steps == root.end() || !steps->is_array())
    throw Job_Error("the job must be a JSON object with a \"steps\" array");

  Job job;
  std::size_t number = 0;
  for (const json& step : *steps) {
    ++number;
    const std::string where = "step " + std::to_string(number);
    if (!step.is_object()) throw Job_Error(where + " is not a JSON object");
    auto op = step.find("op");
    if (op == step.end()) throw Job_Error(where + ": \"op\" is missing");
    if (!op->is_string()) throw Job_Error(where + ": \"op\" must be a text");
    const Op* known = find_op(op->get<std::string>());
    if (!known)
      throw Job_Error(where + ": unknown op \"" + op->get<std::string>() + "\" (one of " + op_names() + ")");
    Args args(step, number, op->get<std::string>());
    Call call = known->read(args, base_dir);
    args.check_no_other_keys();
    job.steps_.push_back(Step{args.op(), std::move(call)});
  }
  return job;
}

std::vector<Job_Op> job_ops() {
  std::vector<Job_Op> out;
  for (const Op& op : kOps) out.push_back(op.help);
  return out;
}

std::string job_ops_help() {
  constexpr std::size_t kColumn = 25;
  std::string out = "  op" + std::string(kColumn - 4, ' ') + "arguments\n";
  for (const Op& op : kOps) {
    std::string line = "  " + std::string(op.help.op);
    line.resize(std::max(kColumn, line.size() + 1), ' ');
    std::string_view args = op.help.arguments;
    for (std::size_t nl; (nl = args.find('\n')) != std::string_view::npos; args.remove_prefix(nl + 1)) {
      out += line;
      out += args.substr(0, nl);
      out += '\n';
      line.assign(kColumn, ' ');
    }
    out += line;
    out += args;
    out += '\n';
  }
  return out;
}

Job Job::load(const fs::path& file) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  const std::string shown = travo::platform::utf8_string(file);
  if (ec) throw Job_Error("cannot read the job " + shown + ": " + ec.message());
  if (size > kMaxFileSize)
    throw Job_Error("the job " + shown + " is larger than " +
                   std::to_string(kMaxFileSize >> 20) + " MiB");
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf())) throw Job_Error("cannot read the job " + shown);
  fs::path base = fs::absolute(file, ec).parent_path();
  if (ec) base = file.parent_path();
  return parse(text.str(), base);
}

void Job::run(Document& doc, std::vector<Step_Result>& results) const {
  for (std::size_t i = 0; i < steps_.size(); ++i) {
    try {
      results.push_back(steps_[i].call(doc));
    } catch (const std::exception& e) {
      throw Step_Error(i + 1, steps_[i].op, e.what());
    }
  }
}

std::string results_json(const std::vector<Step_Result>& results, const Step_Error* failure) {
  ordered_json steps = ordered_json::array();
  for (const Step_Result& r : results) {
    ordered_json result;  // null
    if (const auto* texts = std::get_if<std::vector<std::string>>(&r.result)) {
      result = *texts;
    } else if (const auto* found = std::get_if<Check_Dict>(&r.result)) {
      result = ordered_json::object();
      for (const auto& [placeholder, finding] : *found) result[placeholder] = {{"text", finding.text}};
    } else if (const auto* check = std::get_if<Template_Check>(&r.result)) {
      ordered_json misplaced = ordered_json::array();
      for (const Misplaced_Key& m : check->misplaced_keys) {
        ordered_json where = ordered_json::array();
        for (const Template_Place place : m.places) where.push_back(std::string(place_id(place)));
        misplaced.push_back({{"key", m.key}, {"where", std::move(where)}});
      }
      result = {{"unused_keys", check->unused_keys},
                {"misplaced_keys", std::move(misplaced)},
                {"unregistered_placeholders", check->unregistered_placeholders}};
    }
    steps.push_back({{"op", r.op}, {"result", std::move(result)}});
  }
  ordered_json out = {{"steps", std::move(steps)}};
  if (failure) {
    out["error"] = {{"step", failure->number}, {"op", failure->op}, {"message", failure->what()}};
  }
  // Document text is UTF-8, but a damaged template must not stop the
  // report from being written.
  return out.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace quire_model
