#pragma once
// Shared by the harnesses: a private scratch folder to work in, the input
// written to a file there, and the programs' console output silenced (it
// would only slow the fuzzer down; libFuzzer reports on standard error).
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz {

// Creates the scratch folder once and works inside it, so that every result
// a harness writes stays there.
inline void enterScratch() {
  static bool done = false;
  if (done) return;
  done = true;
  char dir[] = "/tmp/marlo-fuzz-XXXXXX";
  if (!mkdtemp(dir) || chdir(dir) != 0) abort();
  int null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, 1);
}

inline void writeFile(const char* name, const uint8_t* data, size_t size) {
  FILE* fp = fopen(name, "wb");
  if (!fp) abort();
  if (size) fwrite(data, 1, size, fp);
  fclose(fp);
}

inline void writeText(const char* name, const std::string& text) {
  writeFile(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Removes what a run left so that runs do not depend on each other.
inline void clearScratch() {
  DIR* dir = opendir(".");
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) unlink(e->d_name);
  }
  closedir(dir);
}

// Command-line arguments: one per line of the input. Programs that write
// beside the files their arguments name get no argument with a "/" (parseOnly
// false), so that nothing is written outside the scratch folder.
inline bool argumentsOf(const uint8_t* data, size_t size, const char* program, bool parseOnly,
                        std::vector<std::string>& args) {
  args.assign(1, program);
  std::string cur;
  for (size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\0' || (c == '/' && !parseOnly)) return false;
    if (c == '\n') {
      args.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) args.push_back(cur);
  return args.size() <= 16;
}

struct Argv {
  explicit Argv(std::vector<std::string>& args) {
    for (std::string& a : args) pointers.push_back(a.data());
    pointers.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(pointers.size()) - 1; }
  char** argv() { return pointers.data(); }
  std::vector<char*> pointers;
};

}  // namespace fuzz
