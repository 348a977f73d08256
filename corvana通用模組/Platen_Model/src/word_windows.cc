// Windows half of word.h: Word through COM automation, driven from a
// single-threaded apartment of the converter's own.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cwctype>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "office.h"
#include "travo/platform/process.h"
#include "travo/platform/utf8.h"
#include "word.h"

namespace platen_model::detail {
namespace {

namespace fs = std::filesystem;
namespace platform = travo::platform;
using std::chrono::milliseconds;

constexpr wchar_t kProgId[] = L"Word.Application";
constexpr wchar_t kStartMutex[] = L"Local\\TRAVO.Platen_Model.word-start";
constexpr int kAlertsNone = 0;        // wdAlertsNone
constexpr int kExportPdf = 17;        // wdExportFormatPDF
constexpr int kDoNotSaveChanges = 0;  // wdDoNotSaveChanges
// How long a Word that was asked to quit, or whose tree was killed, is
// given to go before the converter stops waiting for it.
constexpr milliseconds kGrace = std::chrono::seconds(10);
// Pause between attempts of a call that a busy Word rejected.
constexpr milliseconds kRetryPause{100};

std::string hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// The system's text for `hr` with its number: "The RPC server is
// unavailable (0x800706BA)".
std::string describe(HRESULT hr) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(hr), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<wchar_t*>(&buffer), 0,
      nullptr);
  std::string text;
  if (n > 0 && buffer != nullptr) text = platform::utf8_from_utf16(std::wstring_view(buffer, n));
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? hex(hr) : text + " (" + hex(hr) + ")";
}

// The results that mean the Word process is gone.
bool word_died(HRESULT hr) {
  switch (static_cast<unsigned long>(hr)) {
    case 0x800706BAul:  // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BEul:  // RPC_S_CALL_FAILED
    case 0x800706BFul:  // RPC_S_CALL_FAILED_DNE
    case 0x80010108ul:  // RPC_E_DISCONNECTED
    case 0x80010007ul:  // RPC_E_SERVER_DIED
    case 0x80010012ul:  // RPC_E_SERVER_DIED_DNE
    case 0x800401FDul:  // CO_E_OBJNOTCONNECTED
      return true;
    default:
      return false;
  }
}

// The results of a call that a busy Word turned away.
bool rejected(HRESULT hr) { return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER; }

// A failed COM call; died() when the failure says Word is gone.
class Com_Error : public std::runtime_error {
 public:
  Com_Error(const std::string& what, HRESULT hr) : std::runtime_error(what), hr_(hr) {}
  HRESULT hr() const { return hr_; }
  bool died() const { return word_died(hr_); }

 private:
  HRESULT hr_;
};

template <typename T>
class Com_Ptr {
 public:
  Com_Ptr() = default;
  Com_Ptr(const Com_Ptr&) = delete;
  Com_Ptr& operator=(const Com_Ptr&) = delete;
  Com_Ptr(Com_Ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Com_Ptr& operator=(Com_Ptr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~Com_Ptr() { reset(); }
  void reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void** out() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }

 private:
  T* p_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  VARIANT* get() { return &v_; }

  static Variant text(const std::wstring& s) {
    Variant v;
    v.v_.vt = VT_BSTR;
    v.v_.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    if (v.v_.bstrVal == nullptr) throw std::bad_alloc();
    return v;
  }
  static Variant boolean(bool b) {
    Variant v;
    v.v_.vt = VT_BOOL;
    v.v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static Variant integer(int i) {
    Variant v;
    v.v_.vt = VT_I4;
    v.v_.lVal = i;
    return v;
  }
  Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }

 private:
  VARIANT v_;
};

// The arguments of a call, each with its name (a property's new value has
// none).
class Args {
 public:
  Args& add(const wchar_t* name, Variant value) {
    names_.push_back(name);
    values_.push_back(std::move(value));
    return *this;
  }
  std::size_t size() const { return values_.size(); }
  const wchar_t* name(std::size_t i) const { return names_[i]; }
  VARIANT value(std::size_t i) const { return *const_cast<Variant&>(values_[i]).get(); }

 private:
  std::vector<const wchar_t*> names_;
  std::vector<Variant> values_;
};

// The rest of a call's time, and whether the caller gave up on it: every
// wait and retry on the COM thread checks both.
class Budget {
 public:
  virtual ~Budget() = default;
  virtual Clock::time_point deadline() const = 0;
  virtual bool cancelled() const = 0;
  bool spent() const { return cancelled() || Clock::now() >= deadline(); }
};

// Asks COM to retry calls that a busy Word answers with "retry later", for
// as long as the budget lasts. Windows consults it; Wine returns the
// rejection to the caller instead, where call() retries.
class Busy_Filter final : public IMessageFilter {
 public:
  void set_budget(const Budget* budget) { budget_ = budget; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
      *out = static_cast<IMessageFilter*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Lives as long as the thread that registered it.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return SERVERCALL_ISHANDLED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD reject_type) override {
    if (reject_type != SERVERCALL_RETRYLATER || budget_ == nullptr || budget_->spent()) return static_cast<DWORD>(-1);
    return static_cast<DWORD>(kRetryPause.count());
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

 private:
  const Budget* budget_ = nullptr;
};

// Runs `attempt` (returning an HRESULT) again while a busy Word rejects it
// and the budget lasts.
template <typename F>
HRESULT with_retries(const Budget& budget, F&& attempt) {
  for (;;) {
    const HRESULT hr = attempt();
    if (!rejected(hr) || budget.spent()) return hr;
    std::this_thread::sleep_for(kRetryPause);
  }
}

std::string narrow(std::wstring_view s) { return platform::utf8_from_utf16(s); }

// Word's own words from a DISP_E_EXCEPTION.
std::string exception_text(EXCEPINFO& info, HRESULT* code) {
  if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
  std::string text;
  if (info.bstrDescription != nullptr) text = narrow(std::wstring_view(info.bstrDescription, SysStringLen(info.bstrDescription)));
  *code = info.scode != 0 ? info.scode : (info.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, info.wCode) : DISP_E_EXCEPTION);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? describe(*code) : text + " (" + hex(*code) + ")";
}

// Calls `member` of `object` through IDispatch, every argument named.
// `kind` is DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
// (one argument, the value). Throws Com_Error.
Variant call(const Budget& budget, IDispatch* object, const wchar_t* member, WORD kind, const Args& args = Args()) {
  const std::string name = narrow(member);
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(member)};
  if (kind != DISPATCH_PROPERTYPUT) {
    for (std::size_t i = 0; i < args.size(); ++i) names.push_back(const_cast<LPOLESTR>(args.name(i)));
  }
  std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
  HRESULT hr = with_retries(budget, [&] {
    return object->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT,
                                 ids.data());
  });
  if (FAILED(hr)) {
    if (hr == DISP_E_UNKNOWNNAME) {
      std::string list;
      for (std::size_t i = 1; i < names.size(); ++i) list += (i > 1 ? ", " : "") + narrow(names[i]);
      throw Com_Error("Word does not know " + name + (list.empty() ? "" : "(" + list + ")"), hr);
    }
    throw Com_Error("Word did not answer for " + name + ": " + describe(hr), hr);
  }

  // Named arguments: rgvarg[i] goes with rgdispidNamedArgs[i].
  std::vector<VARIANT> values;
  for (std::size_t i = 0; i < args.size(); ++i) values.push_back(args.value(i));
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = values.empty() ? nullptr : values.data();
  params.cArgs = static_cast<UINT>(values.size());
  params.cNamedArgs = params.cArgs;
  params.rgdispidNamedArgs = kind == DISPATCH_PROPERTYPUT ? &put_id : (ids.size() > 1 ? ids.data() + 1 : nullptr);

  Variant result;
  EXCEPINFO info{};
  UINT bad_arg = 0;
  hr = with_retries(budget, [&] {
    info = EXCEPINFO{};
    return object->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, kind, &params,
                          kind == DISPATCH_PROPERTYPUT ? nullptr : result.get(), &info, &bad_arg);
  });
  if (hr == DISP_E_EXCEPTION) {
    HRESULT code = hr;
    const std::string text = exception_text(info, &code);
    throw Com_Error(name + ": " + text, code);
  }
  if (FAILED(hr)) throw Com_Error(name + " failed: " + describe(hr), hr);
  return result;
}

Com_Ptr<IDispatch> dispatch_of(Variant& v, const char* what) {
  VARIANT* value = v.get();
  if (value->vt != VT_DISPATCH || value->pdispVal == nullptr) {
    throw Com_Error(std::string("Word gave no object for ") + what, E_UNEXPECTED);
  }
  Com_Ptr<IDispatch> object;
  value->pdispVal->QueryInterface(IID_IDispatch, object.out());
  return object;
}

std::wstring clsid_text(const CLSID& clsid) {
  wchar_t text[64];
  const int n = StringFromGUID2(clsid, text, 64);
  return std::wstring(text, n > 0 ? n - 1 : 0);
}

// A string value of HKEY_CLASSES_ROOT\`key` (the default value when `name`
// is null), in the 64-bit view and then the 32-bit one (32-bit Office on
// 64-bit Windows); empty when neither has it.
std::wstring class_value(const std::wstring& key, const wchar_t* name = nullptr) {
  for (const DWORD view : {DWORD{0}, DWORD{RRF_SUBKEY_WOW6432KEY}}) {
    // RRF_RT_REG_SZ takes REG_EXPAND_SZ values too, expanded (asking for
    // RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND is refused).
    const DWORD flags = RRF_RT_REG_SZ | view;
    DWORD size = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, flags, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        size == 0) {
      continue;
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, flags, nullptr, value.data(), &size) != ERROR_SUCCESS) {
      continue;
    }
    value.resize(wcsnlen(value.c_str(), value.size()));
    if (!value.empty()) return value;
  }
  return {};
}

// The class the ProgID names, read from the registry as CLSIDFromProgID
// would, without a COM call outside the converter's apartment: its CLSID
// key, or that of its current version (CurVer).
std::optional<CLSID> word_clsid() {
  std::wstring text = class_value(std::wstring(kProgId) + L"\\CLSID");
  if (text.empty()) {
    if (const std::wstring current = class_value(std::wstring(kProgId) + L"\\CurVer"); !current.empty()) {
      text = class_value(current + L"\\CLSID");
    }
  }
  CLSID clsid;
  if (text.empty() || IIDFromString(text.c_str(), &clsid) != S_OK) return std::nullopt;
  return clsid;
}

// The command COM runs for the class: LocalServer32 of its CLSID.
std::wstring local_server_command(const CLSID& clsid) {
  return class_value(L"CLSID\\" + clsid_text(clsid) + L"\\LocalServer32");
}

// The argv of a LocalServer32 command, "-Embedding" appended as COM appends
// it. The program may be quoted or not; unquoted, a path with spaces ends
// at ".exe".
std::vector<std::string> server_argv(const std::wstring& command) {
  std::wstring_view rest(command);
  const auto skip_space = [&] {
    while (!rest.empty() && std::iswspace(rest.front())) rest.remove_prefix(1);
  };
  skip_space();
  std::wstring program;
  if (!rest.empty() && rest.front() == L'"') {
    const auto close = rest.find(L'"', 1);
    program = std::wstring(rest.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1));
    rest.remove_prefix(close == std::wstring_view::npos ? rest.size() : close + 1);
  } else {
    std::wstring lower(rest);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
    std::size_t end = std::wstring::npos;
    for (std::size_t at = lower.find(L".exe"); at != std::wstring::npos; at = lower.find(L".exe", at + 1)) {
      if (at + 4 == lower.size() || std::iswspace(lower[at + 4])) {
        end = at + 4;
        break;
      }
    }
    if (end == std::wstring::npos) {
      end = 0;
      while (end < rest.size() && !std::iswspace(rest[end])) ++end;
    }
    program = std::wstring(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  std::vector<std::string> argv{narrow(program)};
  for (skip_space(); !rest.empty(); skip_space()) {
    std::wstring arg;
    bool quoted = false;
    while (!rest.empty() && (quoted || !std::iswspace(rest.front()))) {
      if (rest.front() == L'"') {
        quoted = !quoted;
      } else {
        arg += rest.front();
      }
      rest.remove_prefix(1);
    }
    argv.push_back(narrow(arg));
  }
  argv.push_back("-Embedding");
  return argv;
}

struct Window_Search {
  std::wstring text;
  DWORD pid = 0;
  bool found = false;
};

BOOL CALLBACK find_window_titled(HWND window, LPARAM search_address) {
  auto* search = reinterpret_cast<Window_Search*>(search_address);
  wchar_t title[512];
  // Reads another process's caption without sending it a message, so a
  // hung process cannot block the search.
  const int n = GetWindowTextW(window, title, 512);
  if (n > 0 && std::wstring_view(title, n).find(search->text) != std::wstring_view::npos) {
    GetWindowThreadProcessId(window, &search->pid);
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

// The process of a top-level window whose title contains `text`, if any.
std::optional<DWORD> process_of_window_titled(const std::wstring& text) {
  Window_Search search{text};
  EnumWindows(find_window_titled, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return std::nullopt;
  return search.pid;
}

}  // namespace

bool word_supported() { return true; }

std::optional<std::string> word_unavailable() {
  if (word_clsid()) return std::nullopt;
  return "Microsoft Word is not installed (Word.Application is not registered)";
}

// The caller's thread and the COM thread meet here. The caller posts one
// request at a time and waits for it with the deadline of the phase the
// COM thread reports; at a time-out it kills Word's tree, which makes the
// COM thread's blocked call return.
class Word::Impl {
 public:
  explicit Impl(Word_Setup setup) : setup_(setup) {}

  ~Impl() {
    if (!shared_) return;
    std::unique_lock lock(shared_->mu);
    shared_->stop = true;
    shared_->cv.notify_all();
    if (shared_->abandoned) return;  // detached already; it ends on its own
    // Quit takes a moment; a Word that does not go is killed.
    if (!shared_->cv.wait_for(lock, kGrace, [&] { return shared_->exited; })) {
      shared_->word.kill_tree();
      shared_->cv.wait_for(lock, kGrace, [&] { return shared_->exited; });
    }
    const bool exited = shared_->exited;
    lock.unlock();
    if (exited) {
      thread_.join();
    } else {
      thread_.detach();  // stuck in a COM call; it ends on its own
    }
  }

  void convert(const fs::path& input, const fs::path& target, bool keep_active) {
    if (!shared_ || shared_->abandoned) start_thread();
    std::unique_lock lock(shared_->mu);
    shared_->request = Request{input, target, keep_active};
    shared_->done = false;
    shared_->cancelled = false;
    shared_->error.clear();
    shared_->phase = Phase::starting;
    shared_->phase_since = Clock::now();
    shared_->cv.notify_all();
    for (;;) {
      const milliseconds bound = shared_->phase == Phase::starting ? setup_.start_timeout : setup_.timeout;
      const Clock::time_point deadline = shared_->phase_since + bound;
      const Phase phase = shared_->phase;
      const Clock::time_point since = shared_->phase_since;
      shared_->cv.wait_until(lock, deadline, [&] {
        return shared_->done || shared_->phase != phase || shared_->phase_since != since;
      });
      if (shared_->done) break;
      if (Clock::now() < deadline || shared_->phase != phase || shared_->phase_since != since) continue;

      // Out of time: end the Word TRAVO started, tree and all; the COM
      // thread's call then fails and the thread gets back.
      shared_->cancelled = true;
      shared_->word.kill_tree();
      if (!shared_->cv.wait_for(lock, kGrace, [&] { return shared_->done; })) {
        // Stuck in a COM call still: left to end on its own; the next
        // conversion starts a thread afresh.
        shared_->abandoned = true;
        shared_->stop = true;
        lock.unlock();
        thread_.detach();
      }
      if (phase == Phase::starting) {
        throw std::runtime_error("Microsoft Word did not start within " + seconds_text(bound) +
                                 "; the Word that TRAVO started was stopped");
      }
      throw std::runtime_error("Microsoft Word did not finish within " + seconds_text(bound) +
                               " (it may be showing a dialog, or it hangs); the Word that TRAVO started was "
                               "stopped with its process tree");
    }
    if (!shared_->error.empty()) throw std::runtime_error(shared_->error);
  }

 private:
  enum class Phase { starting, converting };
  struct Request {
    fs::path input;
    fs::path target;
    bool keep_active;
  };
  struct Shared {
    std::mutex mu;
    std::condition_variable cv;
    std::optional<Request> request;
    bool stop = false;
    Phase phase = Phase::starting;
    Clock::time_point phase_since;
    bool done = false;
    bool cancelled = false;
    std::string error;
    bool abandoned = false;
    bool exited = false;
    // The Word TRAVO started; both threads reach it under `mu`.
    platform::Process word;
  };

  class Thread;

  void start_thread();

  const Word_Setup setup_;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

// Everything on the COM thread: the apartment, the Word connection and the
// request loop.
class Word::Impl::Thread final : public Budget {
 public:
  Thread(std::shared_ptr<Shared> shared, Word_Setup setup) : shared_(std::move(shared)), setup_(setup) {}

  void run() {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    IMessageFilter* previous = nullptr;
    if (SUCCEEDED(init)) CoRegisterMessageFilter(&filter_, &previous);
    filter_.set_budget(this);
    for (;;) {
      std::unique_lock lock(shared_->mu);
      shared_->cv.wait(lock, [&] { return shared_->stop || shared_->request.has_value(); });
      if (shared_->stop) break;
      const Request request = *shared_->request;
      shared_->request.reset();
      lock.unlock();

      std::string error;
      try {
        if (FAILED(init)) throw Com_Error("cannot use COM: " + describe(init), init);
        convert(request);
      } catch (const std::exception& e) {
        error = e.what();
      }
      lock.lock();
      shared_->error = error;
      shared_->done = true;
      shared_->cv.notify_all();
      lock.unlock();
      // The caller has its PDF (or its error) by now; Word's quitting is
      // no part of the conversion's time.
      if (!request.keep_active || !app_) quit();
    }
    quit();
    if (SUCCEEDED(init)) {
      CoRegisterMessageFilter(previous, nullptr);
      CoUninitialize();
    }
    std::lock_guard lock(shared_->mu);
    shared_->exited = true;
    shared_->cv.notify_all();
  }

  Clock::time_point deadline() const override {
    std::lock_guard lock(shared_->mu);
    return shared_->phase_since + (shared_->phase == Phase::starting ? setup_.start_timeout : setup_.timeout);
  }
  bool cancelled() const override {
    std::lock_guard lock(shared_->mu);
    return shared_->cancelled || shared_->stop;
  }

 private:
  void enter(Phase phase) {
    std::lock_guard lock(shared_->mu);
    shared_->phase = phase;
    shared_->phase_since = Clock::now();
    shared_->cv.notify_all();
  }

  bool word_gone() {
    std::lock_guard lock(shared_->mu);
    return !shared_->word.valid() || shared_->word.has_exited();
  }

  void convert(const Request& request) {
    for (int attempt = 1;; ++attempt) {
      try {
        if (!app_ || word_gone()) {
          drop();
          enter(Phase::starting);
          start();
        }
        enter(Phase::converting);
        export_pdf(request.input, request.target);
        return;
      } catch (const Com_Error& e) {
        if (cancelled()) {
          drop();
          throw;
        }
        if (!e.died()) throw;  // Word is well; this document failed in it
        drop();
        if (attempt == 2) {
          throw std::runtime_error(std::string("Microsoft Word ended during the conversion, and again after a restart: ") +
                                   e.what());
        }
      } catch (...) {
        drop();
        throw;
      }
    }
  }

  void start() {
    const std::optional<CLSID> clsid = word_clsid();
    if (!clsid) throw std::runtime_error(*word_unavailable());
    const std::wstring command = local_server_command(*clsid);
    if (command.empty()) {
      throw std::runtime_error("Word.Application is registered, but no program is registered to run it (LocalServer32 of " +
                               narrow(clsid_text(*clsid)) + ")");
    }

    // One TRAVO converter at a time starts its Word and connects to it, so
    // that none takes another's class object.
    HANDLE start_lock = CreateMutexW(nullptr, FALSE, kStartMutex);
    if (start_lock == nullptr) throw std::runtime_error("cannot create the mutex that orders Word's start-ups");
    struct Release_Lock {
      HANDLE mutex;
      bool held = false;
      ~Release_Lock() {
        if (held) ReleaseMutex(mutex);
        CloseHandle(mutex);
      }
    } held_lock{start_lock};
    for (;;) {
      const DWORD rc = WaitForSingleObject(start_lock, 100);
      if (rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED) break;
      if (rc == WAIT_FAILED) throw std::runtime_error("cannot take the mutex that orders Word's start-ups");
      if (spent()) throw std::runtime_error("another TRAVO was starting its Word for too long");
    }
    held_lock.held = true;

    platform::Process_Options options;
    options.argv = server_argv(command);
    platform::Process process;
    try {
      process = platform::Process::start(options);
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string("cannot start Microsoft Word: ") + e.what());
    }
    pid_ = process.id();
    {
      std::lock_guard lock(shared_->mu);
      shared_->word = std::move(process);
    }
    if (setup_.observer) setup_.observer->word_started(pid_);

    wait_until_ready();

    const HRESULT hr = CoCreateInstance(*clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, app_.out());
    if (FAILED(hr)) {
      app_.reset();
      throw Com_Error("Microsoft Word did not accept the connection: " + describe(hr), hr);
    }
    check_identity();
    held_lock.held = false;
    ReleaseMutex(start_lock);

    call(*this, app_.get(), L"DisplayAlerts", DISPATCH_PROPERTYPUT, Args().add(nullptr, Variant::integer(kAlertsNone)));
    call(*this, app_.get(), L"Visible", DISPATCH_PROPERTYPUT, Args().add(nullptr, Variant::boolean(false)));
  }

  // Word registers its class object while it starts up, before it first
  // waits for input.
  void wait_until_ready() {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid_);
    if (process == nullptr) throw std::runtime_error("cannot watch the Word that TRAVO started: " + describe(HRESULT_FROM_WIN32(GetLastError())));
    struct Close {
      HANDLE h;
      ~Close() { CloseHandle(h); }
    } close{process};
    for (;;) {
      const DWORD rc = WaitForInputIdle(process, 100);
      if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        std::lock_guard lock(shared_->mu);
        const auto status = shared_->word.exit_status();
        throw Com_Error("Microsoft Word exited during start-up" + (status ? " (" + status->describe() + ")" : std::string()),
                        HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
      }
      if (rc == 0) return;
      if (rc == WAIT_FAILED) return;  // no message queue to wait for: nothing more to learn
      if (spent()) throw std::runtime_error("Microsoft Word was not ready in time");
    }
  }

  // Word shows the caption in its window's title: a window with the
  // unique caption must belong to the process TRAVO started. Where no window
  // shows it, there is nothing to compare.
  void check_identity() {
    const std::wstring caption = L"TRAVO " + platform::utf16_from_utf8(random_token());
    try {
      call(*this, app_.get(), L"Caption", DISPATCH_PROPERTYPUT, Args().add(nullptr, Variant::text(caption)));
    } catch (const Com_Error& e) {
      if (e.died()) throw;
      return;  // a Word without a caption to set: nothing to compare
    }
    if (const std::optional<DWORD> owner = process_of_window_titled(caption); owner && *owner != pid_) {
      app_.reset();  // not TRAVO's Word: let go of it without Quit
      throw std::runtime_error("the Word that answered (process " + std::to_string(*owner) +
                               ") is not the one TRAVO started (process " + std::to_string(pid_) + ")");
    }
  }

  void export_pdf(const fs::path& input, const fs::path& target) {
    Variant documents_value = call(*this, app_.get(), L"Documents", DISPATCH_PROPERTYGET);
    Com_Ptr<IDispatch> documents = dispatch_of(documents_value, "Documents");
    Variant opened = call(*this, documents.get(), L"Open", DISPATCH_METHOD,
                          Args()
                              .add(L"FileName", Variant::text(fs::path(input).make_preferred().wstring()))
                              .add(L"ConfirmConversions", Variant::boolean(false))
                              .add(L"ReadOnly", Variant::boolean(true))
                              .add(L"AddToRecentFiles", Variant::boolean(false)));
    Com_Ptr<IDispatch> document = dispatch_of(opened, "the opened document");
    try {
      call(*this, document.get(), L"ExportAsFixedFormat", DISPATCH_METHOD,
           Args()
               .add(L"OutputFileName", Variant::text(fs::path(target).make_preferred().wstring()))
               .add(L"ExportFormat", Variant::integer(kExportPdf)));
    } catch (const Com_Error& e) {
      if (!e.died()) close(document);
      throw;
    }
    close(document);
  }

  // Closes without saving. The PDF is written by now: only a Word that died
  // on the way counts as a failure, and then the next document starts a new
  // one.
  void close(Com_Ptr<IDispatch>& document) {
    try {
      call(*this, document.get(), L"Close", DISPATCH_METHOD, Args().add(L"SaveChanges", Variant::integer(kDoNotSaveChanges)));
    } catch (const Com_Error& e) {
      if (e.died()) drop();
    }
  }

  // Quits the Word TRAVO started and waits a moment for it to go; then its
  // tree is ended in any case.
  void quit() {
    if (app_) {
      try {
        call(*this, app_.get(), L"Quit", DISPATCH_METHOD, Args().add(L"SaveChanges", Variant::integer(kDoNotSaveChanges)));
      } catch (const std::exception&) {
        // Gone already, or stuck: the tree is ended below.
      }
      app_.reset();
      const auto until = Clock::now() + kGrace;
      while (!word_gone() && Clock::now() < until) std::this_thread::sleep_for(milliseconds(20));
    }
    drop();
  }

  // Lets go of the connection and ends what is left of Word's tree.
  void drop() {
    app_.reset();
    platform::Process word;
    {
      std::lock_guard lock(shared_->mu);
      word = std::move(shared_->word);
    }
    if (!word.valid()) return;
    word.kill_tree();
    word.wait_for(kGrace);
    word = platform::Process();
    if (setup_.observer) setup_.observer->word_stopped(pid_);
    pid_ = 0;
  }

  std::shared_ptr<Shared> shared_;
  const Word_Setup setup_;
  Busy_Filter filter_;
  Com_Ptr<IDispatch> app_;
  platform::Process_Id pid_ = 0;
};

void Word::Impl::start_thread() {
  shared_ = std::make_shared<Shared>();
  thread_ = std::thread([shared = shared_, setup = setup_] { Thread(shared, setup).run(); });
}

Word::Word(Word_Setup setup) : impl_(std::make_unique<Impl>(setup)) {}

Word::~Word() = default;

void Word::convert(const fs::path& input, const fs::path& target, bool keep_active) {
  impl_->convert(input, target, keep_active);
}

}  // namespace platen_model::detail
