// Replacing a file so that readers see either the old file or the new one.
//
// Every writer in TRAVO replaces a whole file at a fixed path: the search
// list, a saved .docx, a job result, a converted PDF. A crash, a full disk
// or a failing writer must never leave a half-written file under that name,
// so all of them go through this one helper, which works like this:
//
//   1. The target's folder must exist and the target must not be a folder;
//      both are checked before anything is written.
//   2. A temporary file is created in the target's own folder (so the final
//      rename never crosses file systems), with a hidden, unique name
//      ".<target name>.tmp-<random>", created exclusively: an existing file
//      of that name is never reused or overwritten.
//   3. The new content goes into the temporary file (from bytes, from a
//      callback that writes by path, or copied from a source file).
//   4. The temporary file is flushed and synced to the storage device, so
//      the name never points at data still in flight after a power cut.
//   5. The temporary file is renamed over the target in one step; then the
//      folder is synced so the rename itself lasts (best effort: some file
//      systems cannot sync a folder, and by then the new file is in place).
//
// If any step fails, the temporary file is removed and the target is left
// exactly as it was (or absent, if it was absent). Failures are thrown as
// Atomic_File_Error, whose reason() lets callers word their own message and
// whose cause() says what went wrong in plain English. An exception thrown
// by a caller's writer callback is passed on unchanged, after the clean-up.
//
// The replacement file gets the permissions a newly created file gets; it
// does not take over those of the file it replaces. A target that is a
// symbolic link is replaced by a regular file; the link's own target is not
// written.
//
// On Windows names reach the system as UTF-16 (CreateFileW, MoveFileExW
// with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). A reader
// without FILE_SHARE_DELETE (Excel, a plain fopen) makes the replacement
// fail with cannot_replace after a few short retries, which ride out a
// virus scanner's or the indexer's brief look; one with FILE_SHARE_DELETE
// does not stop it on Windows 10 (Wine refuses that too). A read-only target
// is refused before anything is written (cannot_replace, "the file is
// read-only"); on POSIX systems only the folder's permissions count.
//
// Concurrent replacements of one target are safe in the sense that each
// writer uses its own temporary file and the last rename wins; there is no
// locking between processes.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace travo::platform {

// Why a replacement failed.
enum class Atomic_File_Failure {
  folder_missing,     // the target's folder does not exist (or is not a folder)
  target_is_folder,   // the target names an existing folder
  source_unreadable,  // atomic_install: the source cannot be opened or read
  cannot_create,      // no temporary file could be made in the folder
                      // (read-only file system, no permission, ...)
  cannot_write,       // writing, flushing or syncing the temporary file failed
                      // (disk full, I/O error, the writer left no file, ...)
  cannot_replace,     // the temporary file could not be renamed over the target
                      // (target locked or not writable, ...)
};

class Atomic_File_Error : public std::runtime_error {
 public:
  Atomic_File_Error(Atomic_File_Failure reason, std::filesystem::path target, std::string cause,
                    std::error_code code = {});

  Atomic_File_Failure reason() const noexcept { return reason_; }
  // The file that was to be replaced.
  const std::filesystem::path& target() const noexcept { return target_; }
  // What went wrong, in English, without the target ("No space left on
  // device", "folder '/x' does not exist"). what() is "cannot write
  // '<target>': <cause>".
  const std::string& cause() const noexcept { return cause_; }
  // The operating system's error, when one is behind the failure.
  std::error_code code() const noexcept { return code_; }

 private:
  Atomic_File_Failure reason_;
  std::filesystem::path target_;
  std::string cause_;
  std::error_code code_;
};

// Replaces `target` with a file holding exactly `bytes`.
void atomic_write(const std::filesystem::path& target, std::string_view bytes);

// Replaces `target` with the file that `writer` writes at the temporary path
// it is given, for libraries that insist on writing by file name. The
// temporary file exists (empty) when `writer` is called; `writer` may
// truncate and rewrite it, but must leave a regular file at that path and
// must not keep it open. `writer` reports failure by throwing; its
// exception reaches the caller unchanged.
void atomic_write_with(const std::filesystem::path& target,
                       const std::function<void(const std::filesystem::path& temporary)>& writer);

// Replaces `target` with a copy of the finished file `source`, which may
// live anywhere (another folder, another file system). The copy is made
// beside the target, synced and renamed over it; `source` is left as it
// was. A source that is missing, a folder or unreadable fails with
// source_unreadable before the target's folder is touched.
void atomic_install(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace travo::platform
