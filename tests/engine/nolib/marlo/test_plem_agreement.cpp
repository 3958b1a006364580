#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common_sgt/Settings.h"
#include "marlo/EMAlgorithm.h"
#include "marlo/PLEMAlgorithm.h"
#include "test_plem_reference.h"

namespace {

struct Sample {
  std::vector<Phenotype> phenotypes;
  std::map<std::string, int> copies;  // founder haplotype -> copies drawn
  int individuals = 0;
};

// 25 markers, 3 founder haplotypes, individuals drawn as random founder
// pairs, grouped by genotype in order of first appearance.
Sample generate(uint32_t seed, int individuals) {
  std::mt19937 rng(seed);
  const int markers = 25;
  const char alleles[][2] = {{'A', 'G'}, {'C', 'T'}, {'A', 'C'}, {'G', 'T'}};
  std::vector<std::string> founders(3, std::string(markers, ' '));
  for (int m = 0; m < markers; ++m)
    for (auto& f : founders) f[m] = alleles[m % 4][rng() % 2];
  // Unequal shares: 50 %, 30 %, 20 %.
  auto draw = [&]() -> const std::string& {
    const unsigned r = rng() % 10;
    return founders[r < 5 ? 0 : r < 8 ? 1 : 2];
  };
  Sample s;
  s.individuals = individuals;
  std::vector<std::pair<std::string, int>> entries;
  for (int i = 0; i < individuals; ++i) {
    const std::string& a = draw();
    const std::string& b = draw();
    ++s.copies[a];
    ++s.copies[b];
    std::string g;
    for (int m = 0; m < markers; ++m) {
      g += std::min(a[m], b[m]);
      g += std::max(a[m], b[m]);
    }
    auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.first == g; });
    if (it == entries.end())
      entries.emplace_back(g, 1);
    else
      ++it->second;
  }
  s.phenotypes = plemtest::makePhenotypes(entries);
  return s;
}

std::map<std::string, double> populationFrequencies(HaplotypeEstimator& estimator) {
  std::vector<std::string> haplotypes;
  std::vector<double> frequencies;
  estimator.collectBestHaplotypes(haplotypes, frequencies);
  std::map<std::string, double> out;
  for (size_t i = 0; i < haplotypes.size(); ++i) out[haplotypes[i]] = frequencies[i];
  return out;
}

}  // namespace

// PLEM /EPS0.000001 /SEED1 against plain EM /EPS0.000001 (even start) on the
// same 25 markers: the population frequencies agree to 1e-3.
TEST(PLEMAgreement, FrequenciesAgreeWithPlainEm) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    Sample s = generate(seed, 200);
    const int np = static_cast<int>(s.phenotypes.size());

    EMAlgorithm em;
    em.eps = 0.000001;
    em.setInitMode(0);
    em.setData(s.phenotypes.data(), 25, np, s.individuals);
    ASSERT_TRUE(em.performEM());
    const auto fromEm = populationFrequencies(em);

    const bool given = g_seedGiven;
    const uint32_t value = g_seedValue;
    g_seedGiven = true;
    g_seedValue = 1;
    PLEMAlgorithm plem;
    plem.setData(s.phenotypes.data(), 25, np, s.individuals);
    plem.ligationEps = 0.000001;
    plem.plemEps = 0.00001;
    plem.blockLength = 10;
    const bool ok = plem.perform();
    g_seedGiven = given;
    g_seedValue = value;
    ASSERT_TRUE(ok);
    const auto fromPlem = populationFrequencies(plem);

    ASSERT_FALSE(fromEm.empty());
    std::map<std::string, double> all = fromEm;
    all.insert(fromPlem.begin(), fromPlem.end());
    for (const auto& [h, unused] : all) {
      const double a = fromEm.count(h) ? fromEm.at(h) : 0.0;
      const double b = fromPlem.count(h) ? fromPlem.at(h) : 0.0;
      EXPECT_NEAR(a, b, 1e-3) << "seed " << seed << " haplotype " << h;
    }
    // Both find the founders with the shares drawn.
    for (const auto& [h, copies] : s.copies) {
      ASSERT_TRUE(fromPlem.count(h)) << h;
      EXPECT_NEAR(fromPlem.at(h), copies / 400.0, 1e-3) << h;
    }
  }
}
