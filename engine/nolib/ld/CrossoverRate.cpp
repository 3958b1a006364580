#include "ld/CrossoverRate.h"

#include "common_sgt/Console.h"
#include "common_sgt/ErrorReport.h"
#include "common_sgt/FastFormat.h"
#include "common_sgt/StatusReport.h"
#include "ld/LDBlockEstimate.h"
#include "ld/PairwiseValue.h"

bool computeCrossover(const std::vector<LDBlock>& blocks, FILE* rblk, const GenoData& data,
                      const std::string& chromosome, const std::string& sampleType, int progressTask) {
  if (!rblk) {
    NULL_REPORT();
    return false;
  }
  const int count = static_cast<int>(blocks.size());
  printFlushed("Calculating Crossover Rate(%d Blocks)\n", count);

  TextBuffer out;
  out.attach(rblk);
  const std::string prefix = chromosome + "_" + sampleType + "_";
  bool estimated = true;
  for (int b = 1; b < count; ++b) {
    const LDBlock& a = blocks[b - 1];
    const LDBlock& c = blocks[b];
    reportValue(progressTask, static_cast<int>(static_cast<long long>(b) * 100 / count));
    printFlushed("%d-%d", b, b + 1);

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
    if (!estimate.run(data, joined, sampleType)) estimated = false;

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
  }
  printFlushed("\n");
  if (!out.close()) {
    printFlushed("LD blocking: writing the crossover file failed\n");
    return false;
  }
  return estimated;
}
