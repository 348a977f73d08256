// Helpers shared by the tests of the converter and of its users: a record of
// what a converter starts (through its Observer), and the message a failing
// call throws.
#pragma once

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "platen_model/platen_model.h"
#include "travo/platform/process.h"

namespace platen_model::test_support {

// What a converter reported to its Observer.
class Recorder : public Observer {
 public:
  void private_folder_created(const std::filesystem::path& folder) override {
    std::lock_guard lock(mu_);
    folder_ = folder;
  }
  void office_started(travo::platform::Process_Id launcher) override {
    std::lock_guard lock(mu_);
    resident_ = launcher;
    ++office_starts_;
  }
  void office_stopped(travo::platform::Process_Id launcher) override {
    std::lock_guard lock(mu_);
    if (resident_ == launcher) resident_ = 0;
  }

  // The launcher of the resident office that runs now; 0 when none runs.
  travo::platform::Process_Id resident_pid() const {
    std::lock_guard lock(mu_);
    return resident_;
  }
  // How many resident offices were started.
  int office_starts() const {
    std::lock_guard lock(mu_);
    return office_starts_;
  }
  // The private folder; empty until the first conversion made it.
  std::filesystem::path private_dir() const {
    std::lock_guard lock(mu_);
    return folder_;
  }

 private:
  mutable std::mutex mu_;
  std::filesystem::path folder_;
  travo::platform::Process_Id resident_ = 0;
  int office_starts_ = 0;
};

// A converter together with the Recorder it reports to, asked about the
// way tests ask.
class Observed_Converter {
 public:
  explicit Observed_Converter(Options options = {}) : converter_(observed(std::move(options), recorder_)) {}

  void convert(const std::string& input_docx, const std::string& output_pdf, bool keep_active) {
    converter_.convert(input_docx, output_pdf, keep_active);
  }
  travo::platform::Process_Id resident_pid() const { return recorder_.resident_pid(); }
  int office_starts() const { return recorder_.office_starts(); }
  std::filesystem::path private_dir() const { return recorder_.private_dir(); }

 private:
  static Options observed(Options options, Recorder& recorder) {
    options.observer = &recorder;
    return options;
  }
  Recorder recorder_;  // outlives the converter, which reports while it ends
  Platen_Model converter_;
};

// The message of the std::runtime_error that `f` throws; "" if it throws
// none.
template <typename F>
std::string error_of(F&& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

}  // namespace platen_model::test_support
