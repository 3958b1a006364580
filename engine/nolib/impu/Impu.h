#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "common_sgt/ProgressSgt.h"
#include "impu/ImputeChoice.h"

// The imputation object of PREIMPU: replaces every missing genotype N/N of a
// genotype file in place by one genotype chosen per SNP line, and lists the
// byte offset of every replaced genotype in the position file (input name
// followed by ".pos").
class Impu {
 public:
  enum Mode { MAJOR_HOMO = 0, MINOR_HOMO = 1, MAJOR_HETERO = 2 };

  Impu();
  virtual ~Impu();
  Impu(const Impu&) = delete;
  Impu& operator=(const Impu&) = delete;

  ProgressSgt& progress() { return m_progress; }
  // False when the input or the position file cannot be opened, a write
  // fails, or the file has no header lines; the input is left untouched when
  // the run fails before its first write.
  bool impute(const char* inputFile, int mode);

  static const char* modeName(int mode);

 private:
  bool imputeLines(int mode);
  bool replaceLine(std::string_view line, long long lineStart, const std::string& candidate);

  std::string m_inputName;
  std::string m_posName;
  FILE* m_fp = nullptr;   // the input, opened for reading and updating in place
  FILE* m_pos = nullptr;  // the position file
  GenotypeCounter m_counter;
  GenotypeTable m_genotypes{kImputeTableSize};
  AlleleTable m_alleles{kImputeTableSize};
  ImputeCandidates m_candidates;
  std::vector<size_t> m_missingColumns;  // offsets of N/N within the current line
  std::string m_patch;
  ProgressSgt m_progress;
};
