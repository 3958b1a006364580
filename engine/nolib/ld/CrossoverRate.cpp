#include "ld/CrossoverRate.h"

#include "common_sgt/ErrorReport.h"
#include "common_sgt/FastFormat.h"
#include "common_sgt/Parallel.h"
#include "common_sgt/StatusReport.h"
#include "ld/LDBlockEstimate.h"
#include "ld/PairwiseValue.h"

bool computeCrossover(const std::vector<LDBlock>& blocks, FILE* rblk, const GenoData& data,
                      const std::string& chromosome, const std::string& sampleType, int progressTask,
                      unsigned workers) {
  if (!rblk) {
    NULL_REPORT();
    return false;
  }
  const int count = static_cast<int>(blocks.size());
  printf("Calculating Crossover Rate(%d Blocks)\n", count);
  fflush(stdout);

  TextBuffer out;
  out.attach(rblk);
  const std::string prefix = chromosome + "_" + sampleType + "_";
  // The joint estimate of each neighbouring pair of blocks runs on a worker
  // into its own text; the writer passes them on in order.
  struct Record {
    TextBuffer text{1 << 12};
    std::string console;
    bool estimated = true;
  };
  const size_t window = orderedWindow(workers, 0);
  std::vector<Record> slots(window);
  bool estimated = true;
  auto compute = [&](int64_t task, unsigned) {
    const int b = static_cast<int>(task) + 1;
    Record& rec = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    rec.text.clear();
    rec.console.clear();
    ConsoleCapture capture(rec.console);
    TextBuffer& out = rec.text;
    const LDBlock& a = blocks[b - 1];
    const LDBlock& c = blocks[b];
    const int ha = static_cast<int>(a.haplotypes.size());
    const int hb = static_cast<int>(c.haplotypes.size());
    out.appendText("!Chromosome_No:");
    out.appendText(chromosome);
    out.appendText("\n!Sample_Type:");
    out.appendText(sampleType);
    out.appendText("\n!Block_No:");
    out.appendInt(b);
    out.appendChar(',');
    out.appendInt(b + 1);
    out.appendText("\n!Haplotype_Count:");
    out.appendInt(ha);
    out.appendChar(',');
    out.appendInt(hb);
    out.appendChar('\n');

    std::vector<int> joined(a.snps);
    joined.insert(joined.end(), c.snps.begin(), c.snps.end());
    SnpListEstimate estimate;
    rec.estimated = estimate.run(data, joined, sampleType);

    std::vector<double> table(static_cast<size_t>(ha) * hb, 0.0);
    double sum = 0.0;
    for (int i = 0; i < ha; ++i) {
      for (int j = 0; j < hb; ++j) {
        const double x = estimate.expectedCount(a.haplotypes[i] + c.haplotypes[j]);
        table[static_cast<size_t>(i) * hb + j] = x;
        sum += x;
      }
    }
    double dprime = 0.0;
    if (sum != 0.0) {
      for (double& x : table) x = x / sum;
      dprime = multiAllelicDprime(table, ha, hb);
    } else {
      // Nothing was estimated: report rates of 0, never 0 / 0.
      for (double& x : table) x = 0.0;
    }
    out.appendText("!Multi_Dprime:");
    out.appendFixed(dprime, 5, 7);
    out.appendText("\nNo\tHaplotype_1\tHaplotype_2\tCrossover_Rate\n");
    for (int i = 0; i < ha; ++i) {
      for (int j = 0; j < hb; ++j) {
        out.appendInt(hb * i + j + 1);
        out.appendChar('\t');
        out.appendText(prefix);
        out.appendInt(b);
        out.appendChar('_');
        out.appendInt(i + 1);
        out.appendChar('\t');
        out.appendText(prefix);
        out.appendInt(b + 1);
        out.appendChar('_');
        out.appendInt(j + 1);
        out.appendChar('\t');
        out.appendFixed(table[static_cast<size_t>(i) * hb + j], 5, 7);
        out.appendChar('\n');
      }
    }
  };
  auto emit = [&](int64_t task) {
    const int b = static_cast<int>(task) + 1;
    const Record& rec = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    reportValue(progressTask, static_cast<int>(static_cast<long long>(b) * 100 / count));
    printf("%d-%d", b, b + 1);
    fflush(stdout);
    fwrite(rec.console.data(), 1, rec.console.size(), stdout);
    out.appendText(rec.text.view());
    if (!rec.estimated) estimated = false;
    return true;
  };
  runOrdered(workers, count > 1 ? count - 1 : 0, window, compute, emit);
  printf("\n");
  fflush(stdout);
  if (!out.close()) {
    printf("LD blocking: writing the crossover file failed\n");
    fflush(stdout);
    return false;
  }
  return estimated;
}
