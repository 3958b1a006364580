#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "ld/GabrielBlocks.h"
#include "ld/LDBlock.h"
#include "ld/PairStore.h"

class GenoData;

// Parameters of LD blocking, part of the PWLD options.
struct BlockingSettings {
  double tag = 0.0;  // entropy reduction tolerance of tag SNP selection
  GabrielThresholds gabriel;  // /UTH, /LTH, /THF, /E
  int bootstrap = 100;
  std::string manualList;  // the /LDBLKM list, e.g. "1-2,6-7"
};

// Indices of the blocking and crossover steps in the command's task list.
struct BlockingTasks {
  int blocking = 2;
  int crossover = 3;
};

// Finishes the blocks of one sample type and writes their report (.ld.hblk),
// one block at a time so that a single haplotype estimate is held: each
// block's haplotypes are estimated, its tag SNPs chosen with the entropy
// tolerance and its haplotypes ordered by count (largest first, equal counts
// in order of first appearance), then its record is written. The crossover
// rates name haplotypes by this order. False when the file is missing (no
// output at all), a write to it fails, or the haplotypes of some block could
// not be estimated (that block is written without haplotypes, the others as
// usual). Blocks are finished and formatted on `workers` threads; file and
// console are the same for any number of them.
bool finishBlocksAndReport(std::vector<LDBlock>& blocks, FILE* hblk, const GenoData& data,
                           const std::string& chromosome, const std::string& sampleType, double tagTolerance,
                           unsigned workers = 1);

// LD blocks of one sample type, built after its pair loop: Gabriel's method
// or a manual list, the block report and the crossover rates between
// neighbouring blocks.
class LDBlockCalculator {
 public:
  // What buildManualBlocks returns for a malformed list, after printing its
  // message and reporting the error: the command must end at once, with
  // exit status -1, leaving what was written so far.
  static constexpr int kListAborted = -2;

  // settings must outlive the calculator. The block report and the
  // crossover rates run on `workers` threads.
  LDBlockCalculator(const GenoData& data, const PairStore& pairs, const BlockingSettings& settings,
                    BlockingTasks tasks, unsigned workers = 1);
  virtual ~LDBlockCalculator();

  // Each returns the number of blocks, or -1 when the step could not do its
  // work (the command then reports its error status), or kListAborted.
  int buildGabrielBlocks(FILE* hblk, const std::string& chromosome, const std::string& sampleType);
  int buildManualBlocks(FILE* hblk, const std::string& chromosome, const std::string& sampleType);
  // Writes the crossover rates of the blocks built above; false on failure.
  bool computeCrossover(FILE* rblk, const std::string& chromosome, const std::string& sampleType);

  // The blocks of the last build, finished and ordered as written.
  const std::vector<LDBlock>& blocks() const { return m_blocks; }

 private:
  const GenoData& m_data;
  const PairStore& m_pairs;
  const BlockingSettings& m_settings;
  BlockingTasks m_tasks;
  unsigned m_workers;
  std::vector<LDBlock> m_blocks;
};
