#include "resident_office.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "office.h"

#ifndef PLATEN_MODEL_BIN_DIR
#define PLATEN_MODEL_BIN_DIR ""
#endif

namespace platen_model::detail {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr const char* kBridgeName = "platen_uno_bridge.py";

fs::path find_bridge(const std::string& configured) {
  if (!configured.empty()) {
    if (fs::is_regular_file(configured)) return configured;
    throw std::runtime_error("the UNO helper " + configured + " does not exist");
  }
  std::vector<fs::path> dirs;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) dirs.push_back(exe.parent_path());
  if (const char* bin = std::getenv("TRAVO_BIN_DIR"); bin && *bin) dirs.emplace_back(bin);
  if (*PLATEN_MODEL_BIN_DIR) dirs.emplace_back(PLATEN_MODEL_BIN_DIR);
  std::string looked;
  for (const fs::path& d : dirs) {
    if (fs::is_regular_file(d / kBridgeName)) return d / kBridgeName;
    looked += (looked.empty() ? "" : ", ") + d.string();
  }
  throw std::runtime_error(std::string("the UNO helper ") + kBridgeName + " was not found (looked in " + looked + ")");
}

}  // namespace

Resident_Office::Resident_Office(Resident_Setup setup) : setup_(std::move(setup)) {}

Resident_Office::~Resident_Office() { stop(true); }

void Resident_Office::convert(const fs::path& soffice, const fs::path& private_dir, const fs::path& input,
                              const fs::path& target) {
  const std::string request = "convert " + file_url(input) + " " + file_url(target) + "\n";
  if (office_pid_ != 0 && (has_exited(office_pid_) || has_exited(bridge_pid_))) stop(false);
  dir_ = private_dir;
  if (office_pid_ == 0) start(soffice);
  for (bool retried = false;; retried = true) {
    Reply reply = exchange(request, Clock::now() + setup_.timeout);
    switch (reply.outcome) {
      case Outcome::kOk:
        return;
      case Outcome::kFailed:
        throw std::runtime_error("LibreOffice could not convert it: " + reply.text);
      case Outcome::kTimeout:
        stop(false);
        throw std::runtime_error("LibreOffice did not finish within " + seconds_text(setup_.timeout) +
                                 "; the resident office was stopped");
      case Outcome::kHelperLost: {
        // Not retried: whatever took the helper down would most likely do
        // so again, at the cost of another office start.
        std::string log = office_log(office_log_path());
        std::string said = file_tail(dir_ / "bridge.log", 600);
        stop(false);
        throw Office_Lost(with_log(reply.text + (said.empty() ? "" : " (" + said + ")"), log));
      }
      case Outcome::kLost: {
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
  pipe_name_ = "platen-" + std::to_string(getpid()) + "-" + random_token();
  const auto deadline = Clock::now() + setup_.timeout;

  Spawn_Request office;
  seed_profile(dir_ / "profile-resident", soffice);
  office.argv = office_command(soffice, dir_ / "profile-resident");
  office.argv.push_back("--accept=pipe,name=" + pipe_name_ + ";urp;StarOffice.ComponentContext");
  office.env = office_environment(dir_);
  int log_fd = open_log(office_log_path());
  office.fds = {{log_fd, 1}, {log_fd, 2}};
  pid_t office_pid;
  try {
    office_pid = spawn(office);
  } catch (...) {
    close(log_fd);
    throw;
  }
  close(log_fd);
  office_pid_ = office_pid;
  ++starts_;

  try {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
      throw std::runtime_error(std::string("cannot create a socket pair: ") + std::strerror(errno));
    }
    channel_ = sv[0];
    Spawn_Request bridge;
    long connect_s = std::max<long>(1, std::chrono::duration_cast<std::chrono::seconds>(setup_.timeout).count());
    bridge.argv = {setup_.python, "-I", script.string(), pipe_name_, std::to_string(office_pid),
                   std::to_string(connect_s), dir_.string()};
    int bridge_log = open((dir_ / "bridge.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bridge.fds = {{sv[1], 3}};
    if (bridge_log >= 0) bridge.fds.insert(bridge.fds.end(), {{bridge_log, 1}, {bridge_log, 2}});
    try {
      bridge_pid_ = spawn(bridge);
    } catch (const std::exception& e) {
      close(sv[1]);
      if (bridge_log >= 0) close(bridge_log);
      throw std::runtime_error(std::string("cannot start the UNO helper: ") + e.what());
    }
    close(sv[1]);
    if (bridge_log >= 0) close(bridge_log);

    std::string line;
    switch (read_line(deadline, line)) {
      case Read::kLine:
        if (line == "ready") return;
        if (line.rfind("fatal ", 0) == 0) throw std::runtime_error(line.substr(6));
        throw std::runtime_error("unexpected answer from the UNO helper: " + line);
      case Read::kEof:
        throw std::runtime_error(with_log("the UNO helper exited during start-up: " +
                                              file_tail(dir_ / "bridge.log", 600),
                                          office_log(office_log_path())));
      case Read::kOfficeGone:
        throw std::runtime_error(with_log("LibreOffice exited during start-up", office_log(office_log_path())));
      case Read::kTimeout:
        throw std::runtime_error(with_log("LibreOffice did not start within " + seconds_text(setup_.timeout),
                                          office_log(office_log_path())));
    }
  } catch (...) {
    stop(false);
    throw;
  }
}

void Resident_Office::stop(bool politely) {
  if (office_pid_ == 0 && bridge_pid_ == 0 && channel_ < 0) return;
  if (politely && channel_ >= 0 && bridge_pid_ > 0 && !has_exited(office_pid_)) {
    std::string line;
    if (send_line("quit\n") && read_line(Clock::now() + std::chrono::seconds(3), line) == Read::kLine &&
        line == "bye") {
      wait_exit(office_pid_, Clock::now() + std::chrono::seconds(3));
    }
  }
  kill_and_reap(bridge_pid_, std::chrono::seconds(2));
  kill_and_reap(office_pid_, std::chrono::seconds(5));
  if (channel_ >= 0) close(channel_);
  if (!pipe_name_.empty()) {
    // A killed office leaves its listening socket behind.
    std::error_code ec;
    fs::remove("/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + pipe_name_, ec);
  }
  channel_ = -1;
  bridge_pid_ = 0;
  office_pid_ = 0;
  pipe_name_.clear();
  pending_.clear();
}

bool Resident_Office::send_line(const std::string& line) {
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t n = send(channel_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

Resident_Office::Read Resident_Office::read_line(Clock::time_point deadline, std::string& line) {
  for (;;) {
    if (auto nl = pending_.find('\n'); nl != std::string::npos) {
      line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return Read::kLine;
    }
    auto now = Clock::now();
    if (now >= deadline) return Read::kTimeout;
    auto wait = std::min<Clock::duration>(deadline - now, milliseconds(100));
    pollfd p{channel_, POLLIN, 0};
    int rc = poll(&p, 1, static_cast<int>(std::chrono::ceil<milliseconds>(wait).count()));
    if (rc < 0 && errno != EINTR) return Read::kEof;
    if (rc > 0) {
      char buf[4096];
      ssize_t n = read(channel_, buf, sizeof buf);
      if (n > 0) {
        pending_.append(buf, static_cast<std::size_t>(n));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        return Read::kEof;
      }
    } else if (rc == 0 && has_exited(office_pid_)) {
      return Read::kOfficeGone;
    }
  }
}

Resident_Office::Reply Resident_Office::exchange(const std::string& request, Clock::time_point deadline) {
  if (!send_line(request)) return {Outcome::kHelperLost, "the UNO helper is gone"};
  std::string line;
  switch (read_line(deadline, line)) {
    case Read::kLine:
      if (line == "ok") return {Outcome::kOk, {}};
      if (line.rfind("lost ", 0) == 0) return {Outcome::kLost, line.substr(5)};
      if (line.rfind("error ", 0) == 0) return {Outcome::kFailed, line.substr(6)};
      return {Outcome::kFailed, "unexpected answer from the UNO helper: " + line};
    case Read::kEof:
      return {Outcome::kHelperLost, "the UNO helper exited"};
    case Read::kOfficeGone:
      return {Outcome::kLost, "LibreOffice exited"};
    case Read::kTimeout:
      return {Outcome::kTimeout, {}};
  }
  return {Outcome::kLost, {}};
}

}  // namespace platen_model::detail
