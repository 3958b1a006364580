// What the joins of marlo PLEM meet on a genotype file, per sample type in
// the order the command walks them: the time of the estimation, whether it
// estimated, and the largest L x R, combination count and cell count of a
// join; with -v one line per join.
//   plem_figures [-v] FILE [SEED] [BLOCK_LENGTH] [EPS] [PLEMEPS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common_sgt/Settings.h"
#include "marlo/GenoData.h"
#include "marlo/PLEMAlgorithm.h"

int main(int argc, char** argv) {
  bool verbose = false;
  if (argc > 1 && strcmp(argv[1], "-v") == 0) {
    verbose = true;
    --argc;
    ++argv;
  }
  if (argc < 2) {
    fprintf(stderr, "usage: plem_figures [-v] FILE [SEED] [BLOCK_LENGTH] [EPS] [PLEMEPS]\n");
    return 2;
  }
  g_seedGiven = true;
  g_seedValue = argc > 2 ? static_cast<uint32_t>(strtoul(argv[2], nullptr, 10)) : 1;
  const int blockLength = argc > 3 ? atoi(argv[3]) : 10;
  const double eps = argc > 4 ? atof(argv[4]) : 1.0;
  const double plemEps = argc > 5 ? atof(argv[5]) : 0.00001;
  GenoData data;
  if (!data.loadHeader(argv[1])) return 1;
  const int n = data.m_SampleTypeTableSize;
  long long largest = 0;
  for (int t = 0; t <= n; ++t) {
    if (n == 1 && t == 1) continue;
    const std::string name = data.sampleTypeTable[t].name;
    if (!data.loadData(argv[1], name.c_str())) return 1;
    if (data.m_nummarker <= blockLength || data.m_numindiv == 0) continue;
    PLEMAlgorithm plem;
    plem.setLabel(name);
    plem.setData(data.phenotypes.data(), data.m_nummarker, data.m_numpheno, data.m_numindiv);
    plem.ligationEps = eps;
    plem.plemEps = plemEps;
    plem.blockLength = blockLength;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = plem.perform();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long long space = 0, combinations = 0, cells = 0;
    for (const auto& j : plem.joinFigures) {
      space = std::max(space, static_cast<long long>(j.numLeft) * j.numRight);
      combinations = std::max(combinations, j.combinations);
      cells = std::max(cells, j.cells);
    }
    printf("FIGURES type %s: %d genotypes, %s, %.2f s, %zu joins, largest L x R %lld, combinations %lld, cells %lld\n",
           name.c_str(), data.m_numpheno, ok ? "estimated" : "NO ESTIMATE", seconds, plem.joinFigures.size(), space,
           combinations, cells);
    if (verbose) {
      printf("  %5s %11s %8s %8s %14s %7s %12s %10s %5s %8s\n", "bl", "markers", "L", "R", "LxR", "records",
             "combinations", "cells", "iter", "kept");
      for (const auto& j : plem.joinFigures) {
        char range[32];
        snprintf(range, sizeof range, "%d-%d", j.from + 1, j.from + j.width);
        printf("  %5d %11s %8d %8d %14lld %7d %12lld %10lld %5d %8d\n", j.blockLength, range, j.numLeft,
               j.numRight, static_cast<long long>(j.numLeft) * j.numRight, j.records, j.combinations, j.cells,
               j.iterations, j.kept);
      }
    }
    largest = std::max(largest, plem.largestCombinationSpace);
  }
  printf("FIGURES largest L x R met: %lld\n", largest);
  return 0;
}
