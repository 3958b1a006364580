#include "common_sgt/AvailableMemory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "common_sgt/LineReader.h"

namespace {

// A value this large means "no limit" (cgroup v1 prints the largest page
// multiple below 2^63).
constexpr long long kNoLimit = 1LL << 60;

// The first line of a small file as a whole number; -1 for "max", a missing
// file or text that is not a number.
long long readNumberFile(const std::string& path) {
  LineReader in;
  if (!in.open(path.c_str())) return -1;
  std::string_view line;
  if (!in.next(line) || line.empty()) return -1;
  long long v = 0;
  for (char c : line) {
    if (c < '0' || c > '9') return -1;
    if (v > (kNoLimit - 9) / 10) return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

long long kiloBytesAfter(std::string_view line, size_t from) {
  long long kb = 0;
  bool any = false;
  for (char c : line.substr(from)) {
    if (c >= '0' && c <= '9') {
      kb = kb * 10 + (c - '0');
      any = true;
    }
  }
  return any ? kb * 1024 : -1;
}

void keepSmaller(long long& best, long long v) {
  if (v >= 0 && (best < 0 || v < best)) best = v;
}

// Room under the limits of one group folder and of every folder above it.
long long roomUpward(const std::string& root, std::string path, const char* limitName, const char* usageName) {
  long long best = -1;
  for (;;) {
    std::string dir = root + path;
    long long limit = readNumberFile(dir + "/" + limitName);
    if (limit >= 0 && limit < kNoLimit) {
      long long used = readNumberFile(dir + "/" + usageName);
      keepSmaller(best, used >= 0 && used < limit ? limit - used : 0);
    }
    if (path.empty() || path == "/") break;
    size_t slash = path.rfind('/');
    path = slash == std::string::npos ? std::string() : path.substr(0, slash);
  }
  return best;
}

}  // namespace

long long memAvailableBytes(const char* meminfoPath) {
  LineReader in;
  if (!in.open(meminfoPath)) return -1;
  std::string_view line;
  while (in.next(line)) {
    if (line.substr(0, 13) == "MemAvailable:") return kiloBytesAfter(line, 13);
  }
  return -1;
}

long long cgroupRoomBytes(const char* procCgroupPath, const std::string& cgroupRoot) {
  LineReader in;
  if (!in.open(procCgroupPath)) return -1;
  long long best = -1;
  std::string_view line;
  while (in.next(line)) {
    // hierarchy-ID:controller-list:path
    size_t c1 = line.find(':');
    if (c1 == std::string_view::npos) continue;
    size_t c2 = line.find(':', c1 + 1);
    if (c2 == std::string_view::npos) continue;
    std::string_view controllers = line.substr(c1 + 1, c2 - c1 - 1);
    std::string path(line.substr(c2 + 1));
    if (line.substr(0, c1) == "0" && controllers.empty()) {
      keepSmaller(best, roomUpward(cgroupRoot, path, "memory.max", "memory.current"));
      continue;
    }
    bool memory = false;
    size_t from = 0;
    while (from <= controllers.size()) {
      size_t comma = controllers.find(',', from);
      if (comma == std::string_view::npos) comma = controllers.size();
      if (controllers.substr(from, comma - from) == "memory") memory = true;
      from = comma + 1;
    }
    if (memory)
      keepSmaller(best, roomUpward(cgroupRoot + "/memory", path, "memory.limit_in_bytes", "memory.usage_in_bytes"));
  }
  return best;
}

long long addressSpaceRoomBytes(const char* procStatusPath) {
  struct rlimit rl {};
  if (getrlimit(RLIMIT_AS, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return -1;
  const long long limit = rl.rlim_cur > static_cast<rlim_t>(kNoLimit) ? kNoLimit : static_cast<long long>(rl.rlim_cur);
  long long used = 0;
  LineReader in;
  if (in.open(procStatusPath)) {
    std::string_view line;
    while (in.next(line)) {
      if (line.substr(0, 7) == "VmSize:") {
        used = kiloBytesAfter(line, 7);
        break;
      }
    }
  }
  return used >= 0 && used < limit ? limit - used : 0;
}

long long availableMemoryBytes() {
  long long best = memAvailableBytes("/proc/meminfo");
  if (best < 0) {
    long pages = sysconf(_SC_AVPHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) best = static_cast<long long>(pages) * pageSize;
  }
  keepSmaller(best, cgroupRoomBytes("/proc/self/cgroup", "/sys/fs/cgroup"));
  keepSmaller(best, addressSpaceRoomBytes("/proc/self/status"));
  return best;
}
