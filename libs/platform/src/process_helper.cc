// The child the process tests start. Its first argument says what to do:
//
//   args A B ...      prints each further argument, then "\n", as UTF-8
//   exit N            exits with code N
//   echo              copies standard input to standard output
//   streams OUT ERR   writes OUT to standard output and ERR to standard error
//   env NAME          prints the variable's value, or "<unset>"
//   cwd               prints the current folder
//   hang              sleeps until killed
//   grandchild        starts itself with "hang" as a plain child of its own
//                     (outside any job or group of ours), prints that
//                     child's id and a newline, then hangs
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "travo/platform/console.h"
#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "travo/platform/programs.h"
#include "travo/platform/utf8.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

void put(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

[[noreturn]] void hang() {
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

long start_grandchild() {
#ifdef _WIN32
  wchar_t self[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return -1;
  std::wstring command = L"\"" + std::wstring(self, n) + L"\" hang";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    return -1;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<long>(pi.dwProcessId);
#else
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/proc/self/exe", "platform_process_helper", "hang", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
#endif
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  const std::vector<std::string> args = travo::platform::utf8_arguments(argc, argv);
  if (args.size() < 2) {
    std::fputs("usage: platform_process_helper MODE [ARGS...]\n", stderr);
    return 2;
  }
  const std::string& mode = args[1];
  if (mode == "args") {
    for (std::size_t i = 2; i < args.size(); ++i) put(args[i] + "\n");
  } else if (mode == "exit" && args.size() == 3) {
    return std::atoi(args[2].c_str());
  } else if (mode == "echo") {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) std::fwrite(buffer, 1, n, stdout);
  } else if (mode == "streams" && args.size() == 4) {
    put(args[2]);
    std::fputs(args[3].c_str(), stderr);
  } else if (mode == "env" && args.size() == 3) {
    put(travo::platform::environment_variable(args[2]).value_or("<unset>"));
  } else if (mode == "cwd") {
    put(travo::platform::utf8_string(std::filesystem::current_path()));
  } else if (mode == "hang") {
    hang();
  } else if (mode == "grandchild") {
    const long pid = start_grandchild();
    if (pid < 0) return 3;
    put(std::to_string(pid) + "\n");
    hang();
  } else {
    std::fputs("platform_process_helper: unknown mode\n", stderr);
    return 2;
  }
  return 0;
}
