#include "office.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "subprocess.h"

namespace platen_model::detail {
namespace {

namespace fs = std::filesystem;

bool is_executable_file(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec) && access(p.c_str(), X_OK) == 0;
}

}  // namespace

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

std::vector<std::string> office_command(const fs::path& soffice, const fs::path& profile) {
  return {soffice.string(), "--headless", "--invisible", "--norestore", "--nolockcheck", "--nologo",
          "--nodefault", "-env:UserInstallation=" + file_url(profile)};
}

std::vector<std::string> office_environment(const fs::path& private_dir) {
  return {"TMPDIR=" + (private_dir / "tmp").string()};
}

// The seeded profile spares two costs of a new profile:
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

// Percent-encoding everything else keeps the URL through LibreOffice's URL
// parsing and lets it travel as one space-free field of the helper protocol.
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

int open_log(const fs::path& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + path.string() + ": " + std::strerror(errno));
  return fd;
}

std::string office_log(const fs::path& log) {
  std::istringstream in(file_tail(log));
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

std::string seconds_text(std::chrono::milliseconds d) {
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

}  // namespace platen_model::detail
