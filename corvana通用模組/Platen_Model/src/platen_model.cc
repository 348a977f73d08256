#include "platen_model/platen_model.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "subprocess.h"

#ifndef PLATEN_MODEL_BIN_DIR
#define PLATEN_MODEL_BIN_DIR ""
#endif

namespace platen_model {
namespace {

namespace fs = std::filesystem;
using detail::Clock;
using std::chrono::milliseconds;

constexpr const char* kBridgeName = "platen_uno_bridge.py";

std::string seconds_text(milliseconds d) {
  std::ostringstream out;
  out << static_cast<double>(d.count()) / 1000.0 << " s";
  return out.str();
}

std::string random_token() {
  std::random_device rd;
  std::uint64_t v = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return buf;
}

// A file URL with every byte outside the unreserved set percent-encoded, so
// it survives LibreOffice's URL parsing and contains no spaces or newlines.
std::string file_url(const fs::path& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : fs::absolute(path).lexically_normal().string()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

bool is_executable_file(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec) && access(p.c_str(), X_OK) == 0;
}

fs::path find_soffice(const std::string& configured) {
  if (!configured.empty()) {
    if (is_executable_file(configured)) return configured;
    throw std::runtime_error("LibreOffice not found: " + configured + " does not exist or is not executable");
  }
  if (const char* path = std::getenv("PATH")) {
    std::string_view rest(path);
    while (!rest.empty()) {
      auto colon = rest.find(':');
      std::string_view dir = rest.substr(0, colon);
      if (!dir.empty() && is_executable_file(fs::path(dir) / "soffice")) return fs::path(dir) / "soffice";
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  for (const char* p : {"/usr/bin/soffice", "/usr/lib/libreoffice/program/soffice"}) {
    if (is_executable_file(p)) return p;
  }
  throw std::runtime_error(
      "LibreOffice not found: no soffice on PATH, at /usr/bin/soffice or at "
      "/usr/lib/libreoffice/program/soffice (install libreoffice-writer-nogui)");
}

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

// Rejects what LibreOffice need not be started for.
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

void check_pdf(const fs::path& pdf) {
  std::ifstream in(pdf, std::ios::binary);
  char head[5] = {};
  in.read(head, 5);
  if (!in || std::memcmp(head, "%PDF-", 5) != 0) {
    throw std::runtime_error("LibreOffice wrote an empty or invalid PDF");
  }
}

// A hidden, unique name beside `target` for writing before the rename.
fs::path temp_beside(const fs::path& target) {
  std::string name(1, '.');
  name.append(target.filename().string()).append(1, '.').append(random_token()).append(".part");
  return target.parent_path() / name;
}

// Moves `from` to `to` atomically; across file systems through a temporary
// copy beside `to`.
void install(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return;
  if (ec != std::errc::cross_device_link) {
    throw std::runtime_error("cannot write " + to.string() + ": " + ec.message());
  }
  fs::path tmp = temp_beside(to);
  fs::copy_file(from, tmp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::rename(tmp, to, ec);
  if (ec) {
    fs::remove(tmp);
    throw std::runtime_error("cannot write " + to.string() + ": " + ec.message());
  }
}

// Prepares a new LibreOffice user profile so that its first start costs no
// more than later ones:
// - ooSetupLastVersion set beyond any release: LibreOffice otherwise takes
//   itself for freshly upgraded on every headless start (headless never
//   records the version) and runs its graphics self-tests, several times the
//   cost of the conversion itself;
// - the installation's build id in user/extensions/buildid: without it a
//   new profile's extension cache is rebuilt and the office restarts itself
//   once before it serves anything.
void seed_profile(const fs::path& profile, const fs::path& soffice) {
  std::error_code ec;
  if (fs::exists(profile, ec)) return;
  fs::create_directories(profile / "user" / "extensions");
  std::ofstream(profile / "user" / "registrymodifications.xcu")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
         "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
         "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
         "oor:op=\"fuse\"><value>99.9</value></prop></item>\n"
         "</oor:items>\n";
  fs::path program = fs::canonical(soffice, ec).parent_path();
  std::ifstream versionrc(program / "versionrc");
  std::string line;
  while (std::getline(versionrc, line)) {
    if (line.rfind("buildid=", 0) == 0) {
      std::ofstream(profile / "user" / "extensions" / "buildid", std::ios::binary) << line.substr(8);
      break;
    }
  }
}

// LibreOffice's log without the launcher's harmless complaint about Java.
std::string office_log(const fs::path& log) {
  std::istringstream in(detail::file_tail(log));
  std::string out, line;
  while (std::getline(in, line)) {
    if (line.find("javaldx") != std::string::npos || line.empty()) continue;
    out += (out.empty() ? "" : " | ") + line;
  }
  return out;
}

std::string with_log(std::string message, const std::string& log) {
  if (!log.empty()) message += "; LibreOffice said: " + log;
  return message;
}

int open_log(const fs::path& p) {
  int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + p.string() + ": " + std::strerror(errno));
  return fd;
}

}  // namespace

class Platen_Model::Impl {
 public:
  explicit Impl(Options options) : opt_(std::move(options)) {}

  ~Impl() {
    std::lock_guard lock(mu_);
    stop_resident(true);
    if (!dir_.empty()) {
      std::error_code ec;
      fs::remove_all(dir_, ec);
    }
  }

  void convert(const fs::path& input, const fs::path& output, bool keep_active) {
    check_input(input);
    if (output.empty() || output.filename().empty()) throw std::runtime_error("empty output path");
    std::error_code ec;
    if (fs::is_directory(output, ec)) throw std::runtime_error("output " + output.string() + " is a folder");
    if (!output.parent_path().empty()) {
      fs::create_directories(output.parent_path(), ec);
      if (ec) throw std::runtime_error("cannot create " + output.parent_path().string() + ": " + ec.message());
    }

    std::lock_guard lock(mu_);
    fs::path soffice = find_soffice(opt_.soffice);
    make_private_dir();
    if (keep_active) {
      convert_resident(soffice, input, output);
    } else {
      convert_once(soffice, input, output);
    }
  }

  pid_t resident_pid() const { return office_pid_.load(); }
  int office_starts() const { return starts_.load(); }
  fs::path private_dir() const {
    std::lock_guard lock(dir_mu_);
    return dir_;
  }

 private:
  enum class Outcome { kOk, kFailed, kLost, kTimeout };
  struct Reply {
    Outcome outcome;
    std::string text;
  };

  void make_private_dir() {
    if (!dir_.empty()) return;
    fs::path base = opt_.temp_root;
    if (base.empty()) {
      const char* t = std::getenv("TMPDIR");
      base = (t && *t) ? t : "/tmp";
    }
    std::string pattern = (base / "platen-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a private folder in " + base.string() + ": " + std::strerror(errno));
    }
    fs::create_directories(fs::path(pattern) / "tmp");
    std::lock_guard lock(dir_mu_);
    dir_ = pattern;
  }

  std::vector<std::string> office_args(const fs::path& soffice, const fs::path& profile) const {
    return {soffice.string(), "--headless", "--invisible", "--norestore", "--nolockcheck", "--nologo",
            "--nodefault", "-env:UserInstallation=" + file_url(profile)};
  }

  // LibreOffice keeps its own temporary files inside the private folder so
  // a killed office leaves nothing behind once the folder is removed.
  std::vector<std::string> office_env() const { return {"TMPDIR=" + (dir_ / "tmp").string()}; }

  // One `soffice --convert-to` run.
  void convert_once(const fs::path& soffice, const fs::path& input, const fs::path& output) {
    fs::path out_dir = dir_ / ("out-" + std::to_string(++runs_));
    fs::create_directories(out_dir);
    struct Cleanup {
      fs::path dir;
      ~Cleanup() {
        std::error_code ec;
        fs::remove_all(dir, ec);
      }
    } cleanup{out_dir};

    fs::path log = dir_ / "convert.log";
    detail::Spawn_Request req;
    seed_profile(dir_ / "profile-once", soffice);
    req.argv = office_args(soffice, dir_ / "profile-once");
    req.argv.insert(req.argv.end(), {"--convert-to", "pdf:writer_pdf_Export", "--outdir", out_dir.string(),
                                     fs::absolute(input).string()});
    req.env = office_env();
    int log_fd = open_log(log);
    req.fds = {{log_fd, 1}, {log_fd, 2}};
    // Safe here: the calling thread waits for this child until it is gone.
    req.parent_death_signal = SIGKILL;
    pid_t pid;
    try {
      pid = detail::spawn(req);
    } catch (...) {
      close(log_fd);
      throw;
    }
    close(log_fd);

    if (!detail::wait_exit(pid, Clock::now() + opt_.timeout)) {
      detail::kill_and_reap(pid, std::chrono::seconds(5));
      throw std::runtime_error(with_log("LibreOffice did not finish within " + seconds_text(opt_.timeout) +
                                            " and was stopped",
                                        office_log(log)));
    }
    detail::kill_group(pid, SIGKILL);  // stragglers of the launcher, if any
    int status = detail::reap(pid);

    fs::path pdf;
    for (const auto& entry : fs::directory_iterator(out_dir)) {
      if (entry.is_regular_file() && entry.path().extension() == ".pdf") pdf = entry.path();
    }
    if (pdf.empty() || fs::file_size(pdf) == 0) {
      throw std::runtime_error(with_log("LibreOffice produced no PDF (" + detail::describe_status(status) + ")",
                                        office_log(log)));
    }
    check_pdf(pdf);
    install(pdf, output);
  }

  void convert_resident(const fs::path& soffice, const fs::path& input, const fs::path& output) {
    fs::path part = temp_beside(fs::absolute(output));
    struct Cleanup {
      fs::path file;
      ~Cleanup() {
        std::error_code ec;
        fs::remove(file, ec);
      }
    } cleanup{part};

    const std::string request = "convert " + file_url(input) + " " + file_url(part) + "\n";
    bool restarted = false;
    for (;;) {
      if (office_pid_ == 0) {
        start_resident(soffice);
      } else if (detail::has_exited(office_pid_) || detail::has_exited(bridge_pid_)) {
        stop_resident(false);
        restarted = true;
        start_resident(soffice);
      }
      Reply reply = exchange(request, Clock::now() + opt_.timeout);
      switch (reply.outcome) {
        case Outcome::kOk:
          break;
        case Outcome::kFailed:
          throw std::runtime_error("LibreOffice could not convert it: " + reply.text);
        case Outcome::kTimeout:
          stop_resident(false);
          throw std::runtime_error("LibreOffice did not finish within " + seconds_text(opt_.timeout) +
                                   "; the resident office was stopped");
        case Outcome::kLost: {
          std::string log = office_log(dir_ / "office.log");
          stop_resident(false);
          if (restarted) {
            throw std::runtime_error(with_log("LibreOffice failed again after a restart: " + reply.text, log));
          }
          restarted = true;
          continue;
        }
      }
      break;
    }
    std::error_code ec;
    if (!fs::exists(part, ec) || fs::file_size(part, ec) == 0) {
      throw std::runtime_error(with_log("LibreOffice produced no PDF", office_log(dir_ / "office.log")));
    }
    check_pdf(part);
    install(part, output);
  }

  void start_resident(const fs::path& soffice) {
    fs::path script = find_bridge(opt_.bridge_script);
    pipe_name_ = "platen-" + std::to_string(getpid()) + "-" + random_token();
    const auto deadline = Clock::now() + opt_.timeout;

    detail::Spawn_Request office;
    seed_profile(dir_ / "profile-resident", soffice);
    office.argv = office_args(soffice, dir_ / "profile-resident");
    office.argv.push_back("--accept=pipe,name=" + pipe_name_ + ";urp;StarOffice.ComponentContext");
    office.env = office_env();
    int log_fd = open_log(dir_ / "office.log");
    office.fds = {{log_fd, 1}, {log_fd, 2}};
    pid_t office_pid;
    try {
      office_pid = detail::spawn(office);
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
      detail::Spawn_Request bridge;
      long connect_s = std::max<long>(1, std::chrono::duration_cast<std::chrono::seconds>(opt_.timeout).count());
      bridge.argv = {opt_.python, "-I", script.string(), pipe_name_, std::to_string(office_pid),
                     std::to_string(connect_s), dir_.string()};
      int bridge_log = open((dir_ / "bridge.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      bridge.fds = {{sv[1], 3}};
      if (bridge_log >= 0) bridge.fds.insert(bridge.fds.end(), {{bridge_log, 1}, {bridge_log, 2}});
      try {
        bridge_pid_ = detail::spawn(bridge);
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
                                                detail::file_tail(dir_ / "bridge.log", 600),
                                            office_log(dir_ / "office.log")));
        case Read::kOfficeGone:
          throw std::runtime_error(with_log("LibreOffice exited during start-up", office_log(dir_ / "office.log")));
        case Read::kTimeout:
          throw std::runtime_error(with_log("LibreOffice did not start within " + seconds_text(opt_.timeout),
                                            office_log(dir_ / "office.log")));
      }
    } catch (...) {
      stop_resident(false);
      throw;
    }
  }

  // Ends the helper and the office (politely if asked and possible, by
  // SIGKILL to their process groups otherwise) and forgets them.
  void stop_resident(bool politely) {
    if (office_pid_ == 0 && bridge_pid_ == 0 && channel_ < 0) return;
    if (politely && channel_ >= 0 && bridge_pid_ > 0 && !detail::has_exited(office_pid_)) {
      std::string line;
      if (send_line("quit\n") && read_line(Clock::now() + std::chrono::seconds(3), line) == Read::kLine &&
          line == "bye") {
        detail::wait_exit(office_pid_, Clock::now() + std::chrono::seconds(3));
      }
    }
    detail::kill_and_reap(bridge_pid_, std::chrono::seconds(2));
    detail::kill_and_reap(office_pid_, std::chrono::seconds(5));
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

  bool send_line(const std::string& line) {
    std::size_t done = 0;
    while (done < line.size()) {
      ssize_t n = send(channel_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  enum class Read { kLine, kEof, kOfficeGone, kTimeout };

  Read read_line(Clock::time_point deadline, std::string& line) {
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
      } else if (rc == 0 && detail::has_exited(office_pid_)) {
        return Read::kOfficeGone;
      }
    }
  }

  Reply exchange(const std::string& request, Clock::time_point deadline) {
    if (!send_line(request)) return {Outcome::kLost, "the UNO helper is gone"};
    std::string line;
    switch (read_line(deadline, line)) {
      case Read::kLine:
        if (line == "ok") return {Outcome::kOk, {}};
        if (line.rfind("lost ", 0) == 0) return {Outcome::kLost, line.substr(5)};
        if (line.rfind("error ", 0) == 0) return {Outcome::kFailed, line.substr(6)};
        return {Outcome::kFailed, "unexpected answer from the UNO helper: " + line};
      case Read::kEof:
        return {Outcome::kLost, "the UNO helper exited"};
      case Read::kOfficeGone:
        return {Outcome::kLost, "LibreOffice exited"};
      case Read::kTimeout:
        return {Outcome::kTimeout, {}};
    }
    return {Outcome::kLost, {}};
  }

  const Options opt_;
  std::mutex mu_;  // one conversion at a time
  mutable std::mutex dir_mu_;
  fs::path dir_;
  int runs_ = 0;
  std::atomic<pid_t> office_pid_{0};
  std::atomic<int> starts_{0};
  pid_t bridge_pid_ = 0;
  int channel_ = -1;
  std::string pipe_name_;
  std::string pending_;
};

Platen_Model::Platen_Model() : Platen_Model(Options{}) {}

Platen_Model::Platen_Model(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Platen_Model::~Platen_Model() = default;

void Platen_Model::convert(const std::string& input_docx, const std::string& output_pdf, bool keep_active) {
  try {
    impl_->convert(input_docx, output_pdf, keep_active);
  } catch (const std::exception& e) {
    throw std::runtime_error("cannot convert " + input_docx + " to PDF: " + e.what());
  }
}

pid_t Platen_Model::resident_pid() const { return impl_->resident_pid(); }

int Platen_Model::office_starts() const { return impl_->office_starts(); }

std::filesystem::path Platen_Model::private_dir() const { return impl_->private_dir(); }

}  // namespace platen_model
