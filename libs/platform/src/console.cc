#include "travo/platform/console.h"

#include <iostream>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include "travo/platform/utf8.h"
#endif

namespace travo::platform {
namespace {

constexpr size_t kFlushAt = 4096;

// Bytes at the end of `s` that start a UTF-8 sequence still missing its
// continuation bytes.
size_t incomplete_tail(std::string_view s) {
  const size_t n = s.size();
  for (size_t back = 1; back <= 3 && back <= n; ++back) {
    const auto c = static_cast<unsigned char>(s[n - back]);
    if ((c & 0xC0) == 0x80) continue;  // continuation byte: look further back
    const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return need > back ? back : 0;
  }
  return 0;
}

}  // namespace

std::vector<std::string> utf8_arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) out.push_back(utf8_from_utf16(wide[i]));
    ::LocalFree(wide);
    return out;
  }
#endif
  return std::vector<std::string>(argv, argv + argc);
}

Utf8_Line_Buffer::Utf8_Line_Buffer(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {}

Utf8_Line_Buffer::~Utf8_Line_Buffer() { emit(true); }

Utf8_Line_Buffer::int_type Utf8_Line_Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  xsputn(&ch, 1);
  return c;
}

std::streamsize Utf8_Line_Buffer::xsputn(const char* s, std::streamsize n) {
  pending_.append(s, static_cast<size_t>(n));
  if (pending_.size() >= kFlushAt || std::string_view(s, static_cast<size_t>(n)).find('\n') != std::string_view::npos) {
    emit(false);
  }
  return n;
}

int Utf8_Line_Buffer::sync() {
  emit(false);
  return 0;
}

void Utf8_Line_Buffer::emit(bool everything) {
  const size_t keep = everything ? 0 : incomplete_tail(pending_);
  if (pending_.size() == keep) return;
  sink_(std::string_view(pending_).substr(0, pending_.size() - keep));
  pending_.erase(0, pending_.size() - keep);
}

#ifdef _WIN32

namespace {

// A console handle: GetConsoleMode fails for pipes and files.
bool is_console(HANDLE h) {
  DWORD mode = 0;
  return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode);
}

void write_console(HANDLE h, std::string_view utf8) {
  std::wstring wide;
  try {
    wide = utf16_from_utf8(utf8);
  } catch (const std::invalid_argument&) {
    // Not UTF-8: show what the system's code page makes of it.
    DWORD done = 0;
    ::WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &done, nullptr);
    return;
  }
  const wchar_t* p = wide.data();
  size_t left = wide.size();
  while (left > 0) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(left < 8192 ? left : 8192);
    if (!::WriteConsoleW(h, p, chunk, &done, nullptr) || done == 0) return;
    p += done;
    left -= done;
  }
}

}  // namespace

struct Utf8_Console::State {
  UINT old_output_cp = 0;
  std::unique_ptr<Utf8_Line_Buffer> out, err;
  std::streambuf* old_out = nullptr;
  std::streambuf* old_err = nullptr;
};

Utf8_Console::Utf8_Console() : state_(std::make_unique<State>()) {
  state_->old_output_cp = ::GetConsoleOutputCP();
  if (state_->old_output_cp != 0) ::SetConsoleOutputCP(CP_UTF8);
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  if (is_console(out)) {
    std::cout.flush();
    state_->out = std::make_unique<Utf8_Line_Buffer>([out](std::string_view s) { write_console(out, s); });
    state_->old_out = std::cout.rdbuf(state_->out.get());
  }
  if (is_console(err)) {
    std::cerr.flush();
    state_->err = std::make_unique<Utf8_Line_Buffer>([err](std::string_view s) { write_console(err, s); });
    state_->old_err = std::cerr.rdbuf(state_->err.get());
  }
}

Utf8_Console::~Utf8_Console() {
  if (state_->old_out) {
    std::cout.flush();
    std::cout.rdbuf(state_->old_out);
  }
  if (state_->old_err) {
    std::cerr.flush();
    std::cerr.rdbuf(state_->old_err);
  }
  if (state_->old_output_cp != 0) ::SetConsoleOutputCP(state_->old_output_cp);
}

#else

struct Utf8_Console::State {};
Utf8_Console::Utf8_Console() = default;
Utf8_Console::~Utf8_Console() = default;

#endif

}  // namespace travo::platform
