#include "platen_model/platen_model.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "office.h"
#include "resident_office.h"
#include "travo/platform/atomic_file.h"
#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "travo/platform/temp_folder.h"
#include "travo/platform/utf8.h"
#include "word.h"

namespace platen_model {
namespace {

namespace fs = std::filesystem;
namespace platform = travo::platform;
using detail::Clock;

// Rejects what no program need be started for.
void check_input(const fs::path& input) {
  std::error_code ec;
  fs::file_status st = fs::status(input, ec);
  if (!fs::exists(st)) throw std::runtime_error("input document not found");
  if (!fs::is_regular_file(st)) throw std::runtime_error("input is not a regular file");
  std::ifstream in(input, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("cannot read input document: ") + std::strerror(errno));
  char magic[4] = {};
  in.read(magic, 4);
  if (in.gcount() != 4 || std::memcmp(magic, "PK\x03\x04", 4) != 0) {
    throw std::runtime_error("input is not a Word .docx document (not a ZIP package)");
  }
}

void check_pdf(const fs::path& pdf, const char* program) {
  std::ifstream in(pdf, std::ios::binary);
  char head[5] = {};
  in.read(head, 5);
  if (!in || std::memcmp(head, "%PDF-", 5) != 0) {
    throw std::runtime_error(std::string(program) + " wrote an empty or invalid PDF");
  }
}

// A file or folder of the private folder that goes when the conversion
// ends, however it ends.
struct Removed_At_Exit {
  fs::path path;
  ~Removed_At_Exit() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

constexpr const char* kConverterVariable = "TRAVO_PDF_CONVERTER";

// The program Options::converter or TRAVO_PDF_CONVERTER asks for;
// automatic when neither does.
Converter asked_for(Converter configured) {
  if (configured != Converter::automatic) return configured;
  const auto named = platform::environment_variable(kConverterVariable);
  if (!named || named->empty()) return Converter::automatic;
  std::string value = *named;
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (value == "word") return Converter::word;
  if (value == "libreoffice") return Converter::libreoffice;
  throw std::runtime_error(std::string(kConverterVariable) + " is \"" + *named + "\"; it takes word or libreoffice");
}

}  // namespace

class Platen_Model::Impl {
 public:
  explicit Impl(Options options)
      : opt_(std::move(options)), resident_({opt_.python, opt_.bridge_script, opt_.timeout, opt_.observer}) {}

  ~Impl() {
    std::lock_guard lock(mu_);
    word_.reset();  // before the private folder goes
    resident_.stop(true);
    if (!dir_.empty()) {
      std::error_code ec;
      fs::remove_all(dir_, ec);
    }
  }

  void convert(const fs::path& input, const fs::path& output, bool keep_active) {
    check_input(input);
    if (output.empty() || output.filename().empty()) throw std::runtime_error("empty output path");
    std::error_code ec;
    if (fs::is_directory(output, ec)) throw std::runtime_error("output " + platform::utf8_string(output) + " is a folder");
    if (!output.parent_path().empty()) {
      fs::create_directories(output.parent_path(), ec);
      if (ec) throw std::runtime_error("cannot create " + platform::utf8_string(output.parent_path()) + ": " + ec.message());
    }

    std::lock_guard lock(mu_);
    const Converter asked = asked_for(opt_.converter);
    const std::optional<std::string> no_word = detail::word_unavailable();
    if (asked == Converter::word && no_word) {
      const std::string who = opt_.converter == Converter::word ? std::string("the options ask")
                                                                : std::string(kConverterVariable) + "=word asks";
      throw std::runtime_error(who + " for Microsoft Word, but " + *no_word);
    }
    if (asked == Converter::word || (asked == Converter::automatic && !no_word)) {
      make_private_dir();
      convert_word(input, output, keep_active);
      return;
    }
    fs::path soffice;
    try {
      soffice = detail::find_soffice(opt_.soffice);
    } catch (const std::runtime_error& e) {
      // Where Word would have been the first choice, the user learns of both.
      if (asked == Converter::automatic && detail::word_supported()) {
        throw std::runtime_error("neither Microsoft Word nor LibreOffice is installed: " + *no_word + "; " + e.what());
      }
      throw;
    }
    make_private_dir();
    if (keep_active) {
      convert_resident(soffice, input, output);
    } else {
      convert_once(soffice, input, output);
    }
  }

 private:
  void make_private_dir() {
    if (!dir_.empty()) return;
    fs::path made;
    try {
      made = platform::create_private_folder("platen-", opt_.temp_root);
    } catch (const std::system_error& e) {
      throw std::runtime_error(e.what());
    }
    fs::create_directories(made / "tmp");
    detail::prepare_private_folder(made);
    dir_ = made;
    if (opt_.observer) opt_.observer->private_folder_created(dir_);
  }

  // One `soffice --convert-to` run.
  void convert_once(const fs::path& soffice, const fs::path& input, const fs::path& output) {
    fs::path out_dir = dir_ / ("out-" + std::to_string(++runs_));
    fs::create_directories(out_dir);
    const Removed_At_Exit cleanup{out_dir};

    fs::path log = dir_ / "convert.log";
    platform::Process_Options req;
    detail::seed_profile(dir_ / "profile-once", soffice);
    req.argv = detail::office_command(soffice, dir_ / "profile-once");
    req.argv.insert(req.argv.end(), {"--convert-to", "pdf:writer_pdf_Export", "--outdir", platform::utf8_string(out_dir),
                                     platform::utf8_string(fs::absolute(input))});
    req.environment = detail::office_environment(dir_);
    req.standard_output = platform::Redirect::to_file(log);
    req.error_to_output = true;
    // Safe here: the calling thread waits for this child until it is gone.
    req.dies_with_parent = true;
    platform::Process office = platform::Process::start(req);

    if (!office.wait_for(opt_.timeout)) {
      office.kill_tree_and_wait(std::chrono::seconds(5));
      throw std::runtime_error(detail::with_log("LibreOffice did not finish within " +
                                                    detail::seconds_text(opt_.timeout) + " and was stopped",
                                                detail::office_log(log)));
    }
    const platform::Exit_Status status = office.wait();
    office.kill_tree();  // stragglers of the launcher, if any

    fs::path pdf;
    for (const auto& entry : fs::directory_iterator(out_dir)) {
      if (entry.is_regular_file() && entry.path().extension() == ".pdf") pdf = entry.path();
    }
    if (pdf.empty() || fs::file_size(pdf) == 0) {
      throw std::runtime_error(detail::with_log(
          "LibreOffice produced no PDF (" + status.describe() + ")", detail::office_log(log)));
    }
    check_pdf(pdf, "LibreOffice");
    travo::platform::atomic_install(pdf, output);
  }

  void convert_word(const fs::path& input, const fs::path& output, bool keep_active) {
    // Word writes into the private folder; the finished PDF then replaces
    // the output in one step.
    const fs::path part = dir_ / ("word-" + std::to_string(++runs_) + ".pdf");
    const Removed_At_Exit cleanup{part};
    if (!word_) word_ = std::make_unique<detail::Word>(detail::Word_Setup{opt_.timeout, opt_.word_start_timeout, opt_.observer});
    word_->convert(fs::absolute(input), part, keep_active);
    std::error_code ec;
    if (!fs::exists(part, ec) || fs::file_size(part, ec) == 0) throw std::runtime_error("Microsoft Word produced no PDF");
    check_pdf(part, "Microsoft Word");
    travo::platform::atomic_install(part, output);
  }

  void convert_resident(const fs::path& soffice, const fs::path& input, const fs::path& output) {
    // The office writes into the private folder; the finished PDF then
    // replaces the output in one step.
    fs::path part = dir_ / ("resident-" + std::to_string(++runs_) + ".pdf");
    const Removed_At_Exit cleanup{part};

    try {
      resident_.convert(soffice, dir_, input, part);
    } catch (const detail::Office_Lost& lost) {
      // An office of its own, as in a one-shot run, still gives the user the
      // PDF; the resident office starts afresh with the next document.
      try {
        convert_once(soffice, input, output);
      } catch (const std::exception& e) {
        throw std::runtime_error(std::string(lost.what()) + "; a one-shot conversion after it failed too: " +
                                 e.what());
      }
      return;
    }
    std::error_code ec;
    if (!fs::exists(part, ec) || fs::file_size(part, ec) == 0) {
      throw std::runtime_error(
          detail::with_log("LibreOffice produced no PDF", detail::office_log(resident_.office_log_path())));
    }
    check_pdf(part, "LibreOffice");
    travo::platform::atomic_install(part, output);
  }

  const Options opt_;
  std::mutex mu_;  // one conversion at a time
  fs::path dir_;
  int runs_ = 0;
  detail::Resident_Office resident_;
  std::unique_ptr<detail::Word> word_;  // made by the first conversion through Word
};

Platen_Model::Platen_Model() : Platen_Model(Options{}) {}

Platen_Model::Platen_Model(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Platen_Model::~Platen_Model() = default;

void Platen_Model::convert(const std::string& input_docx, const std::string& output_pdf, bool keep_active) {
  try {
    impl_->convert(platform::utf8_path(input_docx), platform::utf8_path(output_pdf), keep_active);
  } catch (const std::exception& e) {
    throw std::runtime_error("cannot convert " + input_docx + " to PDF: " + e.what());
  }
}

}  // namespace platen_model
