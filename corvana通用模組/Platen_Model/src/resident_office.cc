#include "resident_office.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "office.h"
#include "travo/platform/paths.h"
#include "travo/platform/utf8.h"

namespace platen_model::detail {
namespace {

namespace fs = std::filesystem;
namespace platform = travo::platform;
using std::chrono::milliseconds;

constexpr const char* kBridgeName = "platen_uno_bridge.py";

// An installed TRAVO has the helper beside its executables; anywhere else
// it is named in the options.
fs::path find_bridge(const std::string& configured) {
  if (!configured.empty()) {
    if (fs::is_regular_file(platform::utf8_path(configured))) return platform::utf8_path(configured);
    throw std::runtime_error("the UNO helper " + configured + " does not exist");
  }
  const fs::path beside = platform::executable_dir() / kBridgeName;
  if (fs::is_regular_file(beside)) return beside;
  throw std::runtime_error(std::string("the UNO helper ") + kBridgeName + " was not found beside the program (in " +
                           platform::utf8_string(platform::executable_dir()) + ")");
}

}  // namespace

Resident_Office::Resident_Office(Resident_Setup setup) : setup_(std::move(setup)) {}

Resident_Office::~Resident_Office() { stop(true); }

void Resident_Office::convert(const fs::path& soffice, const fs::path& private_dir, const fs::path& input,
                              const fs::path& target) {
  const std::string request = "convert " + file_url(input) + " " + file_url(target) + "\n";
  if (office_pid_ != 0 && (office_.has_exited() || bridge_.has_exited())) stop(false);
  dir_ = private_dir;
  if (office_pid_ == 0) start(soffice);
  for (bool retried = false;; retried = true) {
    Reply reply = exchange(request, Clock::now() + setup_.timeout);
    switch (reply.outcome) {
      case Outcome::ok:
        return;
      case Outcome::failed:
        throw std::runtime_error("LibreOffice could not convert it: " + reply.text);
      case Outcome::timeout:
        stop(false);
        throw std::runtime_error("LibreOffice did not finish within " + seconds_text(setup_.timeout) +
                                 "; the resident office was stopped");
      case Outcome::helper_lost: {
        // Not retried: whatever took the helper down would most likely do
        // so again, at the cost of another office start.
        std::string log = office_log(office_log_path());
        std::string said = file_tail(dir_ / "bridge.log", 600);
        stop(false);
        throw Office_Lost(with_log(reply.text + (said.empty() ? "" : " (" + said + ")"), log));
      }
      case Outcome::lost: {
        std::string log = office_log(office_log_path());
        stop(false);
        if (retried) throw Office_Lost(with_log("LibreOffice failed again after a restart: " + reply.text, log));
        try {
          start(soffice);
        } catch (const std::exception& e) {
          throw Office_Lost(with_log("LibreOffice failed (" + reply.text + ") and could not be restarted: " + e.what(),
                                     log));
        }
        continue;
      }
    }
  }
}

void Resident_Office::start(const fs::path& soffice) {
  fs::path script = find_bridge(setup_.bridge_script);
  pipe_name_ = "platen-" + random_token() + random_token();
  const auto deadline = Clock::now() + setup_.timeout;

  platform::Process_Options office;
  seed_profile(dir_ / "profile-resident", soffice);
  office.argv = office_command(soffice, dir_ / "profile-resident");
  office.argv.push_back("--accept=pipe,name=" + pipe_name_ + ";urp;StarOffice.ComponentContext");
  office.environment = office_environment(dir_);
  office.standard_output = platform::Redirect::to_file(office_log_path());
  office.error_to_output = true;
  office_ = platform::Process::start(office);
  office_pid_ = office_.id();
  if (setup_.observer) setup_.observer->office_started(office_pid_);

  try {
    platform::Process_Options bridge;
    long connect_s = std::max<long>(1, std::chrono::duration_cast<std::chrono::seconds>(setup_.timeout).count());
    bridge.argv = {platform::utf8_string(find_python(setup_.python, soffice)), "-I", platform::utf8_string(script), pipe_name_,
                   std::to_string(office_pid_), std::to_string(connect_s), platform::utf8_string(dir_)};
    bridge.standard_input = platform::Redirect::to_pipe();
    bridge.standard_output = platform::Redirect::to_pipe();
    bridge.standard_error = platform::Redirect::to_file(dir_ / "bridge.log");
    try {
      bridge_ = platform::Process::start(bridge);
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string("cannot start the UNO helper: ") + e.what());
    }

    std::string line;
    switch (read_line(deadline, line)) {
      case Read::line:
        if (line == "ready") return;
        if (line.rfind("fatal ", 0) == 0) throw std::runtime_error(line.substr(6));
        throw std::runtime_error("unexpected answer from the UNO helper: " + line);
      case Read::eof:
        throw std::runtime_error(with_log("the UNO helper exited during start-up: " +
                                              file_tail(dir_ / "bridge.log", 600),
                                          office_log(office_log_path())));
      case Read::office_gone:
        throw std::runtime_error(with_log("LibreOffice exited during start-up", office_log(office_log_path())));
      case Read::timeout:
        throw std::runtime_error(with_log("LibreOffice did not start within " + seconds_text(setup_.timeout),
                                          office_log(office_log_path())));
    }
  } catch (...) {
    stop(false);
    throw;
  }
}

void Resident_Office::stop(bool politely) {
  if (!office_.valid() && !bridge_.valid()) return;
  if (politely && bridge_.valid() && office_.valid() && !office_.has_exited()) {
    std::string line;
    if (send_line("quit\n") && read_line(Clock::now() + std::chrono::seconds(3), line) == Read::line &&
        line == "bye") {
      office_.wait_for(std::chrono::seconds(3));
    }
  }
  // Letting go of a Process kills whatever is left of its tree.
  bridge_.kill_tree();
  office_.kill_tree();
  bridge_ = platform::Process();
  office_ = platform::Process();
  if (office_pid_ != 0 && setup_.observer) setup_.observer->office_stopped(office_pid_);
  remove_pipe_leftovers(pipe_name_);
  office_pid_ = 0;
  pipe_name_.clear();
  pending_.clear();
}

bool Resident_Office::send_line(const std::string& line) { return bridge_.valid() && bridge_.write_input(line); }

Resident_Office::Read Resident_Office::read_line(Clock::time_point deadline, std::string& line) {
  for (;;) {
    if (auto nl = pending_.find('\n'); nl != std::string::npos) {
      line = pending_.substr(0, nl);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      pending_.erase(0, nl + 1);
      return Read::line;
    }
    auto now = Clock::now();
    if (now >= deadline) return Read::timeout;
    switch (bridge_.read_output(pending_, std::min<Clock::time_point>(deadline, now + milliseconds(100)))) {
      case platform::Read_Result::data:
        break;
      case platform::Read_Result::end:
        return Read::eof;
      case platform::Read_Result::timeout:
        if (office_.has_exited()) return Read::office_gone;
        break;
    }
  }
}

Resident_Office::Reply Resident_Office::exchange(const std::string& request, Clock::time_point deadline) {
  if (!send_line(request)) return {Outcome::helper_lost, "the UNO helper is gone"};
  std::string line;
  switch (read_line(deadline, line)) {
    case Read::line:
      if (line == "ok") return {Outcome::ok, {}};
      if (line.rfind("lost ", 0) == 0) return {Outcome::lost, line.substr(5)};
      if (line.rfind("error ", 0) == 0) return {Outcome::failed, line.substr(6)};
      return {Outcome::failed, "unexpected answer from the UNO helper: " + line};
    case Read::eof:
      return {Outcome::helper_lost, "the UNO helper exited"};
    case Read::office_gone:
      return {Outcome::lost, "LibreOffice exited"};
    case Read::timeout:
      return {Outcome::timeout, {}};
  }
  return {Outcome::lost, {}};
}

}  // namespace platen_model::detail
