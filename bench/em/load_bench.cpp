// Times GenoData::loadHeader and GenoData::loadData of every sample type of a
// genotype file (the whole-chromosome load that pairwise LD needs).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "marlo/GenoData.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: load_bench FILE.geno [WORKERS]\n");
    return 2;
  }
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); };
  GenoData data;
  if (argc > 2) data.setWorkers(static_cast<unsigned>(atoi(argv[2])));
  auto t0 = Clock::now();
  if (!data.loadHeader(argv[1])) return 1;
  auto t1 = Clock::now();
  fprintf(stderr, "loadHeader: %.3f s (%d markers, %d samples, %d sample types)\n", seconds(t0, t1),
          data.m_ori_nummarker, data.m_MergeSampleCount, data.m_SampleTypeTableSize);
  for (int t = 0; t <= data.m_SampleTypeTableSize; ++t) {
    const char* name = data.sampleTypeTable[t].name.c_str();
    auto a = Clock::now();
    if (!data.loadData(argv[1], name)) return 1;
    auto b = Clock::now();
    long long heterozygous = 0;
    for (const Phenotype& p : data.phenotypes) heterozygous += p.numHeterozygous;
    fprintf(stderr, "loadData(%s): %.3f s, %d individuals, %d phenotypes, mean %.0f heterozygous markers each\n",
            name, seconds(a, b), data.m_numindiv, data.m_numpheno,
            data.m_numpheno ? static_cast<double>(heterozygous) / data.m_numpheno : 0.0);
  }
  return 0;
}
