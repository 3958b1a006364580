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

// LD blocks of one sample type, built after its pair loop: Gabriel's method
// or a manual list, the block report and the crossover rates between
// neighbouring blocks. A malformed manual list ends the process with exit
// status -1 after its message, as the engine does for fatal list errors.
class LDBlockCalculator {
 public:
  // settings must outlive the calculator. The block report and the
  // crossover rates run on `workers` threads.
  LDBlockCalculator(const GenoData& data, const PairStore& pairs, const BlockingSettings& settings,
                    BlockingTasks tasks, unsigned workers = 1);
  virtual ~LDBlockCalculator();

  // Each returns the number of blocks, or -1 when the step could not do its
  // work (the command then reports its error status).
  int buildGabrielBlocks(FILE* hblk, const std::string& chromosome, const std::string& sampleType);
  int buildManualBlocks(FILE* hblk, const std::string& chromosome, const std::string& sampleType);
  // Writes the crossover rates of the blocks built above; false on failure.
  bool computeCrossover(FILE* rblk, const std::string& chromosome, const std::string& sampleType);

  // The blocks of the last build, as written.
  const std::vector<LDBlock>& blocks() const { return m_blocks; }

 private:
  const GenoData& m_data;
  const PairStore& m_pairs;
  const BlockingSettings& m_settings;
  BlockingTasks m_tasks;
  unsigned m_workers;
  std::vector<LDBlock> m_blocks;
};
