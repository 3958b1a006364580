#include "ld/LDBlocking.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <numeric>

#include "common_sgt/Console.h"
#include "common_sgt/ErrorReport.h"
#include "common_sgt/FastFormat.h"
#include "common_sgt/Parallel.h"
#include "common_sgt/StatusReport.h"
#include "ld/BlockReport.h"
#include "ld/CrossoverRate.h"
#include "ld/GabrielBlocks.h"
#include "ld/HtsSelection.h"
#include "ld/LDBlockEstimate.h"
#include "ld/ManualBlockList.h"
#include "marlo/GenoData.h"

namespace {

// Largest count first; equal counts keep their order of first appearance.
void sortByCount(LDBlock& block) {
  const size_t h = block.haplotypes.size();
  std::vector<size_t> order(h);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return block.haplotypeCounts[a] > block.haplotypeCounts[b];
  });
  std::vector<std::string> haplotypes(h);
  std::vector<int> counts(h);
  for (size_t k = 0; k < h; ++k) {
    haplotypes[k] = std::move(block.haplotypes[order[k]]);
    counts[k] = block.haplotypeCounts[order[k]];
  }
  block.haplotypes = std::move(haplotypes);
  block.haplotypeCounts = std::move(counts);
}

// Estimation, tag SNPs and haplotype order of one block; false when its
// haplotypes could not be estimated.
bool finishBlock(LDBlock& block, const GenoData& data, const std::string& sampleType, double tagTolerance,
                 SnpListEstimate& estimate) {
  const bool estimated = estimateBlockHaplotypes(data, block, sampleType, estimate);
  selectHTS(block, tagTolerance);
  sortByCount(block);
  return estimated;
}

}  // namespace

bool finishBlocksAndReport(std::vector<LDBlock>& blocks, FILE* hblk, const GenoData& data,
                           const std::string& chromosome, const std::string& sampleType, double tagTolerance,
                           unsigned workers) {
  if (!hblk) {
    NULL_REPORT();
    return false;
  }
  const int count = static_cast<int>(blocks.size());
  BlockReportWriter writer(hblk, data, chromosome, sampleType, count);
  // Each block is finished and its record formatted on a worker, into its
  // own buffers; the records and printed lines are taken in block order.
  struct Record {
    TextBuffer text{1 << 14};
    std::string console;
    bool estimated = true;
  };
  // A record holds a row of copies per haplotype: room for about twenty.
  const size_t window = unevenWindow(workers, (static_cast<size_t>(data.m_numindiv) + 8) * 2 * 24);
  std::vector<Record> slots(window);
  auto compute = [&](int64_t task, unsigned) {
    const int b = static_cast<int>(task);
    Record& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    r.text.clear();
    r.console.clear();
    ConsoleCapture capture(r.console);
    SnpListEstimate estimate;
    r.estimated = finishBlock(blocks[b], data, sampleType, tagTolerance, estimate);
    writer.format(r.text, blocks[b], b + 1, estimate);
  };
  bool estimated = true;
  auto emit = [&](int64_t task) {
    const Record& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    fwrite(r.console.data(), 1, r.console.size(), stdout);
    writer.append(r.text.view());
    if (!r.estimated) estimated = false;
    return true;
  };
  runOrdered(workers, count, window, compute, emit);
  return writer.finish() && estimated;
}

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
    GabrielBlockFinder finder(m_pairs, snpCount, m_settings.gabriel, m_workers);
    finder.computeBounds();
    printFlushed("\nBuilding Blocks...\n");
    const int task = m_tasks.blocking;
    const long long span = 2LL * snpCount - 2;
    std::vector<BlockRange> ranges = finder.candidateBlocks([&](int i) {
      reportValue(task, static_cast<int>((static_cast<long long>(snpCount) + i) * 100 / span));
    });
    finder.removeOverlaps(ranges);
    for (const BlockRange& range : ranges) m_blocks.push_back(GabrielBlockFinder::toBlock(range));
  } catch (const std::bad_alloc&) {
    printFlushed("LD blocking: not enough memory for the confidence bounds of %lld pairs\n",
                 static_cast<long long>(m_pairs.pairCount()));
    m_blocks.clear();
    return -1;
  }
  printFlushed("Writing Blocks...\n");
  const bool written = finishBlocksAndReport(m_blocks, hblk, m_data, chromosome, sampleType, m_settings.tag, m_workers);
  printFlushed("Blocking Complete!\n");
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
      return kListAborted;
    case ManualBlockOutcome::Kind::kBlocks:
      break;
  }
  if (!hblk) {
    NULL_REPORT();
    return -1;
  }
  m_blocks = std::move(outcome.blocks);
  if (!finishBlocksAndReport(m_blocks, hblk, m_data, chromosome, sampleType, m_settings.tag, m_workers)) return -1;
  return static_cast<int>(m_blocks.size());
}

bool LDBlockCalculator::computeCrossover(FILE* rblk, const std::string& chromosome, const std::string& sampleType) {
  return ::computeCrossover(m_blocks, rblk, m_data, chromosome, sampleType, m_tasks.crossover, m_workers);
}
