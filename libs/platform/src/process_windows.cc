// Windows half of travo/platform/process.h: CreateProcessW with a quoted
// UTF-16 command line, started suspended inside a kill-on-close Job object,
// with only its three standard handles inherited.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <map>
#include <mutex>
#include <thread>

#include "travo/platform/process.h"
#include "travo/platform/utf8.h"

namespace travo::platform {

struct Process::State {
  HANDLE process = nullptr;
  HANDLE job = nullptr;
  DWORD pid = 0;
  std::optional<Exit_Status> status;
  HANDLE input = nullptr;
  HANDLE output = nullptr;
  HANDLE error = nullptr;
};

namespace {

namespace fs = std::filesystem;

void close_handle(HANDLE& h) {
  if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  h = nullptr;
}

// The arguments' own UTF-8 check, naming what was wrong.
std::wstring widen(std::string_view s, const char* what) {
  try {
    return utf16_from_utf8(s);
  } catch (const std::invalid_argument&) {
    throw std::invalid_argument(std::string(what) + " is not valid UTF-8");
  }
}

std::string error_text(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (n > 0 && buffer != nullptr) text = utf8_from_utf16(std::wstring_view(buffer, n));
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  if (text.empty()) text = "error " + std::to_string(error);
  return text;
}

// One argument as the C runtime's parser reads it back: quotes only when
// needed; backslashes are literal except before a quote, where they are
// doubled (and the quote escaped).
void append_argument(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  for (auto it = arg.begin();; ++it) {
    std::size_t backslashes = 0;
    while (it != arg.end() && *it == L'\\') {
      ++it;
      ++backslashes;
    }
    if (it == arg.end()) {
      line.append(backslashes * 2, L'\\');
      break;
    }
    if (*it == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
    } else {
      line.append(backslashes, L'\\');
    }
    line += *it;
  }
  line += L'"';
}

std::wstring command_line(const std::vector<std::string>& argv) {
  // The program name is read up to the next space or between quotes, with
  // no escapes at all.
  const std::wstring program = widen(argv[0], "the program name");
  if (program.find(L'"') != std::wstring::npos) throw std::invalid_argument("a program name cannot contain '\"'");
  std::wstring line = L"\"" + program + L"\"";
  for (std::size_t i = 1; i < argv.size(); ++i) {
    line += L' ';
    append_argument(line, widen(argv[i], "an argument"));
  }
  return line;
}

std::wstring upper(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

// This process's environment with the changes applied, as the sorted block
// CreateProcessW takes (names compare without regard to case).
std::wstring environment_block(const Process_Options& options) {
  std::map<std::wstring, std::wstring> entries;  // upper-case name -> "Name=value"
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* e = block; *e != L'\0'; e += wcslen(e) + 1) {
      const std::wstring entry(e);
      // Entries such as "=C:=C:\dir" keep their leading '='.
      const std::size_t eq = entry.find(L'=', 1);
      entries[upper(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsW(block);
  }
  for (const std::string& name : options.remove_environment) entries.erase(upper(widen(name, "a variable name")));
  for (const auto& [name, value] : options.environment) {
    if (name.empty() || name.find('=') != std::string::npos) {
      throw std::invalid_argument("invalid environment variable name '" + name + "'");
    }
    const std::wstring wide = widen(name, "a variable name");
    entries[upper(wide)] = wide + L"=" + widen(value, "a variable's value");
  }
  std::wstring block;
  for (const auto& [key, entry] : entries) {
    block += entry;
    block += L'\0';
  }
  block += L'\0';
  return block;
}

// argv[0] as given, or with ".exe" when only that exists.
std::wstring program_path(const std::string& program) {
  fs::path p = fs::path(widen(program, "the program name"));
  std::error_code ec;
  if (!p.has_extension() && !fs::exists(p, ec)) {
    fs::path exe = p;
    exe += L".exe";
    if (fs::exists(exe, ec)) p = exe;
  }
  return p.wstring();
}

HANDLE inheritable_copy(HANDLE h) {
  HANDLE copy = nullptr;
  if (h == nullptr || h == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

// The handles the child gets; closed here once it has them.
struct Child_Handles {
  HANDLE h[3] = {nullptr, nullptr, nullptr};
  std::vector<HANDLE> owned;
  ~Child_Handles() {
    for (HANDLE x : owned) CloseHandle(x);
  }
  HANDLE own(HANDLE x) {
    owned.push_back(x);
    return x;
  }
};

HANDLE open_null(const std::string& program) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE h = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw Process_Error("cannot open NUL for " + program + ": " + error_text(GetLastError()));
  return h;
}

HANDLE open_file(const Redirect& r, bool input, const std::string& program) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE h;
  if (input) {
    h = CreateFileW(r.file.c_str(), GENERIC_READ, share, &sa, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  } else if (r.append) {
    // Append-only access makes every write land at the end, as O_APPEND.
    h = CreateFileW(r.file.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, share, &sa, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
  } else {
    h = CreateFileW(r.file.c_str(), GENERIC_WRITE, share, &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) {
    throw Process_Error("cannot open " + utf8_string(r.file) + " for " + program + ": " + error_text(GetLastError()));
  }
  return h;
}

Read_Result read_handle(HANDLE h, std::string& into, Process_Clock::time_point deadline) {
  if (h == nullptr) throw std::logic_error("the stream is not a pipe");
  char buffer[65536];
  DWORD want = sizeof buffer;
  if (deadline != Process_Clock::time_point::max()) {
    // Anonymous pipes have no waitable read; peek until data or the end.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
      DWORD available = 0;
      if (!PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr)) return Read_Result::end;
      if (available > 0) {
        want = std::min<DWORD>(available, sizeof buffer);
        break;
      }
      const auto now = Process_Clock::now();
      if (now >= deadline) return Read_Result::timeout;
      std::this_thread::sleep_for(std::min<Process_Clock::duration>(pause, deadline - now));
      pause = std::min(pause * 2, std::chrono::milliseconds(10));
    }
  }
  DWORD n = 0;
  if (!ReadFile(h, buffer, want, &n, nullptr) || n == 0) return Read_Result::end;
  into.append(buffer, n);
  return Read_Result::data;
}

// Spawns are serialised: a handle made inheritable for one child must not
// slip into another started at the same moment where the handle list is
// not honoured.
std::mutex spawn_mutex;

}  // namespace

void Process::State_Deleter::operator()(State* state) const noexcept { delete state; }

Process::~Process() {
  if (!state_) return;
  if (state_->job != nullptr) TerminateJobObject(state_->job, kKilledExitCode);
  if (state_->process != nullptr) WaitForSingleObject(state_->process, 5000);
  close_handle(state_->job);
  close_handle(state_->process);
  close_handle(state_->input);
  close_handle(state_->output);
  close_handle(state_->error);
}

Process Process::start(const Process_Options& options) {
  if (options.argv.empty() || options.argv[0].empty()) throw std::invalid_argument("no program to run");
  const std::string& program = options.argv[0];
  std::wstring line = command_line(options.argv);
  std::wstring environment = environment_block(options);
  const std::wstring application = program_path(program);
  const std::wstring cwd = options.working_directory.empty() ? std::wstring() : options.working_directory.wstring();

  State_Ptr state(new State());
  struct Parent_Ends {
    State* s;
    bool keep = false;
    ~Parent_Ends() {
      if (keep) return;
      close_handle(s->input);
      close_handle(s->output);
      close_handle(s->error);
    }
  } parent_ends{state.get()};

  std::lock_guard lock(spawn_mutex);
  Child_Handles child;
  const Redirect* redirects[3] = {&options.standard_input, &options.standard_output, &options.standard_error};
  const DWORD std_ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  HANDLE* pipe_ends[3] = {&state->input, &state->output, &state->error};
  HANDLE null_handle = nullptr;
  bool any_inherited = false;
  for (int i = 0; i < 3; ++i) {
    if (i == 2 && options.error_to_output) {
      child.h[2] = child.h[1];
      break;
    }
    const Redirect& r = *redirects[i];
    switch (r.kind) {
      case Redirect::Kind::inherit:
        if (HANDLE copy = inheritable_copy(GetStdHandle(std_ids[i]))) {
          child.h[i] = child.own(copy);
          any_inherited = true;
          break;
        }
        [[fallthrough]];  // no such stream here (a GUI program): the null device
      case Redirect::Kind::null_device:
        if (null_handle == nullptr) null_handle = child.own(open_null(program));
        child.h[i] = null_handle;
        break;
      case Redirect::Kind::file:
        child.h[i] = child.own(open_file(r, i == 0, program));
        break;
      case Redirect::Kind::pipe: {
        HANDLE read_end = nullptr, write_end = nullptr;
        if (!CreatePipe(&read_end, &write_end, nullptr, 0)) {
          throw Process_Error("cannot create a pipe: " + error_text(GetLastError()));
        }
        HANDLE theirs = i == 0 ? read_end : write_end;
        *pipe_ends[i] = i == 0 ? write_end : read_end;
        child.h[i] = child.own(theirs);
        if (!SetHandleInformation(theirs, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
          throw Process_Error("cannot pass a pipe to " + program + ": " + error_text(GetLastError()));
        }
        break;
      }
    }
  }

  // Only the three standard handles are inherited.
  std::vector<HANDLE> inherit;
  for (HANDLE h : child.h) {
    if (std::find(inherit.begin(), inherit.end(), h) == inherit.end()) inherit.push_back(h);
  }
  SIZE_T attr_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attr_size);
  std::vector<unsigned char> attr_storage(attr_size);
  auto* attrs = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attr_storage.data());
  if (!InitializeProcThreadAttributeList(attrs, 1, 0, &attr_size)) {
    throw Process_Error("cannot start " + program + ": " + error_text(GetLastError()));
  }
  struct Attr_Cleanup {
    LPPROC_THREAD_ATTRIBUTE_LIST a;
    ~Attr_Cleanup() { DeleteProcThreadAttributeList(a); }
  } attr_cleanup{attrs};
  if (!UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit.data(),
                                 inherit.size() * sizeof(HANDLE), nullptr, nullptr)) {
    throw Process_Error("cannot start " + program + ": " + error_text(GetLastError()));
  }

  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) throw Process_Error("cannot create a job object for " + program + ": " + error_text(GetLastError()));
  state->job = job;
  struct Job_Cleanup {
    State* s;
    bool keep = false;
    ~Job_Cleanup() {
      if (!keep) close_handle(s->job);
    }
  } job_cleanup{state.get()};
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    throw Process_Error("cannot set up a job object for " + program + ": " + error_text(GetLastError()));
  }

  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  si.StartupInfo.hStdInput = child.h[0];
  si.StartupInfo.hStdOutput = child.h[1];
  si.StartupInfo.hStdError = child.h[2];
  si.lpAttributeList = attrs;
  // A console child of ours gets no console window of its own unless it is
  // to share ours.
  const DWORD flags = CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT |
                      (any_inherited ? 0 : CREATE_NO_WINDOW);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags, environment.data(),
                      cwd.empty() ? nullptr : cwd.c_str(), &si.StartupInfo, &pi)) {
    const DWORD error = GetLastError();
    if (!cwd.empty() && (error == ERROR_DIRECTORY || !fs::is_directory(options.working_directory))) {
      throw Process_Error("cannot run " + program + " in " + utf8_string(options.working_directory) + ": " +
                          error_text(error));
    }
    throw Process_Error("cannot run " + program + ": " + error_text(error));
  }
  // Into the job before it runs a single instruction, so every process it
  // starts is born inside the job.
  if (!AssignProcessToJobObject(job, pi.hProcess)) {
    const DWORD error = GetLastError();
    TerminateProcess(pi.hProcess, kKilledExitCode);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    throw Process_Error("cannot place " + program + " in a job object: " + error_text(error));
  }
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  state->process = pi.hProcess;
  state->pid = pi.dwProcessId;
  job_cleanup.keep = true;
  parent_ends.keep = true;
  return Process(std::move(state));
}

bool Process::valid() const noexcept { return state_ && state_->process != nullptr; }

Process_Id Process::id() const noexcept { return state_ ? state_->pid : 0; }

bool Process::has_exited() { return wait_until(Process_Clock::now()); }

bool Process::wait_until(Process_Clock::time_point deadline) {
  if (!valid()) return true;
  if (state_->status) return true;
  for (;;) {
    DWORD wait_ms = INFINITE;
    if (deadline != Process_Clock::time_point::max()) {
      const auto now = Process_Clock::now();
      const auto left = deadline <= now ? 0 : std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      wait_ms = static_cast<DWORD>(std::min<long long>(left, 1 << 30));
    }
    const DWORD rc = WaitForSingleObject(state_->process, wait_ms);
    if (rc == WAIT_OBJECT_0) break;
    if (rc == WAIT_FAILED) break;
    if (Process_Clock::now() >= deadline) return false;
  }
  DWORD code = 0;
  Exit_Status s;
  if (GetExitCodeProcess(state_->process, &code)) s.code = static_cast<int>(code);
  state_->status = s;
  return true;
}

std::optional<Exit_Status> Process::exit_status() {
  if (!valid() || !has_exited()) return std::nullopt;
  return state_->status;
}

void Process::kill_tree() {
  if (valid() && state_->job != nullptr) TerminateJobObject(state_->job, kKilledExitCode);
}

bool Process::write_input(std::string_view data) {
  if (!state_ || state_->input == nullptr) throw std::logic_error("standard input is not a pipe");
  while (!data.empty()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1 << 20));
    if (!WriteFile(state_->input, data.data(), chunk, &n, nullptr) || n == 0) return false;
    data.remove_prefix(n);
  }
  return true;
}

void Process::close_input() {
  if (state_) close_handle(state_->input);
}

Read_Result Process::read_output(std::string& into, Process_Clock::time_point deadline) {
  return read_handle(state_ ? state_->output : nullptr, into, deadline);
}

Read_Result Process::read_error(std::string& into, Process_Clock::time_point deadline) {
  return read_handle(state_ ? state_->error : nullptr, into, deadline);
}

std::string Exit_Status::describe() const {
  if (signal != 0) return "killed by signal " + std::to_string(signal);
  const auto u = static_cast<unsigned>(code);
  if (u >= 0xC0000000u) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", u);
    return std::string("exit code ") + text;
  }
  return "exit code " + std::to_string(code);
}

}  // namespace travo::platform
