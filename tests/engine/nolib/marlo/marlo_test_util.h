#pragma once
// Small helpers shared by the tests of this folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "marlo/Phenotype.h"

namespace marlotest {

// Phenotypes from (genotype text, count); members numbered 0, 1, ... in order.
inline std::vector<Phenotype> makePhenotypes(const std::vector<std::pair<std::string, int>>& entries) {
  std::vector<Phenotype> ph(entries.size());
  int next = 0;
  for (size_t p = 0; p < entries.size(); ++p) {
    ph[p].setGenotype(entries[p].first, entries[p].second);
    for (int m = 0; m < entries[p].second; ++m, ++next) {
      ph[p].memberIndex[m] = next;
      ph[p].memberId[m] = "i" + std::to_string(next);
    }
  }
  return ph;
}

// Individuals given as haplotype pairs, grouped by genotype in order of first
// appearance.
inline std::vector<Phenotype> fromPairs(const std::vector<std::pair<std::string, std::string>>& individuals) {
  std::vector<std::pair<std::string, int>> entries;
  for (const auto& [a, b] : individuals) {
    std::string g;
    for (size_t m = 0; m < a.size(); ++m) {
      g += std::min(a[m], b[m]);
      g += std::max(a[m], b[m]);
    }
    auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == g; });
    if (it == entries.end())
      entries.emplace_back(g, 1);
    else
      ++it->second;
  }
  return makePhenotypes(entries);
}

inline int totalCount(const std::vector<Phenotype>& ph) {
  int n = 0;
  for (const auto& p : ph) n += p.count;
  return n;
}

// Sets a process-wide setting for the life of the object.
template <typename T>
class Scoped {
 public:
  Scoped(T& target, T value) : m_target(target), m_saved(target) { target = value; }
  ~Scoped() { m_target = m_saved; }

 private:
  T& m_target;
  T m_saved;
};

// Runs f with standard output captured: {f(), the output}.
template <typename F>
std::pair<bool, std::string> captureStdout(F f) {
  testing::internal::CaptureStdout();
  const bool result = f();
  return {result, testing::internal::GetCapturedStdout()};
}

inline std::string tempPath(const std::string& name) {
  return testing::TempDir() + "marlo_" + std::to_string(getpid()) + "_" + name;
}

inline std::string writeFile(const std::string& name, const std::string& content) {
  const std::string path = tempPath(name);
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

inline std::string readFile(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

}  // namespace marlotest
