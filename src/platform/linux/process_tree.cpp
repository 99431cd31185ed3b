#include "platform/linux/process_tree.h"

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace kip {

namespace {

// Process chains deeper than this are not followed.
constexpr int kMaxAncestry = 64;

int parentOf(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return 0;
  // The name in parentheses may hold blanks and parentheses itself; the state and the parent follow it.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return 0;
  int parent = 0;
  char state = 0;
  if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) != 2) return 0;
  return parent;
}

}  // namespace

bool isSameOrDescendant(int pid, int ancestor) {
  if (pid <= 0 || ancestor <= 0) return false;
  for (int step = 0; step < kMaxAncestry && pid > 1; ++step) {
    if (pid == ancestor) return true;
    pid = parentOf(pid);
  }
  return pid == ancestor;
}

std::vector<int> processAndDescendants(int pid) {
  std::vector<int> pids{pid};
  DIR* proc = opendir("/proc");
  if (!proc) return pids;
  while (const dirent* entry = readdir(proc)) {
    const int other = std::atoi(entry->d_name);
    if (other > 0 && other != pid && isSameOrDescendant(other, pid)) pids.push_back(other);
  }
  closedir(proc);
  return pids;
}

}  // namespace kip
