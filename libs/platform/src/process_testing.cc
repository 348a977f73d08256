#include "travo/platform/process_testing.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fstream>
#include <iterator>
#include <string>
#endif

namespace travo::platform::test_support {

bool process_gone(Process_Id id) {
#ifdef _WIN32
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (h == nullptr) return true;
  const bool gone = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  CloseHandle(h);
  return gone;
#else
  std::string stat;
  try {
    std::ifstream in("/proc/" + std::to_string(id) + "/stat");
    stat.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    return true;  // it went while being read (ESRCH)
  }
  const auto paren = stat.rfind(')');
  return paren == std::string::npos || stat.compare(paren, 3, ") Z") == 0;
#endif
}

}  // namespace travo::platform::test_support
