// A stand-in for LibreOffice and for its UNO helper, so the converter's
// process handling can be tested where LibreOffice is not installed (the
// Windows build under Wine). One executable plays every part:
//
//   ... --convert-to pdf:... --outdir DIR FILE   a one-shot soffice run
//   ... --accept=...                             a resident office: idles
//   -I SCRIPT PIPE PID SECONDS DIR               the UNO helper (as Python)
//
// Environment variables choose the behaviour:
//   PLATEN_STAND_IN         one-shot and resident office: "pdf" (default:
//                           writes a token PDF), "nopdf" (complains on
//                           standard error, writes nothing, exits 0), "fail"
//                           (the same, exit code 1), "hang" (never ends)
//   PLATEN_STAND_IN_BRIDGE  helper: "ok" (default: writes the token PDF at
//                           the target URL), "lost" (reports the office
//                           lost), "die" (exits on the first request),
//                           "silent" (never answers a request), "fatal"
//                           (cannot start)
//   PLATEN_STAND_IN_PIDS    a file each stand-in appends its process id to
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "travo/platform/console.h"
#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "travo/platform/programs.h"
#include "travo/platform/utf8.h"

namespace {

namespace fs = std::filesystem;
namespace platform = travo::platform;

std::string setting(const char* name, const char* fallback) {
  const auto value = platform::environment_variable(name);
  return value && !value->empty() ? *value : fallback;
}

[[noreturn]] void hang() {
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

void write_pdf(const fs::path& target, const std::string& source) {
  std::ofstream(target, std::ios::binary) << "%PDF-1.4\nstand-in\n" << source << "\n%%EOF\n";
}

// "file:///C:/a%20b" or "file:///tmp/a%20b" back to a path.
fs::path url_path(std::string url) {
  url.erase(0, std::string("file://").size());
  if (url.size() > 3 && url[0] == '/' && url[2] == ':') url.erase(0, 1);
  std::string out;
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (url[i] == '%' && i + 2 < url.size()) {
      out += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += url[i];
    }
  }
  return platform::utf8_path(out);
}

int office(const std::vector<std::string>& args) {
  const std::string mode = setting("PLATEN_STAND_IN", "pdf");
  std::string outdir, last = args.back();
  bool convert = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--convert-to") convert = true;
    if (args[i] == "--outdir" && i + 1 < args.size()) outdir = args[i + 1];
  }
  if (mode == "hang") hang();
  if (mode == "nopdf" || mode == "fail") {
    std::fputs("Error: source file could not be loaded\n", stderr);
    return mode == "fail" ? 1 : 0;
  }
  if (!convert) hang();  // a resident office serves through the helper
  write_pdf(platform::utf8_path(outdir) / (platform::utf8_path(last).stem().u8string() + u8".pdf"), last);
  return 0;
}

int bridge() {
  const std::string mode = setting("PLATEN_STAND_IN_BRIDGE", "ok");
  auto say = [](const std::string& line) {
    std::cout << line << "\n" << std::flush;
  };
  if (mode == "fatal") {
    say("fatal the Python UNO module is missing");
    return 3;
  }
  say("ready");
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "quit") {
      say("bye");
      return 0;
    }
    if (line.rfind("convert ", 0) != 0) {
      say("error unknown request");
      continue;
    }
    if (mode == "die") return 1;
    if (mode == "silent") hang();
    if (mode == "lost") {
      say("lost DisposedException: gone");
      continue;
    }
    const auto space = line.find(' ', 8);
    write_pdf(url_path(line.substr(space + 1)), line.substr(8, space - 8));
    say("ok");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = platform::utf8_arguments(argc, argv);
  if (const auto pids = platform::environment_variable("PLATEN_STAND_IN_PIDS"); pids && !pids->empty()) {
    // Only the office records itself; the helper's id is not what tests
    // look for.
    if (!(args.size() > 1 && args[1] == "-I")) {
      std::ofstream(platform::utf8_path(*pids), std::ios::app) << platform::current_process_id() << "\n";
    }
  }
  if (args.size() > 1 && args[1] == "-I") return bridge();
  if (args.size() < 2) {
    std::fputs("usage: see stand_in_office.cc\n", stderr);
    return 2;
  }
  return office(args);
}
