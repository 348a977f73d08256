// A resident headless LibreOffice and the UNO helper that drives it.
//
// The office is started listening on a private UNO pipe; the helper
// (platen_uno_bridge.py, run by Python with the `uno` module) connects to it
// and serves requests from this side over its standard input and output,
// one line each way per request (its log goes to standard error); the
// helper's docstring states the protocol. Office and helper are each a
// travo::platform::Process, so either can be killed with everything it
// started.
//
// Every wait is bounded by the timeout given at construction: the start-up
// (until the helper reports "ready") and each conversion. A conversion that
// exceeds it has office and helper killed.
//
// Not thread-safe: the owner serialises calls.
#pragma once

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "office.h"
#include "platen_model/platen_model.h"
#include "travo/platform/process.h"

namespace platen_model::detail {

struct Resident_Setup {
  // The Python that runs the helper; empty: find_python()'s choice.
  std::string python;
  // The helper script; empty: platen_uno_bridge.py beside the running
  // executable.
  std::string bridge_script;
  std::chrono::milliseconds timeout;
  // Told when an office starts and stops; may be null.
  Observer* observer;
};

// The resident office, or its helper, died on a document: the office was
// lost on the retry after a restart, could not be restarted, or the helper
// itself went away. Office and helper are stopped; the next convert()
// starts them afresh. The document may still convert in an office of its
// own.
class Office_Lost : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Resident_Office {
 public:
  explicit Resident_Office(Resident_Setup setup);
  Resident_Office(const Resident_Office&) = delete;
  Resident_Office& operator=(const Resident_Office&) = delete;
  ~Resident_Office();

  // Has the office write `input` as the PDF `target`. Starts the office
  // (with `soffice`, its profile, pipe and logs in `private_dir`) if none
  // runs; one found dead is restarted first. An office lost during the
  // conversion is restarted and the conversion retried once. Throws
  // Office_Lost as described there, and std::runtime_error when LibreOffice
  // cannot convert the document, when the office cannot be started, and at
  // the time-out. The caller checks what was written at `target`.
  void convert(const std::filesystem::path& soffice, const std::filesystem::path& private_dir,
               const std::filesystem::path& input, const std::filesystem::path& target);

  // Ends the helper and the office (through the helper's "quit" if
  // `politely` and possible, by killing their process trees otherwise)
  // and forgets them. Does nothing when none runs.
  void stop(bool politely);

  // Where the office's standard output and error go.
  std::filesystem::path office_log_path() const { return dir_ / "office.log"; }

 private:
  // kLost: the office went away; kHelperLost: the helper did.
  enum class Outcome { ok, failed, lost, helper_lost, timeout };
  struct Reply {
    Outcome outcome;
    std::string text;
  };
  enum class Read { line, eof, office_gone, timeout };

  void start(const std::filesystem::path& soffice);
  bool send_line(const std::string& line);
  Read read_line(Clock::time_point deadline, std::string& line);
  Reply exchange(const std::string& request, Clock::time_point deadline);

  const Resident_Setup setup_;
  std::filesystem::path dir_;
  travo::platform::Process_Id office_pid_ = 0;
  travo::platform::Process office_;
  travo::platform::Process bridge_;
  std::string pipe_name_;
  std::string pending_;
};

}  // namespace platen_model::detail
