// Where the time of the pairwise LD pass goes, per sample type:
//   pair_phases GENO [LIMIT] [SEED] [MLE]
// LIMIT > 0 applies the distance limit with skipping (as /ANNO<LIMIT>
// /SKIPANNO), 0 takes every pair; MLE 1 estimates as /MLE does. Each sample type is loaded as the PWLD
// command loads it (one type only when the file has one). Times are CPU
// seconds of this process; the pairs are taken in chunks, each chunk timed
// once per phase:
//   count  genotype classes and sub-phenotypes (bit planes)
//   full   count + two-SNP estimation + statistics (what the command runs)
//   stats  the statistics alone, again, from the chunk's frequencies
//   pvals  the two p-values alone (part of stats)
//   rows   both report rows of the chunk through the formatter to /dev/null
// so the estimation is full - count - stats.
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "common_sgt/FastFormat.h"
#include "common_sgt/Settings.h"
#include "ld/PackedPairComputer.h"
#include "ld/PairwiseLD.h"
#include "ld/PairwiseValue.h"
#include "marlo/GenoData.h"

namespace {

double cpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

long distanceOf(const GenoData& d, int i, int j) {
  const long x = static_cast<long>(d.positions[j]) - static_cast<long>(d.positions[i]);
  return x < 0 ? -x : x;
}

struct Totals {
  long pairs = 0;
  double load = 0, pack = 0, count = 0, full = 0, stats = 0, pvals = 0, rows = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: pair_phases GENO [LIMIT] [SEED] [MLE]\n");
    return 2;
  }
  const char* file = argv[1];
  const long limit = argc > 2 ? atol(argv[2]) : 0;
  g_seedGiven = true;
  g_seedValue = argc > 3 ? static_cast<uint32_t>(atol(argv[3])) : 1u;
  const bool mle = argc > 4 && atoi(argv[4]) != 0;

  FILE* devnull = fopen("/dev/null", "w");
  TextBuffer pwld, pwlds;
  pwld.attach(devnull);
  pwlds.attach(devnull);
  GenoData data;
  Totals all;
  double t = cpuSeconds();
  if (!data.loadHeader(file)) return 1;
  all.load += cpuSeconds() - t;
  const int types = data.m_SampleTypeTableSize;
  printf("%-6s %10s %7s %7s %7s %7s %7s %7s %7s %7s\n", "type", "pairs", "load", "pack", "count", "estim",
         "stats", "(pvals)", "rows", "total");
  for (int p = 0; p <= types; ++p) {
    if (types == 1 && p == 1) break;
    const std::string name = data.sampleTypeTable[p].name;
    Totals one;
    t = cpuSeconds();
    if (!data.loadData(file, name.c_str())) return 1;
    one.load = cpuSeconds() - t;
    t = cpuSeconds();
    PackedPairComputer packed(data, 1.0, mle);
    one.pack = cpuSeconds() - t;

    const int n = data.m_nummarker;
    std::vector<std::pair<int, int>> chunk;
    std::vector<PairwiseValue> values;
    long row = 0;
    auto flush = [&]() {
      PairwiseValue v;
      double s = cpuSeconds();
      for (const auto& [i, j] : chunk) packed.countPair(i, j, v);
      one.count += cpuSeconds() - s;
      values.resize(chunk.size());
      s = cpuSeconds();
      for (size_t k = 0; k < chunk.size(); ++k) packed.compute(chunk[k].first, chunk[k].second, values[k]);
      one.full += cpuSeconds() - s;
      std::vector<PairwiseValue> again = values;
      s = cpuSeconds();
      for (PairwiseValue& x : again) computeStatistics(x, x.numIndividuals, false, mle && !x.multiAllelic);
      one.stats += cpuSeconds() - s;
      double sink = 0;
      s = cpuSeconds();
      for (const PairwiseValue& x : values) sink += fastChiSquareP1(x.chiSquare) + fastChiSquareP1(x.lodStatistic);
      one.pvals += cpuSeconds() - s;
      if (sink == -1) printf("!");
      s = cpuSeconds();
      for (size_t k = 0; k < chunk.size(); ++k)
        writePairRows(pwld, pwlds, ++row, chunk[k].first, chunk[k].second, distanceOf(data, chunk[k].first, chunk[k].second),
             values[k]);
      one.rows += cpuSeconds() - s;
      one.pairs += static_cast<long>(chunk.size());
      chunk.clear();
    };
    for (int i = 0; i + 1 < n; ++i) {
      if (!packed.usable(i)) continue;
      for (int j = i + 1; j < n; ++j) {
        if (limit > 0 && distanceOf(data, i, j) >= limit) break;
        if (!packed.usable(j)) continue;
        chunk.emplace_back(i, j);
        if (chunk.size() == 100000) flush();
      }
    }
    flush();
    const double estim = one.full - one.count - one.stats;
    printf("%-6s %10ld %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f\n", name.c_str(), one.pairs, one.load, one.pack,
           one.count, estim, one.stats, one.pvals, one.rows, one.load + one.pack + one.full + one.rows);
    all.pairs += one.pairs;
    all.load += one.load;
    all.pack += one.pack;
    all.count += one.count;
    all.full += one.full;
    all.stats += one.stats;
    all.pvals += one.pvals;
    all.rows += one.rows;
  }
  const double estim = all.full - all.count - all.stats;
  const double total = all.load + all.pack + all.full + all.rows;
  printf("%-6s %10ld %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f\n", "all", all.pairs, all.load, all.pack,
         all.count, estim, all.stats, all.pvals, all.rows, total);
  printf("per pair (ns): count %.0f, estimation %.0f, statistics %.0f (p-values %.0f), rows %.0f; "
         "load+pack %.2f s\n",
         1e9 * all.count / all.pairs, 1e9 * estim / all.pairs, 1e9 * all.stats / all.pairs,
         1e9 * all.pvals / all.pairs, 1e9 * all.rows / all.pairs, all.load + all.pack);
  pwld.close();
  pwlds.close();
  fclose(devnull);
  return 0;
}
