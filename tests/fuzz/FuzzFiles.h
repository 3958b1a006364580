#pragma once
// Small valid inputs for the command-line harnesses, copied from the
// robustness seeds into the scratch folder before every run (a run may
// overwrite one with a result of its own).
#include <fstream>
#include <sstream>
#include <string>

#include "FuzzSupport.h"

namespace fuzz {

inline std::string readSeed(const char* name) {
  std::ifstream in(std::string(MARLO_FUZZ_SEEDS) + "/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  if (s.str().empty()) abort();
  return s.str();
}

inline void writeSmallFiles() {
  static const std::string geno = readSeed("small.geno");
  static const std::string hblk = readSeed("small.hblk");
  static const std::string crss = readSeed("small.crss");
  clearScratch();
  writeText("a.geno", geno);
  writeText("b.hblk", hblk);
  writeText("c.crss", crss);
}

}  // namespace fuzz
