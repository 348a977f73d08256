// A small tmpfs mounted for one test, for the file-system failures that
// permission bits cannot produce when tests run as root (a full disk, a
// read-only folder). Mounting needs root; tests check mounted() and skip
// without it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace travo::platform::test_support {

class Small_Tmpfs {
 public:
  // Mounts a tmpfs of `size` ("64k", "1m") at `at`, creating the folder.
  Small_Tmpfs(const std::filesystem::path& at, const std::string& size) : at_(at) {
    std::filesystem::create_directories(at_);
#ifdef _WIN32
    return;  // no tmpfs on Windows: mounted() stays false and the test skips
#endif
    mounted_ = std::system(("mount -t tmpfs -o size=" + size + " tmpfs '" + at_.string() + "' 2>/dev/null").c_str()) == 0;
  }
  ~Small_Tmpfs() {
    if (mounted_) std::system(("umount -l '" + at_.string() + "'").c_str());
  }
  Small_Tmpfs(const Small_Tmpfs&) = delete;
  Small_Tmpfs& operator=(const Small_Tmpfs&) = delete;

  bool mounted() const { return mounted_; }
  // mode: "ro" or "rw".
  bool remount(const char* mode) {
    return std::system(("mount -o remount," + std::string(mode) + " '" + at_.string() + "'").c_str()) == 0;
  }

 private:
  std::filesystem::path at_;
  bool mounted_ = false;
};

}  // namespace travo::platform::test_support
