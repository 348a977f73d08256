// Test helper: prints the descriptors this process holds, ascending, each
// followed by a space, leaving out its own handle on /proc/self/fd. Run
// directly (no shell in between), it shows exactly what a spawned child
// inherited.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) {
    std::perror("/proc/self/fd");
    return 1;
  }
  const int own = dirfd(dir);
  std::vector<int> fds;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    int fd = std::atoi(entry->d_name);
    if (fd != own) fds.push_back(fd);
  }
  closedir(dir);
  std::sort(fds.begin(), fds.end());
  for (int fd : fds) std::printf("%d ", fd);
  return 0;
}
