#pragma once
#include <string>

// The most probable haplotype pair of a phenotype, as every result writer
// reads it from an estimator.
struct HaplotypePair {
  std::string haplotype1;
  std::string haplotype2;
  double probability = 0.0;
};
