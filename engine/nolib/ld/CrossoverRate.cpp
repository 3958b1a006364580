#include "ld/CrossoverRate.h"

#include "common_sgt/Console.h"
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
  printFlushed("Calculating Crossover Rate(%d Blocks)\n", count);

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
  const size_t window = unevenWindow(workers, 1 << 12);
  std::vector<Record> slots(window);
  auto compute = [&](int64_t task, unsigned) {
    const int b = static_cast<int>(task) + 1;
    Record& rec = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    rec.text.clear();
    rec.console.clear();
    ConsoleCapture capture(rec.console);
    TextBuffer& text = rec.text;
    const LDBlock& a = blocks[b - 1];
    const LDBlock& c = blocks[b];
    const int ha = static_cast<int>(a.haplotypes.size());
    const int hb = static_cast<int>(c.haplotypes.size());
    text.appendText("!Chromosome_No:");
    text.appendText(chromosome);
    text.appendText("\n!Sample_Type:");
    text.appendText(sampleType);
    text.appendText("\n!Block_No:");
    text.appendInt(b);
    text.appendChar(',');
    text.appendInt(b + 1);
    text.appendText("\n!Haplotype_Count:");
    text.appendInt(ha);
    text.appendChar(',');
    text.appendInt(hb);
    text.appendChar('\n');

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
    text.appendText("!Multi_Dprime:");
    text.appendFixed(dprime, 5, 7);
    text.appendText("\nNo\tHaplotype_1\tHaplotype_2\tCrossover_Rate\n");
    for (int i = 0; i < ha; ++i) {
      for (int j = 0; j < hb; ++j) {
        text.appendInt(hb * i + j + 1);
        text.appendChar('\t');
        text.appendText(prefix);
        text.appendInt(b);
        text.appendChar('_');
        text.appendInt(i + 1);
        text.appendChar('\t');
        text.appendText(prefix);
        text.appendInt(b + 1);
        text.appendChar('_');
        text.appendInt(j + 1);
        text.appendChar('\t');
        text.appendFixed(table[static_cast<size_t>(i) * hb + j], 5, 7);
        text.appendChar('\n');
      }
    }
  };
  bool estimated = true;
  auto emit = [&](int64_t task) {
    const int b = static_cast<int>(task) + 1;
    const Record& rec = slots[static_cast<size_t>(task % static_cast<int64_t>(window))];
    reportValue(progressTask, static_cast<int>(static_cast<long long>(b) * 100 / count));
    printFlushed("%d-%d", b, b + 1);
    fwrite(rec.console.data(), 1, rec.console.size(), stdout);
    out.appendText(rec.text.view());
    if (!rec.estimated) estimated = false;
    return true;
  };
  runOrdered(workers, count > 1 ? count - 1 : 0, window, compute, emit);
  printFlushed("\n");
  if (!out.close()) {
    printFlushed("LD blocking: writing the crossover file failed\n");
    return false;
  }
  return estimated;
}
