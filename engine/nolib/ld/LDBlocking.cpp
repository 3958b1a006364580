#include "ld/LDBlocking.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/StatusReport.h"
#include "ld/BlockReport.h"
#include "ld/CrossoverRate.h"
#include "ld/GabrielBlocks.h"
#include "ld/ManualBlockList.h"
#include "marlo/GenoData.h"

LDBlockCalculator::LDBlockCalculator(const GenoData& data, const PairStore& pairs, const BlockingSettings& settings,
                                     BlockingTasks tasks, unsigned workers)
    : m_data(data), m_pairs(pairs), m_settings(settings), m_tasks(tasks), m_workers(workers) {}

LDBlockCalculator::~LDBlockCalculator() = default;

int LDBlockCalculator::buildGabrielBlocks(FILE* hblk, const std::string& chromosome, const std::string& sampleType) {
  m_blocks.clear();
  if (!hblk) {
    NULL_REPORT();
    return -1;
  }
  const int snpCount = m_data.m_nummarker;
  printf(m_settings.bootstrap == 0 ? "Bootstrapping(Estimation)...[COUNT:%d]\n" : "Bootstrapping...[COUNT:%d]\n",
         snpCount - 1);
  try {
    // The bounds are released before the blocks are estimated.
    GabrielBlockFinder finder(m_pairs, snpCount, m_settings.gabriel);
    finder.computeBounds();
    printf("\nBuilding Blocks...\n");
    fflush(stdout);
    const int task = m_tasks.blocking;
    const long long span = 2LL * snpCount - 2;
    std::vector<BlockRange> ranges = finder.candidateBlocks([&](int i) {
      reportValue(task, static_cast<int>((static_cast<long long>(snpCount) + i) * 100 / span));
    });
    finder.removeOverlaps(ranges);
    for (const BlockRange& range : ranges) m_blocks.push_back(GabrielBlockFinder::toBlock(range));
  } catch (const std::bad_alloc&) {
    printf("LD blocking: not enough memory for the confidence bounds of %lld pairs\n",
           static_cast<long long>(m_pairs.pairCount()));
    fflush(stdout);
    m_blocks.clear();
    return -1;
  }
  printf("Writing Blocks...\n");
  fflush(stdout);
  const bool written = writeBlocks(m_blocks, hblk, m_data, chromosome, sampleType, m_settings.tag, m_workers);
  printf("Blocking Complete!\n");
  fflush(stdout);
  return written ? static_cast<int>(m_blocks.size()) : -1;
}

int LDBlockCalculator::buildManualBlocks(FILE* hblk, const std::string& chromosome, const std::string& sampleType) {
  m_blocks.clear();
  ManualBlockOutcome outcome = readManualBlocks(m_settings.manualList, m_data.m_nummarker, sampleType);
  switch (outcome.kind) {
    case ManualBlockOutcome::Kind::kEmpty:
    case ManualBlockOutcome::Kind::kOneSnpRange:
      fflush(stdout);
      return 0;
    case ManualBlockOutcome::Kind::kAbort:
      // A malformed list ends the command; what was written so far stays.
      fflush(stdout);
      reportError(outcome.errorText.c_str());
      exit(-1);
    case ManualBlockOutcome::Kind::kBlocks:
      break;
  }
  if (!hblk) {
    NULL_REPORT();
    return -1;
  }
  m_blocks = std::move(outcome.blocks);
  if (!writeBlocks(m_blocks, hblk, m_data, chromosome, sampleType, m_settings.tag, m_workers)) return -1;
  return static_cast<int>(m_blocks.size());
}

bool LDBlockCalculator::computeCrossover(FILE* rblk, const std::string& chromosome, const std::string& sampleType) {
  return ::computeCrossover(m_blocks, rblk, m_data, chromosome, sampleType, m_tasks.crossover, m_workers);
}
