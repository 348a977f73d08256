#include "office.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "travo/platform/atomic_file.h"
#include "travo/platform/environment.h"
#include "travo/platform/programs.h"
#include "travo/platform/utf8.h"

namespace platen_model::detail {

namespace fs = std::filesystem;
namespace platform = travo::platform;

fs::path find_soffice(const std::string& configured) {
  if (!configured.empty()) {
    if (platform::is_executable_file(platform::utf8_path(configured))) return platform::utf8_path(configured);
    throw std::runtime_error("LibreOffice not found: " + configured + " does not exist or is not executable");
  }
  if (const auto named = platform::environment_variable(kSofficeVariable); named && !named->empty()) {
    if (platform::is_executable_file(platform::utf8_path(*named))) return platform::utf8_path(*named);
    throw std::runtime_error(std::string("LibreOffice not found: ") + kSofficeVariable + " names " + *named +
                             ", which does not exist or is not executable");
  }
  return installed_soffice();
}

fs::path find_python(const std::string& configured, const fs::path& soffice) {
  if (!configured.empty()) return platform::utf8_path(configured);
  return default_python(soffice);
}

std::vector<std::string> office_command(const fs::path& soffice, const fs::path& profile) {
  return {platform::utf8_string(soffice), "--headless", "--invisible", "--norestore", "--nolockcheck", "--nologo",
          "--nodefault", "-env:UserInstallation=" + file_url(profile)};
}

fs::path font_config_path(const fs::path& private_dir) { return private_dir / "fonts.conf"; }

namespace {

// Text for XML character data: family names and paths hold no markup, but
// a path from the environment might.
std::string xml_text(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

void write_font_config(const fs::path& private_dir) {
  std::string system_config = "/etc/fonts/fonts.conf";
  if (const auto named = platform::environment_variable("FONTCONFIG_FILE"); named && !named->empty())
    system_config = *named;
  // The system's rules come first. Each rule fires only on the family a
  // document asked for (the first of the pattern), not on the fallbacks the
  // system's aliases append, and puts the substitute at the head with a
  // strong binding, so that it wins over fonts covering the language
  // better.
  std::string conf =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<fontconfig>\n"
      "  <include ignore_missing=\"yes\">" + xml_text(system_config) + "</include>\n";
  for (const Font_Substitute& f : kFontSubstitutes) {
    conf += "  <match target=\"pattern\">\n"
            "    <test name=\"family\" qual=\"first\"><string>" + xml_text(f.family) + "</string></test>\n"
            "    <edit name=\"family\" mode=\"prepend_first\" binding=\"strong\"><string>" +
            xml_text(f.substitute) + "</string></edit>\n"
            "  </match>\n";
  }
  conf += "</fontconfig>\n";
  platform::atomic_write(font_config_path(private_dir), conf);
}

namespace {

// The build id of the LibreOffice installation `soffice` belongs to, from
// its versionrc (Linux) or version.ini (Windows); empty when not found.
std::string installation_build_id(const fs::path& soffice) {
  std::error_code ec;
  const fs::path program = fs::canonical(soffice, ec).parent_path();
  for (const char* name : {"versionrc", "version.ini"}) {
    std::ifstream versionrc(program / name);
    std::string line;
    while (std::getline(versionrc, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("buildid=", 0) == 0) return line.substr(8);
    }
  }
  return {};
}

}  // namespace

// The seeded profile spares two costs of a new profile:
// - ooSetupLastVersion set beyond any release: LibreOffice otherwise takes
//   itself for freshly upgraded on every headless start (headless never
//   records the version) and runs its graphics self-tests, several times the
//   cost of the conversion itself;
// - the installation's build id in user/extensions/buildid: without it a
//   new profile's extension cache is rebuilt and the office restarts itself
//   once before it serves anything.
// The profile is assembled in a folder of its own beside `profile` and
// renamed into place when complete: a later start takes any folder at
// `profile` for a seeded profile, so a half-written one must never stand
// there.
void seed_profile(const fs::path& profile, const fs::path& soffice) {
  std::error_code ec;
  if (fs::exists(profile, ec)) return;
  fs::path staging = profile;
  staging += platform::utf8_path(".seed-" + random_token());
  struct Staging {
    fs::path dir;
    ~Staging() {
      std::error_code ignored;
      if (!dir.empty()) fs::remove_all(dir, ignored);
    }
  } cleanup{staging};
  const auto fail = [&](const std::string& why) {
    return std::runtime_error("cannot prepare LibreOffice's profile " + platform::utf8_string(profile) + ": " + why);
  };

  fs::create_directories(staging / "user" / "extensions", ec);
  if (ec) throw fail(ec.message());
  try {
    platform::atomic_write(staging / "user" / "registrymodifications.xcu",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
                           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
                           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
                           "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
                           "oor:op=\"fuse\"><value>99.9</value></prop></item>\n"
                           "</oor:items>\n");
    if (const std::string id = installation_build_id(soffice); !id.empty()) {
      platform::atomic_write(staging / "user" / "extensions" / "buildid", id);
    }
  } catch (const platform::Atomic_File_Error& e) {
    throw fail(e.what());
  }
  fs::rename(staging, profile, ec);
  if (ec) throw fail(ec.message());
  cleanup.dir.clear();
}

// Percent-encoding everything else keeps the URL through LibreOffice's URL
// parsing and lets it travel as one space-free field of the helper protocol.
std::string file_url(const fs::path& path) {
  static const char* hex = "0123456789ABCDEF";
  const Url_Path url = url_path(path);
  std::string out = "file://";
  for (std::size_t i = 0; i < url.text.size(); ++i) {
    const auto c = static_cast<unsigned char>(url.text[i]);
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~' || i == url.drive_colon) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
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

std::string file_tail(const fs::path& path, std::size_t max_bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  std::streamoff start = size > static_cast<std::streamoff>(max_bytes) ? size - static_cast<std::streamoff>(max_bytes) : 0;
  in.seekg(start);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (start > 0) {
    auto nl = text.find('\n');
    if (nl != std::string::npos && nl + 1 < text.size()) text.erase(0, nl + 1);
  }
  auto not_space = [](unsigned char c) { return !std::isspace(c); };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), not_space));
  text.erase(std::find_if(text.rbegin(), text.rend(), not_space).base(), text.end());
  return text;
}

std::string random_token() {
  std::random_device rd;
  std::uint64_t v = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace platen_model::detail
