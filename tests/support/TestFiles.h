#pragma once
// Scratch folders and whole-file reads and writes shared by the tests.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

// A fresh folder under /tmp, removed with everything in it (read-only
// files included) when the test ends.
class ScratchDir {
 public:
  explicit ScratchDir(const char* prefix = "marlo_test") {
    std::string pattern = std::string("/tmp/") + prefix + "_XXXXXX";
    char* p = mkdtemp(pattern.data());
    m_path = p ? p : "/tmp";
  }
  ~ScratchDir() {
    if (m_path == "/tmp") return;
    std::string cmd = "chmod -R u+rwx '" + m_path + "' 2>/dev/null; rm -rf '" + m_path + "'";
    if (system(cmd.c_str()) != 0) {
      // Nothing more can be done about a folder that will not go.
    }
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(const std::string& name) const { return m_path + "/" + name; }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace testsupport
