#include "travo/platform/atomic_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "travo/platform/utf8.h"

namespace travo::platform {
namespace {

namespace fs = std::filesystem;

// Paths in messages are UTF-8 on every system (path::string() would use the
// ANSI code page on Windows and throw for characters outside it).
std::string shown(const fs::path& p) { return utf8_string(p); }

std::error_code last_error() {
#ifdef _WIN32
  return {static_cast<int>(::GetLastError()), std::system_category()};
#else
  return {errno, std::generic_category()};
#endif
}

[[noreturn]] void fail(Atomic_File_Failure reason, const fs::path& target, std::string cause,
                       std::error_code code = {}) {
  throw Atomic_File_Error(reason, target, std::move(cause), code);
}

[[noreturn]] void fail(Atomic_File_Failure reason, const fs::path& target, std::error_code code) {
  fail(reason, target, code.message(), code);
}

fs::path folder_of(const fs::path& target) {
  fs::path folder = target.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

void check_target(const fs::path& target) {
  std::error_code ec;
  const fs::path folder = folder_of(target);
  if (!fs::is_directory(folder, ec)) {
    const bool exists = fs::exists(folder, ec);
    fail(Atomic_File_Failure::folder_missing, target,
         exists ? "'" + shown(folder) + "' is not a folder" : "folder '" + shown(folder) + "' does not exist");
  }
  if (fs::is_directory(target, ec)) fail(Atomic_File_Failure::target_is_folder, target, "it is a folder");
  if (target.filename().empty()) fail(Atomic_File_Failure::target_is_folder, target, "it names a folder");
#ifdef _WIN32
  // Windows refuses to rename over a read-only file; Wine does not. Asking
  // first gives the same answer on both, before anything is written.
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    fail(Atomic_File_Failure::cannot_replace, target, "the file is read-only");
  }
#endif
}

// Sixteen random hex digits: enough that two writers never pick the same
// name in practice, and the exclusive create settles the rest.
std::string random_suffix() {
  thread_local std::mt19937_64 engine = [] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), rd(), rd()};
    return std::mt19937_64(seq);
  }();
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(engine()));
  return buf;
}

#ifdef _WIN32
using Handle = HANDLE;
const Handle kNoHandle = INVALID_HANDLE_VALUE;
#else
using Handle = int;
constexpr Handle kNoHandle = -1;
#endif

void close_handle(Handle h) {
#ifdef _WIN32
  ::CloseHandle(h);
#else
  ::close(h);
#endif
}

// The temporary file of one replacement. Until commit() succeeds the
// destructor closes and removes it, so every early exit cleans up.
class Temp_File {
 public:
  explicit Temp_File(const fs::path& target) : target_(target) {
    const fs::path folder = folder_of(target);
    const std::string stem = "." + shown(target.filename()) + ".tmp-";
    for (int attempt = 0; attempt < 64; ++attempt) {
      const std::string name = stem + random_suffix();
#ifdef _WIN32
      path_ = folder / fs::path(std::u8string(name.begin(), name.end()));
      // Not FILE_ATTRIBUTE_HIDDEN: a writer callback that recreates the file
      // (fopen "wb" is CREATE_ALWAYS) would be refused on a hidden file.
      handle_ = ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
      if (handle_ != kNoHandle) return;
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
#else
      path_ = folder / name;
      do {
        handle_ = ::open(path_.string().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      } while (handle_ == kNoHandle && errno == EINTR);
      if (handle_ != kNoHandle) return;
      if (errno == EEXIST) continue;
#endif
      const std::error_code code = last_error();
      path_.clear();
      fail(Atomic_File_Failure::cannot_create, target_,
           "cannot create a temporary file in '" + shown(folder) + "': " + code.message(), code);
    }
    path_.clear();
    fail(Atomic_File_Failure::cannot_create, target_,
         "no unused temporary file name in '" + shown(folder) + "'");
  }

  Temp_File(const Temp_File&) = delete;
  Temp_File& operator=(const Temp_File&) = delete;

  ~Temp_File() {
    if (handle_ != kNoHandle) close_handle(handle_);
    if (!committed_ && !path_.empty()) {
      std::error_code ignored;
      fs::remove(path_, ignored);
    }
  }

  const fs::path& path() const { return path_; }

  void write(std::string_view bytes) {
    while (!bytes.empty()) {
#ifdef _WIN32
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
      DWORD done = 0;
      if (!::WriteFile(handle_, bytes.data(), chunk, &done, nullptr)) {
        fail(Atomic_File_Failure::cannot_write, target_, last_error());
      }
#else
      const ssize_t done = ::write(handle_, bytes.data(), bytes.size());
      if (done < 0) {
        if (errno == EINTR) continue;
        fail(Atomic_File_Failure::cannot_write, target_, last_error());
      }
#endif
      bytes.remove_prefix(static_cast<size_t>(done));
    }
  }

  // Lets a callback write the file by name: nothing of ours holds it open.
  void release() {
    close_checked();
  }

  // Opens the file the callback wrote, to sync it.
  void reopen() {
#ifdef _WIN32
    // FlushFileBuffers needs write access.
    handle_ = ::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == kNoHandle) {
      const std::error_code code = last_error();
      fail(Atomic_File_Failure::cannot_write, target_, "the written file cannot be opened: " + code.message(),
           code);
    }
#else
    do {
      handle_ = ::open(path_.string().c_str(), O_RDONLY | O_CLOEXEC);
    } while (handle_ == kNoHandle && errno == EINTR);
    if (handle_ == kNoHandle) {
      const std::error_code code = last_error();
      fail(Atomic_File_Failure::cannot_write, target_,
           code == std::errc::no_such_file_or_directory ? "the writer left no file"
                                                        : "the written file cannot be opened: " + code.message(),
           code);
    }
    struct stat st {};
    if (::fstat(handle_, &st) != 0) fail(Atomic_File_Failure::cannot_write, target_, last_error());
    if (!S_ISREG(st.st_mode)) fail(Atomic_File_Failure::cannot_write, target_, "the writer left no regular file");
#endif
  }

  // Flushes to the device and closes.
  void sync_and_close() {
#ifdef _WIN32
    if (!::FlushFileBuffers(handle_)) fail(Atomic_File_Failure::cannot_write, target_, last_error());
#else
    int rc;
    do {
      rc = ::fsync(handle_);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) fail(Atomic_File_Failure::cannot_write, target_, last_error());
#endif
    close_checked();
  }

  void commit() {
#ifdef _WIN32
    // MoveFileExW is one rename within the volume. ReplaceFileW would keep
    // the old file's attributes and access rights, but some of its failures
    // leave the old file renamed away, which is worse than losing them.
    //
    // A program holding the target without FILE_SHARE_DELETE forbids the
    // rename. A virus scanner or the search indexer does so for a moment:
    // a few short retries ride that out; Excel holding the workbook does
    // not let go, and the message says so.
    for (int attempt = 0;; ++attempt) {
      if (::MoveFileExW(path_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) break;
      const std::error_code code = last_error();
      const DWORD attributes = ::GetFileAttributesW(target_.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        fail(Atomic_File_Failure::cannot_replace, target_, "the file is read-only", code);
      }
      const bool busy = code.value() == ERROR_SHARING_VIOLATION || code.value() == ERROR_ACCESS_DENIED ||
                        code.value() == ERROR_LOCK_VIOLATION;
      if (busy && attempt < 10) {
        ::Sleep(50);
        continue;
      }
      fail(Atomic_File_Failure::cannot_replace, target_,
           busy ? "the file is open in another program, or may not be changed (" + code.message() + ")"
                : code.message(),
           code);
    }
    committed_ = true;
#else
    if (::rename(path_.string().c_str(), target_.string().c_str()) != 0) {
      fail(Atomic_File_Failure::cannot_replace, target_, last_error());
    }
    committed_ = true;
    // The new name lasts once the folder's entry is on the device too. The
    // file is in place already, so a folder that cannot be synced is no
    // failure of the replacement.
    const int dir = ::open(folder_of(target_).string().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      (void)::fsync(dir);
      ::close(dir);
    }
#endif
  }

 private:
  void close_checked() {
    const Handle h = handle_;
    handle_ = kNoHandle;
#ifdef _WIN32
    if (!::CloseHandle(h)) fail(Atomic_File_Failure::cannot_write, target_, last_error());
#else
    // The descriptor is gone even when close() reports an error; never retry.
    if (::close(h) != 0 && errno != EINTR) fail(Atomic_File_Failure::cannot_write, target_, last_error());
#endif
  }

  fs::path target_;
  fs::path path_;
  Handle handle_ = kNoHandle;
  bool committed_ = false;
};

// A source file opened for reading; closed on every exit.
class Source_File {
 public:
  Source_File(const fs::path& source, const fs::path& target) : source_(source), target_(target) {
    const auto unreadable = [&](const std::string& why, std::error_code code = {}) {
      fail(Atomic_File_Failure::source_unreadable, target_, "source '" + shown(source_) + "' " + why, code);
    };
#ifdef _WIN32
    handle_ = ::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle_ == kNoHandle) {
      const std::error_code code = last_error();
      unreadable("cannot be opened: " + code.message(), code);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle_, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      close_handle(handle_);
      handle_ = kNoHandle;
      unreadable("is not a regular file");
    }
#else
    do {
      handle_ = ::open(source.string().c_str(), O_RDONLY | O_CLOEXEC);
    } while (handle_ == kNoHandle && errno == EINTR);
    if (handle_ == kNoHandle) {
      const std::error_code code = last_error();
      unreadable("cannot be opened: " + code.message(), code);
    }
    struct stat st {};
    if (::fstat(handle_, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(handle_);
      handle_ = kNoHandle;
      unreadable("is not a regular file");
    }
#endif
  }
  Source_File(const Source_File&) = delete;
  Source_File& operator=(const Source_File&) = delete;
  ~Source_File() {
    if (handle_ != kNoHandle) close_handle(handle_);
  }

  // Reads the next piece into `buf`; 0 at the end.
  size_t read(char* buf, size_t size) {
    for (;;) {
#ifdef _WIN32
      DWORD got = 0;
      if (::ReadFile(handle_, buf, static_cast<DWORD>(size), &got, nullptr)) return got;
#else
      const ssize_t got = ::read(handle_, buf, size);
      if (got >= 0) return static_cast<size_t>(got);
      if (errno == EINTR) continue;
#endif
      const std::error_code code = last_error();
      fail(Atomic_File_Failure::source_unreadable, target_,
           "source '" + shown(source_) + "' cannot be read: " + code.message(), code);
    }
  }

 private:
  fs::path source_;
  fs::path target_;
  Handle handle_ = kNoHandle;
};

}  // namespace

Atomic_File_Error::Atomic_File_Error(Atomic_File_Failure reason, std::filesystem::path target, std::string cause,
                                     std::error_code code)
    : std::runtime_error("cannot write '" + shown(target) + "': " + cause),
      reason_(reason),
      target_(std::move(target)),
      cause_(std::move(cause)),
      code_(code) {}

void atomic_write(const std::filesystem::path& target, std::string_view bytes) {
  check_target(target);
  Temp_File temp(target);
  temp.write(bytes);
  temp.sync_and_close();
  temp.commit();
}

void atomic_write_with(const std::filesystem::path& target,
                       const std::function<void(const std::filesystem::path& temporary)>& writer) {
  check_target(target);
  Temp_File temp(target);
  temp.release();
  writer(temp.path());
  temp.reopen();
  temp.sync_and_close();
  temp.commit();
}

void atomic_install(const std::filesystem::path& source, const std::filesystem::path& target) {
  Source_File in(source, target);
  check_target(target);
  Temp_File temp(target);
  std::array<char, 1 << 16> buf;
  while (const size_t n = in.read(buf.data(), buf.size())) temp.write(std::string_view(buf.data(), n));
  temp.sync_and_close();
  temp.commit();
}

}  // namespace travo::platform
