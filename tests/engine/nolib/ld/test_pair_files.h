#pragma once
// Genotype files for the LD tests, written to the test's temporary directory
// and loaded like the command loads them; a guard for the seed settings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common_sgt/Settings.h"
#include "marlo/GenoData.h"

namespace pairtest {

struct SeedGuard {
  bool given = g_seedGiven;
  uint32_t value = g_seedValue;
  ~SeedGuard() {
    g_seedGiven = given;
    g_seedValue = value;
  }
};

// Every file named here is removed when the test program ends, so repeated
// runs do not pile up files in the shared temporary directory.
inline std::string tempPath(const std::string& name) {
  static struct Registry {
    std::vector<std::string> paths;
    ~Registry() {
      for (const auto& p : paths) std::remove(p.c_str());
    }
  } registry;
  std::string path = testing::TempDir() + "pairld_" + std::to_string(getpid()) + "_" + name;
  registry.paths.push_back(path);
  return path;
}

inline std::string writeFile(const std::string& name, const std::string& content) {
  const std::string path = tempPath(name);
  FILE* fp = fopen(path.c_str(), "wb");
  EXPECT_NE(fp, nullptr);
  if (fp) {
    fwrite(content.data(), 1, content.size(), fp);
    fclose(fp);
  }
  return path;
}

inline std::string readFile(const std::string& path) {
  std::string text;
  if (FILE* fp = fopen(path.c_str(), "rb")) {
    for (int c; (c = fgetc(fp)) != EOF;) text += static_cast<char>(c);
    fclose(fp);
  }
  return text;
}

// A genotype file: one sample type per column, one row of "x/y" genotypes
// per marker, positions 1000, 2000, ... unless given.
inline std::string genoText(const std::vector<std::string>& types, const std::vector<std::vector<std::string>>& rows,
                            const std::vector<int>& positions = {}) {
  std::string s = "Marker\tChr\tPos\tStrand";
  for (size_t j = 0; j < types.size(); ++j) s += "\ts" + std::to_string(j + 1);
  s += "\nType\t.\t.\t.";
  for (const auto& t : types) s += "\t" + t;
  s += "\n";
  for (size_t k = 0; k < rows.size(); ++k) {
    const int pos = k < positions.size() ? positions[k] : static_cast<int>(1000 * (k + 1));
    s += "rs" + std::to_string(k + 1) + "\t7\t" + std::to_string(pos) + "\t+";
    for (const auto& g : rows[k]) s += "\t" + g;
    s += "\n";
  }
  return s;
}

// Loads the file and one sample type into data (output of the loader
// swallowed).
inline bool load(GenoData& data, const std::string& path, const std::string& type) {
  testing::internal::CaptureStdout();
  bool ok = data.loadHeader(path.c_str()) && data.loadData(path.c_str(), type.c_str());
  testing::internal::GetCapturedStdout();
  return ok;
}

}  // namespace pairtest
