#pragma once
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common_sgt/ProgressSgt.h"
#include "common_sgt/SafeFiles.h"
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
  // False when the input or the position file cannot be opened, a read or a
  // write fails, or the file has no header or no SNP lines. The position file
  // is complete and on disk before the first byte of the input changes, so
  // after any failure it lists every offset that may have changed (and the
  // input is untouched when the run fails before rewriting it).
  bool impute(const char* inputFile, int mode);
  // Writes N/N back at every offset listed in the position file of
  // inputFile. Every offset is checked first (a genotype of three characters
  // between tabs or line ends); nothing is written when one is not.
  bool restore(const char* inputFile);

  static const char* modeName(int mode);

 private:
  // A line to rewrite: the genotype for its N/N and where their offsets are
  // in m_offsets.
  struct Patch {
    size_t firstOffset;
    size_t count;
    char genotype[3];
  };

  bool imputeLines(int mode);
  bool recordLine(long long lineStart, const std::string& candidate);
  bool applyPatches();

  std::string m_inputName;
  std::string m_posName;
  FILE* m_fp = nullptr;   // the input, opened for reading and updating in place
  FILE* m_pos = nullptr;  // the position file, under its temporary name
  ResultFile m_posFile;
  std::vector<long long> m_offsets;  // every N/N to replace, in file order
  std::vector<Patch> m_patches;
  GenotypeCounter m_counter;
  GenotypeTable m_genotypes{kImputeTableSize};
  AlleleTable m_alleles{kImputeTableSize};
  ImputeCandidates m_candidates;
  std::vector<size_t> m_missingColumns;  // offsets of N/N within the current line
  std::string m_patch;
  ProgressSgt m_progress;
};
