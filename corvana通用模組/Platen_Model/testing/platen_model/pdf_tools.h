// Reading the PDFs a converter writes with the command-line tools of
// poppler-utils, for tests on Linux (POSIX shell and popen).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace platen_model::test_support {

// `path` in single quotes, for a shell command line.
inline std::string shell_quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// What the shell command `command` writes to standard output.
inline std::string command_output(const std::string& command) {
  std::string out;
  if (FILE* f = popen(command.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
  }
  return out;
}

// Whether the program `tool` is on PATH.
inline bool have_tool(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The text of `pdf` as pdftotext reads it (UTF-8), or what pdftotext said.
inline std::string pdf_text(const std::filesystem::path& pdf) {
  return command_output("pdftotext -enc UTF-8 " + shell_quoted(pdf) + " - 2>&1");
}

// The page count pdfinfo reports for `pdf`; -1 when it reports none.
inline int pdf_pages(const std::filesystem::path& pdf) {
  const std::string info = command_output("pdfinfo " + shell_quoted(pdf) + " 2>/dev/null");
  const auto at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
}

}  // namespace platen_model::test_support
