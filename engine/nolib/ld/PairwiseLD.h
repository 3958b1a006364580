#pragma once
#include <cstdint>
#include <string>

#include "common_sgt/FastFormat.h"
#include "common_sgt/SeedOption.h"
#include "ld/LDBlocking.h"
#include "ld/PairwiseValue.h"
#include "marlo/GenoData.h"

// Options of the PWLD command, filled once by the command line.
struct PairwiseLDOptions {
  bool useAnno = false;     // apply the distance limit
  bool skipByAnno = false;  // end a row at the first partner at or beyond it
  int chrPosThresh = 500000;
  double eps = 1.0;  // threshold of the two-SNP estimation
  int randomInit = 0;  // /RANDOM is accepted as in EM; no PWLD step starts at random
  bool blocking = false;
  int blockingMethod = 1;  // 0 manual list, 2 Gabriel's; the command line refuses method 1
  bool crossOver = false;
  std::string classToAnalyze;  // empty: every sample type
  BlockingSettings blockSettings;
  // /MLE: bi-allelic pairs take the closed-form maximum-likelihood
  // frequencies (TwoLocusMle.h) instead of the EM's.
  bool exactMle = false;
  // Process-wide by rule: the driver copies these into the process settings.
  double fourGameteThreshold = 0.01;
  SeedOption seed;
  unsigned threads = 1;  // workers; 0: every core the process may use
};

enum class PairwiseLDStatus {
  kDone,
  // The command could not do all of its work (an input or output file that
  // cannot be used, a sample type that cannot be loaded, or a blocking step
  // that failed); the reason has been printed.
  kFailed,
  // A malformed manual block list: its message and error status line have
  // been printed and the result files closed as they were; the program must
  // end at once with exit status -1.
  kAborted,
};

// The PWLD command over inputFile: per selected sample type the pairwise LD
// rows of ".pwld" and ".pwlds", then blocks and crossover rates on request.
PairwiseLDStatus runPairwiseLD(GenoData& data, const std::string& inputFile, const PairwiseLDOptions& options);

// One pair's row of ".pwld" and of ".pwlds" (multi-allelic pairs: the
// absolute multi-allelic D' and "-" for the other statistics).
void writePairRows(TextBuffer& pwld, TextBuffer& pwlds, int64_t row, int i, int j, long distance,
                   const PairwiseValue& v);
