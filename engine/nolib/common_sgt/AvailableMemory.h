#pragma once
#include <string>

// Memory this process can still take before it is refused or killed: the
// smallest of the kernel's MemAvailable, the room left under the memory limit
// of every control group it belongs to (cgroup v2 memory.max minus
// memory.current, cgroup v1 memory.limit_in_bytes minus memory.usage_in_bytes,
// each level up to the root), and the room left under RLIMIT_AS. A batch job
// under a memory limit then gets a clear refusal instead of being killed
// halfway. -1 when none of them is known.
long long availableMemoryBytes();

// The pieces, with their files as arguments so that tests can feed them.
// MemAvailable of a meminfo file, in bytes; -1 when absent.
long long memAvailableBytes(const char* meminfoPath);
// Smallest room left under the memory limits of the control groups listed
// in a /proc/<pid>/cgroup file, with the cgroup file systems mounted at
// cgroupRoot; -1 when no limit is set or none can be read.
long long cgroupRoomBytes(const char* procCgroupPath, const std::string& cgroupRoot);
// Room left under RLIMIT_AS given the process's current VmSize; -1 without
// a limit.
long long addressSpaceRoomBytes(const char* procStatusPath);
