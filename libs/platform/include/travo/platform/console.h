// Console output that shows UTF-8 text legibly on every system.
//
// On Windows a console does not read our bytes as UTF-8 unless told to, and
// even then older consoles mangle multi-byte characters split across
// writes. So, while a Utf8_Console lives:
// - the console's output code page is UTF-8 (restored afterwards), for
//   anything that still writes bytes to it;
// - std::cout and std::cerr, when they are attached to a console, write
//   through WriteConsoleW as UTF-16, a character never split between two
//   writes;
// - when they go to a pipe or a file, the bytes pass unchanged (UTF-8), as
//   on every other system, where this class does nothing.
//
// Create one at the start of main(), before anything is printed.
#pragma once

#include <functional>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

namespace travo::platform {

// The arguments a program was given, as UTF-8. On Windows they are decoded
// from the wide command line (GetCommandLineW, CommandLineToArgvW), since
// main()'s narrow argv holds the ANSI code page's view of them ("?" for
// every character outside it); elsewhere they are argv as given.
std::vector<std::string> utf8_arguments(int argc, char** argv);

class Utf8_Console {
 public:
  Utf8_Console();
  ~Utf8_Console();
  Utf8_Console(const Utf8_Console&) = delete;
  Utf8_Console& operator=(const Utf8_Console&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The stream buffer behind a console stream: collects UTF-8 bytes and hands
// `sink` whole characters (as UTF-8 text) at each line end, flush or full
// buffer; an incomplete sequence waits for its remaining bytes. Bytes that
// are not UTF-8 reach the sink as they are.
class Utf8_Line_Buffer : public std::streambuf {
 public:
  explicit Utf8_Line_Buffer(std::function<void(std::string_view)> sink);
  ~Utf8_Line_Buffer() override;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  void emit(bool everything);
  std::function<void(std::string_view)> sink_;
  std::string pending_;
};

}  // namespace travo::platform
