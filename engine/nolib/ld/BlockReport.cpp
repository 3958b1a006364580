#include "ld/BlockReport.h"

#include <algorithm>
#include <numeric>
#include <string>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/FastFormat.h"
#include "common_sgt/Parallel.h"
#include "common_sgt/StatusReport.h"
#include "ld/HtsSelection.h"
#include "ld/LDBlockEstimate.h"
#include "ld/SubPhenotypes.h"

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

void writeRecord(TextBuffer& out, const LDBlock& block, int number, const SnpListEstimate& estimate,
                 const GenoData& data, const std::string& chromosome, const std::string& sampleType) {
  const int n = data.m_numindiv;
  const int m = block.size();
  const int h = static_cast<int>(block.haplotypes.size());

  out.appendText("!Block_No:");
  out.appendInt(number);
  out.appendText("\n!Total_SNP_Count:");
  out.appendInt(m);
  out.appendText("\n!Tag_SNP_Count:");
  out.appendInt(block.tagSnpCount);
  out.appendText("\n!Haplotype_Count:");
  out.appendInt(h);
  out.appendText("\nSNP_List\t");
  for (int snp : block.snps) {
    out.appendInt(snp + 1);
    out.appendChar('\t');
  }
  out.appendText("\nSNP_ID\t");
  for (int snp : block.snps) {
    out.appendText(data.markerIds[snp]);
    out.appendChar('\t');
  }
  out.appendText("\nTag_SNP\t");
  {
    std::vector<char> tag(static_cast<size_t>(m), 0);
    for (int p : block.tagSnps)
      if (p >= 0 && p < m) tag[p] = 1;
    for (int p = 0; p < m; ++p) out.appendText(tag[p] ? "Y\t" : "N\t");
  }
  out.appendText("Sample_Type\t");
  for (int i = 0; i < n; ++i) {
    if (i > 0) out.appendChar('\t');
    out.appendText(data.sampleTypes[data.selectedColumns[i]]);
  }
  out.appendText("\nAllele\t");
  for (int snp : block.snps) {
    const SnpAlleleTable alleles = buildAlleleTable(data, snp);
    out.appendChar(alleles.first());
    out.appendChar('/');
    out.appendChar(alleles.second());
    out.appendChar('\t');
  }
  out.appendText("Frequency\t");
  for (int i = 0; i < n; ++i) {
    if (i > 0) out.appendChar('\t');
    out.appendText(data.sampleIds[data.selectedColumns[i]]);
  }
  out.appendChar('\n');

  const std::string blockName = chromosome + "_" + sampleType + "_" + std::to_string(number) + "_";
  std::vector<int> phenotypeOf(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) phenotypeOf[i] = estimate.phenotypeOf(i);
  for (int k = 0; k < h; ++k) {
    const std::string& haplotype = block.haplotypes[k];
    out.appendText(blockName);
    out.appendInt(k + 1);
    out.appendChar('\t');
    for (int p = 0; p < m; ++p) {
      out.appendChar(p < static_cast<int>(haplotype.size()) ? haplotype[p] : ' ');
      out.appendChar('\t');
    }
    out.appendFixed(static_cast<double>(block.haplotypeCounts[k]) / block.chromosomeTotal, 5, 7);
    out.appendChar('\t');
    for (int i = 0; i < n; ++i) {
      const int p = phenotypeOf[i];
      char cell = 'N';
      if (p >= 0) {
        const HaplotypePair& best = estimate.bestPair(p);
        cell = static_cast<char>('0' + (best.haplotype1 == haplotype) + (best.haplotype2 == haplotype));
      }
      out.appendChar(cell);
      out.appendChar(i + 1 < n ? '\t' : '\n');
    }
  }
  out.appendText("Location\t");
  for (int snp : block.snps) {
    out.appendLong(data.positions[snp]);
    out.appendChar('\t');
  }
  out.appendText("Accuracy\t");
  for (int i = 0; i < n; ++i) {
    const int p = phenotypeOf[i];
    // An individual with a missing genotype in the block has no pair.
    out.appendFixed(p >= 0 ? estimate.bestPair(p).probability : 0.0, 5, 7);
    out.appendChar(i + 1 < n ? '\t' : '\n');
  }
}

}  // namespace

bool writeBlocks(std::vector<LDBlock>& blocks, FILE* hblk, const GenoData& data, const std::string& chromosome,
                 const std::string& sampleType, double tagTolerance, unsigned workers) {
  if (!hblk) {
    NULL_REPORT();
    return false;
  }
  const int count = static_cast<int>(blocks.size());
  printf("LD Blocking Result for Sample type %s :%d Blocks Found\n", sampleType.c_str(), count);
  fflush(stdout);
  reportResult("LD Blocking Result for Sample type %s :%d Blocks Found\n", sampleType.c_str(), count);

  TextBuffer out;
  out.attach(hblk);
  // Each block is estimated, tagged and formatted on a worker into its own
  // record and console text; the writer passes them on in block order.
  struct Record {
    TextBuffer text{1 << 14};
    std::string console;
    bool estimated = true;
  };
  // A record holds a row of copies per haplotype: room for about twenty.
  const size_t window = orderedWindow(workers, (static_cast<size_t>(data.m_numindiv) + 8) * 2 * 24);
  std::vector<Record> slots(window);
  bool estimated = true;
  auto compute = [&](int64_t task, unsigned) {
    const int b = static_cast<int>(task);
    Record& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    r.text.clear();
    r.console.clear();
    ConsoleCapture capture(r.console);
    LDBlock& block = blocks[b];
    SnpListEstimate estimate;
    r.estimated = estimateBlockHaplotypes(data, block, sampleType, estimate);
    selectHTS(block, tagTolerance);
    sortByCount(block);

    r.text.appendText("!Chromosome_No:");
    r.text.appendText(chromosome);
    r.text.appendText("\n!Sample_Type:");
    r.text.appendText(sampleType);
    r.text.appendText("\n!Sample_Count:");
    r.text.appendInt(data.m_numindiv);
    r.text.appendChar('\n');

    consolePrintf("Block %d [", b + 1);
    for (int p = 0; p < block.size(); ++p) consolePrintf(p > 0 ? ",%d\t" : "%d\t", block.snps[p] + 1);
    consolePrintf("]\n");
    writeRecord(r.text, block, b + 1, estimate, data, chromosome, sampleType);
  };
  auto emit = [&](int64_t task) {
    const Record& r = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    fwrite(r.console.data(), 1, r.console.size(), stdout);
    out.appendText(r.text.view());
    if (!r.estimated) estimated = false;
    return true;
  };
  runOrdered(workers, count, window, compute, emit);
  printf("out of loop\n");
  fflush(stdout);
  if (!out.close()) {
    printf("LD blocking: writing the block file failed\n");
    fflush(stdout);
    return false;
  }
  return estimated;
}
