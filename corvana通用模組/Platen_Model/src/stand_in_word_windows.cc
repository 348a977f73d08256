// A stand-in for Microsoft Word's automation server, so that the converter's
// Word path can be tested under Wine: an out-of-process COM server with the
// class and ProgID of Word.Application, serving the members the converter
// calls through IDispatch (named arguments included).
//
//   WINWORD.EXE /RegServer     registers this program as Word.Application
//                              ({000209FF-0000-0000-C000-000000000046},
//                              LocalServer32 "<this program> /Automation",
//                              unquoted, as Office writes it)
//   WINWORD.EXE /UnregServer   removes that registration
//   WINWORD.EXE ... -Embedding a Word started for automation: registers its
//                              class object for a single use and serves one
//                              Application
//   WINWORD.EXE --user         a Word the user started: its Application in
//                              the running object table, no class object
//   WINWORD.EXE --probe        prints the process id of the Application in
//                              the running object table; exit code 1 if none
//
// Members: Application.Caption (the title of its hidden window),
// .DisplayAlerts, .Visible, .Documents, .Quit(SaveChanges), .ProcessId (the
// stand-in's own); Documents.Open(FileName, ConfirmConversions, ReadOnly,
// AddToRecentFiles); Document.ExportAsFixedFormat(OutputFileName,
// ExportFormat), .Close(SaveChanges). Open fails with Word's words for a
// file that is no Word document; ExportAsFixedFormat takes only format 17
// (PDF) and writes a token PDF naming the document.
//
// It shares no code with the converter on purpose: a stand-in made of the
// converter's own parts would agree with it where both are wrong.
//
// Environment:
//   PLATEN_STAND_IN_WORD      "pdf" (default); "hang": Open never returns,
//                             as Word showing a dialog (and the process
//                             starts a child that idles); "die": the process
//                             exits in the middle of ExportAsFixedFormat,
//                             having written part of the PDF; "die-once":
//                             the same, for the first process only; "reject":
//                             the first three calls are turned away as by a
//                             busy Word; "stranger": the caption shows in
//                             the window of another process
//   PLATEN_STAND_IN_WORD_LOG  a folder: "pids" gets one line per process
//                             ("<pid> server|user|child"), "calls-<pid>.log"
//                             one line per call served ("Application.Visible
//                             = false", "rejected", ...)
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "travo/platform/utf8.h"

namespace {

const CLSID kWordClsid = {0x000209FF, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr wchar_t kClsidText[] = L"{000209FF-0000-0000-C000-000000000046}";
constexpr wchar_t kProgId[] = L"Word.Application";

std::wstring variable(const wchar_t* name) {
  wchar_t value[4096];
  const DWORD n = GetEnvironmentVariableW(name, value, 4096);
  return n > 0 && n < 4096 ? std::wstring(value, n) : std::wstring();
}

std::string utf8(std::wstring_view text) { return travo::platform::utf8_from_utf16(text); }

std::wstring mode() {
  const std::wstring m = variable(L"PLATEN_STAND_IN_WORD");
  return m.empty() ? L"pdf" : m;
}

std::wstring log_dir() { return variable(L"PLATEN_STAND_IN_WORD_LOG"); }

void append(const std::wstring& file, const std::string& line) {
  if (log_dir().empty()) return;
  std::ofstream(std::filesystem::path(log_dir()) / file, std::ios::app | std::ios::binary) << line << "\n";
}

void log_call(const std::string& line) { append(L"calls-" + std::to_wstring(GetCurrentProcessId()) + L".log", line); }

void log_process(const char* role) { append(L"pids", std::to_string(GetCurrentProcessId()) + " " + role); }

// ---------------------------------------------------------------- IDispatch

std::string describe(const VARIANT& v) {
  switch (v.vt) {
    case VT_BSTR:
      return "\"" + utf8(std::wstring_view(v.bstrVal, SysStringLen(v.bstrVal))) + "\"";
    case VT_BOOL:
      return v.boolVal ? "true" : "false";
    case VT_I4:
      return std::to_string(v.lVal);
    case VT_I2:
      return std::to_string(v.iVal);
    default:
      return "<vt " + std::to_string(v.vt) + ">";
  }
}

// A member of an object: its name and the names of its arguments, in the
// order positional arguments take them.
struct Member {
  const wchar_t* name;
  std::vector<const wchar_t*> args;
};

bool same_name(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b) == 0; }

// The arguments of one call by their position in Member::args, from named
// and positional arguments alike (positional ones come last-first).
using Call_Args = std::map<int, VARIANT*>;

HRESULT collect(const Member& member, DISPPARAMS* params, WORD kind, Call_Args& out) {
  const UINT positional = params->cArgs - params->cNamedArgs;
  for (UINT i = 0; i < params->cNamedArgs; ++i) {
    const DISPID id = params->rgdispidNamedArgs[i];
    if (id == DISPID_PROPERTYPUT && (kind & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) {
      out[-1] = &params->rgvarg[i];
    } else if (id >= 1 && static_cast<std::size_t>(id) <= member.args.size()) {
      out[id - 1] = &params->rgvarg[i];
    } else {
      return DISP_E_PARAMNOTFOUND;
    }
  }
  for (UINT p = 0; p < positional; ++p) {
    if (p >= member.args.size()) return DISP_E_BADPARAMCOUNT;
    out[static_cast<int>(p)] = &params->rgvarg[params->cArgs - 1 - p];
  }
  return S_OK;
}

HRESULT fail(EXCEPINFO* info, const wchar_t* text) {
  if (info != nullptr) {
    *info = EXCEPINFO{};
    info->bstrSource = SysAllocString(L"Microsoft Word");
    info->bstrDescription = SysAllocString(text);
    info->scode = DISP_E_EXCEPTION;
  }
  return DISP_E_EXCEPTION;
}

class Object : public IDispatch {
 public:
  virtual ~Object() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) {
      released();
      delete this;
    }
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  // Member ids are 1-based positions in members(); argument ids 1-based
  // positions in the member's argument list.
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    const std::vector<Member>& all = members();
    int found = -1;
    for (std::size_t m = 0; m < all.size(); ++m) {
      if (same_name(all[m].name, names[0])) found = static_cast<int>(m);
    }
    HRESULT hr = S_OK;
    ids[0] = found < 0 ? DISPID_UNKNOWN : found + 1;
    if (found < 0) hr = DISP_E_UNKNOWNNAME;
    for (UINT i = 1; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      if (found < 0) continue;
      const auto& args = all[found].args;
      for (std::size_t a = 0; a < args.size(); ++a) {
        if (same_name(args[a], names[i])) ids[i] = static_cast<DISPID>(a + 1);
      }
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    if (hr != S_OK) {
      std::string line = "unknown name " + utf8(names[0]);
      for (UINT i = 1; i < count; ++i) line += " " + utf8(names[i]);
      log_call(line);
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD kind, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* info, UINT*) override {
    if (turned_away_ > 0) {
      // A busy Word: "retry later", returned to the caller.
      --turned_away_;
      log_call("rejected");
      return RPC_E_SERVERCALL_RETRYLATER;
    }
    const std::vector<Member>& all = members();
    if (id < 1 || static_cast<std::size_t>(id) > all.size()) return DISP_E_MEMBERNOTFOUND;
    const Member& member = all[id - 1];
    Call_Args args;
    if (const HRESULT hr = collect(member, params, kind, args); hr != S_OK) return hr;
    std::string line = type_name() + "." + utf8(member.name);
    if (args.count(-1)) line += " = " + describe(*args[-1]);
    for (const auto& [at, value] : args) {
      if (at >= 0) line += " " + utf8(member.args[at]) + "=" + describe(*value);
    }
    log_call(line);
    if (result != nullptr) VariantInit(result);
    return call(member.name, kind, args, result, info);
  }

  // The calls that the next Invoke()s turn away (a busy Word).
  static inline int turned_away_ = 0;

 protected:
  virtual std::string type_name() const = 0;
  virtual const std::vector<Member>& members() const = 0;
  virtual HRESULT call(std::wstring_view member, WORD kind, Call_Args& args, VARIANT* result, EXCEPINFO* info) = 0;
  virtual void released() {}

 private:
  LONG refs_ = 1;
};

std::wstring text_arg(Call_Args& args, int at) {
  auto it = args.find(at);
  if (it == args.end()) return {};
  VARIANT v;
  VariantInit(&v);
  if (FAILED(VariantChangeType(&v, it->second, 0, VT_BSTR))) return {};
  std::wstring text(v.bstrVal, SysStringLen(v.bstrVal));
  VariantClear(&v);
  return text;
}

long int_arg(Call_Args& args, int at, long fallback) {
  auto it = args.find(at);
  if (it == args.end()) return fallback;
  VARIANT v;
  VariantInit(&v);
  if (FAILED(VariantChangeType(&v, it->second, 0, VT_I4))) return fallback;
  return v.lVal;
}

std::string file_bytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

HWND main_window = nullptr;

// A process a Word started (as Word starts helpers of its own), to show
// that the whole tree is ended, or one showing a window titled `title`.
// Recorded here, before anything else.
void start_child(const std::wstring& title = {}) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" --child";
  if (!title.empty()) line += L" \"" + title + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    append(L"pids", std::to_string(pi.dwProcessId) + " child");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

class Document final : public Object {
 public:
  explicit Document(std::wstring file) : file_(std::move(file)) {}

 protected:
  std::string type_name() const override { return "Document"; }
  const std::vector<Member>& members() const override {
    static const std::vector<Member> all = {{L"ExportAsFixedFormat", {L"OutputFileName", L"ExportFormat"}},
                                            {L"Close", {L"SaveChanges"}}};
    return all;
  }
  HRESULT call(std::wstring_view member, WORD, Call_Args& args, VARIANT*, EXCEPINFO* info) override {
    if (member == L"Close") return S_OK;
    const std::wstring output = text_arg(args, 0);
    if (output.empty()) return fail(info, L"OutputFileName is required");
    if (int_arg(args, 1, -1) != 17) return fail(info, L"The stand-in exports PDF (17) only");
    const std::wstring how = mode();
    const std::wstring died_once = log_dir() + L"\\died-once";
    if (how == L"die" || (how == L"die-once" && GetFileAttributesW(died_once.c_str()) == INVALID_FILE_ATTRIBUTES)) {
      std::ofstream(std::filesystem::path(output), std::ios::binary) << "%PDF-1.4\nhalf";
      if (how == L"die-once") std::ofstream(std::filesystem::path(died_once)) << "died\n";
      log_call("dies");
      ExitProcess(3);
    }
    std::ofstream(std::filesystem::path(output), std::ios::binary) << "%PDF-1.4\nstand-in Word\n" << utf8(file_) << "\n%%EOF\n";
    return S_OK;
  }

 private:
  std::wstring file_;
};

class Documents final : public Object {
 protected:
  std::string type_name() const override { return "Documents"; }
  const std::vector<Member>& members() const override {
    static const std::vector<Member> all = {
        {L"Open", {L"FileName", L"ConfirmConversions", L"ReadOnly", L"AddToRecentFiles"}}};
    return all;
  }
  HRESULT call(std::wstring_view, WORD, Call_Args& args, VARIANT* result, EXCEPINFO* info) override {
    const std::wstring file = text_arg(args, 0);
    if (mode() == L"hang") {
      log_call("hangs");
      for (;;) Sleep(1000);
    }
    if (file_bytes(file).find("word/document.xml") == std::string::npos) {
      return fail(info, L"Word experienced an error trying to open the file.");
    }
    if (result == nullptr) return E_INVALIDARG;
    result->vt = VT_DISPATCH;
    result->pdispVal = new Document(file);
    return S_OK;
  }
};

class Application final : public Object {
 public:
  explicit Application(bool server) : server_(server) {}

 protected:
  std::string type_name() const override { return "Application"; }
  const std::vector<Member>& members() const override {
    static const std::vector<Member> all = {{L"Caption", {}},   {L"DisplayAlerts", {}}, {L"Visible", {}},
                                            {L"Documents", {}}, {L"Quit", {L"SaveChanges"}}, {L"ProcessId", {}}};
    return all;
  }
  HRESULT call(std::wstring_view member, WORD kind, Call_Args& args, VARIANT* result, EXCEPINFO*) override {
    const bool put = (kind & DISPATCH_PROPERTYPUT) != 0;
    if (member == L"Caption" && put) {
      caption_ = text_arg(args, -1);
      if (mode() == L"stranger") {
        // The caption shows in another process's window, as it would if
        // this were not the Word that was started.
        start_child(caption_);
        while (FindWindowW(L"OpusApp", caption_.c_str()) == nullptr) Sleep(10);
      } else if (main_window != nullptr) {
        SetWindowTextW(main_window, caption_.c_str());
      }
      return S_OK;
    }
    if ((member == L"DisplayAlerts" || member == L"Visible") && put) return S_OK;
    if (member == L"Quit") {
      PostQuitMessage(0);
      return S_OK;
    }
    if (result == nullptr) return E_INVALIDARG;
    if (member == L"Documents") {
      result->vt = VT_DISPATCH;
      result->pdispVal = new Documents();
      return S_OK;
    }
    if (member == L"ProcessId") {
      result->vt = VT_I4;
      result->lVal = static_cast<LONG>(GetCurrentProcessId());
      return S_OK;
    }
    if (member == L"Caption") {
      result->vt = VT_BSTR;
      result->bstrVal = SysAllocString(caption_.c_str());
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }
  // A Word started for automation ends when its client lets go.
  void released() override {
    if (server_) PostQuitMessage(0);
  }

 private:
  bool server_;
  std::wstring caption_;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* app = new Application(true);
    const HRESULT hr = app->QueryInterface(iid, out);
    app->Release();
    log_call(SUCCEEDED(hr) ? "created" : "creation failed");
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Turns away the first incoming IDispatch call outright, as a busy Word
// does ("reject" mode); Invoke() turns away the two after it.
class Busy_Word final : public IMessageFilter {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
      *out = static_cast<IMessageFilter*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
    if (to_reject_ > 0 && call != nullptr && call->iid == IID_IDispatch) {
      --to_reject_;
      log_call("rejected");
      return SERVERCALL_REJECTED;
    }
    return SERVERCALL_ISHANDLED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }

 private:
  int to_reject_ = 1;
};

// Word's main window, hidden, whose title shows the caption. Without a
// display (Wine's null driver aside) there may be none.
void create_main_window(const wchar_t* title) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OpusApp";
  RegisterClassW(&wc);
  main_window = CreateWindowExW(0, L"OpusApp", title, WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                wc.hInstance, nullptr);
}

void pump() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int serve() {
  log_process("server");
  if (mode() == L"hang") start_child();
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 4;
  Busy_Word busy;
  if (mode() == L"reject") {
    CoRegisterMessageFilter(&busy, nullptr);
    Object::turned_away_ = 2;
  }
  create_main_window(L"Word");
  static Factory factory;
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(kWordClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie))) return 5;
  pump();
  CoRevokeClassObject(cookie);
  CoUninitialize();
  return 0;
}

int serve_as_users_word() {
  log_process("user");
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 4;
  create_main_window(L"Document1 - Word");
  auto* app = new Application(false);
  DWORD cookie = 0;
  if (FAILED(RegisterActiveObject(app, kWordClsid, ACTIVEOBJECT_STRONG, &cookie))) return 5;
  pump();  // until Quit
  RevokeActiveObject(cookie, nullptr);
  app->Release();
  CoUninitialize();
  return 0;
}

int probe() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 4;
  int status = 1;
  IUnknown* running = nullptr;
  if (SUCCEEDED(GetActiveObject(kWordClsid, nullptr, &running))) {
    IDispatch* app = nullptr;
    if (SUCCEEDED(running->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&app)))) {
      LPOLESTR name = const_cast<LPOLESTR>(L"ProcessId");
      DISPID id;
      DISPPARAMS none{};
      VARIANT pid;
      VariantInit(&pid);
      if (SUCCEEDED(app->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)) &&
          SUCCEEDED(app->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &pid, nullptr,
                                nullptr)) &&
          pid.vt == VT_I4) {
        std::printf("%ld\n", pid.lVal);
        status = 0;
      }
      app->Release();
    }
    running->Release();
  }
  CoUninitialize();
  return status;
}

bool set_value(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

int register_server() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring clsid = std::wstring(L"Software\\Classes\\CLSID\\") + kClsidText;
  const std::wstring progid = std::wstring(L"Software\\Classes\\") + kProgId;
  bool ok = set_value(HKEY_LOCAL_MACHINE, clsid, nullptr, L"Microsoft Word Application (stand-in)") &&
            set_value(HKEY_LOCAL_MACHINE, clsid + L"\\LocalServer32", nullptr, std::wstring(self) + L" /Automation") &&
            set_value(HKEY_LOCAL_MACHINE, clsid + L"\\ProgID", nullptr, kProgId) &&
            set_value(HKEY_LOCAL_MACHINE, progid, nullptr, L"Microsoft Word Application (stand-in)") &&
            set_value(HKEY_LOCAL_MACHINE, progid + L"\\CLSID", nullptr, kClsidText);
  // Under Wine without a display, windows (and so the caption check) need
  // Wine's null display driver. Not written on Windows.
  if (ok && GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
    ok = set_value(HKEY_CURRENT_USER, L"Software\\Wine\\Drivers", L"Graphics", L"null");
  }
  return ok ? 0 : 6;
}

int unregister_server() {
  const std::wstring clsid = std::wstring(L"Software\\Classes\\CLSID\\") + kClsidText;
  const std::wstring progid = std::wstring(L"Software\\Classes\\") + kProgId;
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, clsid.c_str());
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, progid.c_str());
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  bool embedding = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (same_name(arg.c_str(), L"/RegServer")) return register_server();
    if (same_name(arg.c_str(), L"/UnregServer")) return unregister_server();
    if (arg == L"--user") return serve_as_users_word();
    if (arg == L"--probe") return probe();
    if (arg == L"--child") {
      if (i + 1 < argc) {
        create_main_window(argv[i + 1]);
        pump();
      }
      for (;;) Sleep(1000);
    }
    if (same_name(arg.c_str(), L"-Embedding") || same_name(arg.c_str(), L"/Embedding")) embedding = true;
  }
  if (embedding) return serve();
  std::fputs("usage: see stand_in_word_windows.cc\n", stderr);
  return 2;
}
