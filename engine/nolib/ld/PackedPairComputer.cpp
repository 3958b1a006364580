#include "ld/PackedPairComputer.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "common_sgt/Parallel.h"
#include "common_sgt/Random.h"
#include "ld/SubPhenotypes.h"
#include "ld/TwoLocusMle.h"
#include "marlo/EMAlgorithm.h"

namespace {

constexpr uint8_t kMissing = 0xFF;

// 1.0 / (r + 1) for every value r of the generator, as the estimator's random
// start computes it.
struct InverseTable {
  double value[32768];
  InverseTable() {
    for (int r = 0; r < 32768; ++r) value[r] = 1.0 / (r + 1);
  }
};
const InverseTable& inverses() {
  static const InverseTable table;
  return table;
}

// Non-empty combinations of a genotype of the first SNP with one of the
// second: first individual, count and the two genotype numbers, as parallel
// arrays.
struct Combinations {
  int first[PackedPairComputer::kMaxCodes * PackedPairComputer::kMaxCodes];
  int count[PackedPairComputer::kMaxCodes * PackedPairComputer::kMaxCodes];
  uint8_t a[PackedPairComputer::kMaxCodes * PackedPairComputer::kMaxCodes];
  uint8_t b[PackedPairComputer::kMaxCodes * PackedPairComputer::kMaxCodes];
};

// Individuals in both planes of every genotype pair, counts[a * ny + b].
// The loop is built three times: with the vector population count of recent
// processors (eight words per instruction), with the scalar instruction, and
// with neither; the first the processor has is chosen when the program
// starts (a plain pointer, not an indirect function, which a sanitizer's
// runtime would not yet be ready for).
[[gnu::always_inline]] inline void countBothBody(const uint64_t* x, int nx, const uint64_t* y, int ny, int words,
                                                 int* counts) {
  for (int a = 0; a < nx; ++a) {
    const uint64_t* pa = x + static_cast<int64_t>(a) * words;
    for (int b = 0; b < ny; ++b) {
      const uint64_t* pb = y + static_cast<int64_t>(b) * words;
      uint64_t count = 0;
      for (int w = 0; w < words; ++w) count += static_cast<uint64_t>(__builtin_popcountll(pa[w] & pb[w]));
      counts[a * ny + b] = static_cast<int>(count);
    }
  }
}

using CountBoth = void (*)(const uint64_t*, int, const uint64_t*, int, int, int*);
void countBothPlain(const uint64_t* x, int nx, const uint64_t* y, int ny, int words, int* counts) {
  countBothBody(x, nx, y, ny, words, counts);
}
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx512f,avx512vpopcntdq"))) void countBothWide(const uint64_t* x, int nx, const uint64_t* y,
                                                                        int ny, int words, int* counts) {
  countBothBody(x, nx, y, ny, words, counts);
}
__attribute__((target("popcnt"))) void countBothScalar(const uint64_t* x, int nx, const uint64_t* y, int ny,
                                                       int words, int* counts) {
  countBothBody(x, nx, y, ny, words, counts);
}
CountBoth chooseCountBoth() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512vpopcntdq")) return countBothWide;
  if (__builtin_cpu_supports("popcnt")) return countBothScalar;
  return countBothPlain;
}
#else
CountBoth chooseCountBoth() { return countBothPlain; }
#endif
const CountBoth countBoth = chooseCountBoth();

// Counts and, when asked, first individuals of every non-empty combination
// of a genotype of the first SNP (planes x, nx of them) with one of the
// second (planes y, ny), in plane order.
int combine(const uint64_t* x, int nx, const uint64_t* y, int ny, int words, bool firstIndividuals,
            Combinations& out) {
  int both[PackedPairComputer::kMaxCodes * PackedPairComputer::kMaxCodes];
  countBoth(x, nx, y, ny, words, both);
  int n = 0;
  for (int a = 0; a < nx; ++a) {
    const uint64_t* pa = x + static_cast<int64_t>(a) * words;
    for (int b = 0; b < ny; ++b) {
      const int count = both[a * ny + b];
      if (count == 0) continue;
      if (firstIndividuals) {
        const uint64_t* pb = y + static_cast<int64_t>(b) * words;
        int w = 0;
        while ((pa[w] & pb[w]) == 0) ++w;  // some word has one: the count is not 0
        out.first[n] = w * 64 + __builtin_ctzll(pa[w] & pb[w]);
      }
      out.count[n] = count;
      out.a[n] = static_cast<uint8_t>(a);
      out.b[n] = static_cast<uint8_t>(b);
      ++n;
    }
  }
  return n;
}

// The logarithm of a positive normal w, within kApproxLogError of the
// correctly rounded one: w = 2^e m with m in [1, 2) and m = c (1 + r), where
// c is the middle of the 128th part of [1, 2) that holds m, so |r| < 1/256;
// log(1 + r) is summed up to r^3, and the first term left out, r^4 / 4,
// stays below 6e-11 (checked on 10^8 values: 5.8e-11), and the rounding of
// these few operations is far below it; the bound keeps a factor 3 of room.
constexpr double kApproxLogError = 2e-10;
constexpr int kLogTableBits = 7;
struct LogTable {
  double logOf[1 << kLogTableBits];
  double inverseOf[1 << kLogTableBits];
  LogTable() {
    for (int k = 0; k < (1 << kLogTableBits); ++k) {
      const double c = 1.0 + (k + 0.5) / (1 << kLogTableBits);
      logOf[k] = std::log(c);
      inverseOf[k] = 1.0 / c;
    }
  }
};
const LogTable& logTable() {
  static const LogTable table;
  return table;
}
inline double approxLog(double w, const LogTable& t) {
  uint64_t bits;
  std::memcpy(&bits, &w, sizeof bits);
  const int e = static_cast<int>(bits >> 52) - 1023;
  const int k = static_cast<int>((bits >> (52 - kLogTableBits)) & ((1 << kLogTableBits) - 1));
  bits = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1023} << 52);
  double m;
  std::memcpy(&m, &bits, sizeof m);
  const double r = m * t.inverseOf[k] - 1.0;
  return e * 0.6931471805599453 + t.logOf[k] + r * (1.0 + r * (-0.5 + r * (1.0 / 3)));
}

}  // namespace

PackedPairComputer::PackedPairComputer(const GenoData& data, double eps, bool exactMle, unsigned workers)
    : m_data(data),
      m_eps(eps),
      m_exactMle(exactMle),
      m_tables(std::make_shared<Tables>()),
      m_snps(m_tables->snps),
      m_planes(m_tables->planes),
      m_logPairsOfCount(m_tables->logPairsOfCount),
      m_logPairsOfPheno(m_tables->logPairsOfPheno) {
  pack(data, workers);
  m_logPairsOfCount.resize(static_cast<size_t>(m_numIndividuals) + 1);
  for (int c = 0; c <= m_numIndividuals; ++c) m_logPairsOfCount[c] = log(c * (c + 1.0) / 2.0);
  m_logPairsOfPheno.resize(kMaxSubs + 1);
  for (int p = 0; p <= kMaxSubs; ++p) m_logPairsOfPheno[p] = log(p * (p + 1.0) / 2.0);
}

int64_t PackedPairComputer::memoryBytes() const {
  return static_cast<int64_t>(m_planes.capacity() * sizeof(uint64_t) + m_snps.capacity() * sizeof(Snp) +
                              (m_logPairsOfCount.capacity() + m_logPairsOfPheno.capacity()) * sizeof(double));
}

void PackedPairComputer::pack(const GenoData& data, unsigned workers) {
  m_numIndividuals = data.m_numindiv > 0 ? data.m_numindiv : 0;
  m_words = (m_numIndividuals + 63) / 64;
  const int numSnps = data.m_nummarker > 0 ? data.m_nummarker : 0;
  m_snps.assign(static_cast<size_t>(numSnps), Snp());
  const int numGroups = static_cast<int>(data.phenotypes.size());

  // The genotype of every loaded group at every SNP, as a number per SNP.
  std::vector<uint8_t> codes(static_cast<size_t>(numGroups) * numSnps, kMissing);
  // Letters of genotypes with one "N" still count in the allele table.
  std::vector<std::vector<std::pair<char, long long>>> halfMissing(static_cast<size_t>(numSnps));
  // The genotype number of a pair of the letters A, C, G, T is looked up
  // per SNP (kUnknown until first seen); other letters and "N" take the
  // general route.
  constexpr uint8_t kUnknown = 0xFE;
  uint8_t letterIndex[256];
  for (uint8_t& x : letterIndex) x = 4;
  letterIndex[static_cast<unsigned char>('A')] = 0;
  letterIndex[static_cast<unsigned char>('C')] = 1;
  letterIndex[static_cast<unsigned char>('G')] = 2;
  letterIndex[static_cast<unsigned char>('T')] = 3;
  std::vector<uint8_t> pairCode(static_cast<size_t>(numSnps) * 16, kUnknown);
  auto codeOf = [&](int k, char x, char y) -> uint8_t {
    Snp& s = m_snps[k];
    int c = 0;
    while (c < s.numCodes && (s.letters[c][0] != x || s.letters[c][1] != y)) ++c;
    if (c == s.numCodes) {
      if (s.numCodes == kMaxCodes) {
        s.usable = false;
        return kMissing;
      }
      s.letters[c][0] = x;
      s.letters[c][1] = y;
      ++s.numCodes;
    }
    return static_cast<uint8_t>(c);
  };
  // Every step below works on ranges of SNPs, each SNP's groups in order
  // (a SNP's genotype numbers follow their first appearance), so the ranges
  // can go to different threads.
  const unsigned parts = std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(numSnps)));
  std::vector<int64_t> bounds(parts + 1);
  for (unsigned q = 0; q <= parts; ++q) bounds[q] = static_cast<int64_t>(numSnps) * q / parts;
  parallelRanges(bounds, [&](int64_t from, int64_t to) {
    for (int g = 0; g < numGroups; ++g) {
      const std::string& text = data.phenotypes[g].genotype;
      uint8_t* row = codes.data() + static_cast<size_t>(g) * numSnps;
      const int markers = static_cast<int>(text.size() / 2) < numSnps ? static_cast<int>(text.size() / 2) : numSnps;
      for (int k = static_cast<int>(from); k < std::min<int>(markers, static_cast<int>(to)); ++k) {
        const char x = text[2 * static_cast<size_t>(k)];
        const char y = text[2 * static_cast<size_t>(k) + 1];
        const unsigned ix = letterIndex[static_cast<unsigned char>(x)];
        const unsigned iy = letterIndex[static_cast<unsigned char>(y)];
        if ((ix | iy) < 4) {
          uint8_t& known = pairCode[static_cast<size_t>(k) * 16 + ix * 4 + iy];
          if (known == kUnknown) known = codeOf(k, x, y);
          row[k] = known;
          continue;
        }
        if (x == 'N' || y == 'N') {
          const char other = x == 'N' ? y : x;
          if (other == 'N') continue;
          auto& list = halfMissing[k];
          size_t e = 0;
          while (e < list.size() && list[e].first != other) ++e;
          if (e == list.size()) list.emplace_back(other, 0);
          list[e].second += data.phenotypes[g].count;
          continue;
        }
        row[k] = codeOf(k, x, y);
      }
      for (int k = std::max<int>(markers, static_cast<int>(from)); k < to; ++k) m_snps[k].usable = false;
    }
  });

  std::vector<int> groupOf(static_cast<size_t>(m_numIndividuals), -1);
  for (int g = 0; g < numGroups; ++g)
    for (int i : data.phenotypes[g].memberIndex)
      if (i >= 0 && i < m_numIndividuals) groupOf[i] = g;

  int64_t words = 0;
  for (Snp& s : m_snps) {
    s.planeOffset = words;
    words += static_cast<int64_t>(s.numCodes) * m_words;
  }
  m_planes.assign(static_cast<size_t>(words), 0);
  parallelRanges(bounds, [&](int64_t from, int64_t to) {
    // Word by word of individuals: the 64 code rows are read side by side, in
    // SNP order, and each plane word is written once.
    const uint8_t* rows[64];
    for (int w = 0; w < m_words; ++w) {
      const int base = w * 64;
      const int width = m_numIndividuals - base < 64 ? m_numIndividuals - base : 64;
      int present = 0;
      uint64_t bitOf[64];
      for (int b = 0; b < width; ++b) {
        const int g = groupOf[base + b];
        if (g < 0) continue;
        rows[present] = codes.data() + static_cast<size_t>(g) * numSnps;
        bitOf[present] = uint64_t{1} << b;
        ++present;
      }
      for (int k = static_cast<int>(from); k < to; ++k) {
        uint64_t acc[kMaxCodes] = {};
        for (int b = 0; b < present; ++b) {
          const uint8_t c = rows[b][k];
          if (c != kMissing) acc[c] |= bitOf[b];
        }
        const Snp& s = m_snps[k];
        uint64_t* planes = m_planes.data() + s.planeOffset + w;
        for (int c = 0; c < s.numCodes; ++c) planes[static_cast<int64_t>(c) * m_words] = acc[c];
      }
    }
    for (int k = static_cast<int>(from); k < to; ++k) {
      Snp& s = m_snps[k];
      const uint64_t* planes = m_planes.data() + s.planeOffset;
      // The allele table from the genotype counts.
      long long letterCount[256] = {};
      for (int c = 0; c < s.numCodes; ++c) {
        long long n = 0;
        for (int w = 0; w < m_words; ++w) n += __builtin_popcountll(planes[static_cast<int64_t>(c) * m_words + w]);
        letterCount[static_cast<unsigned char>(s.letters[c][0])] += n;
        letterCount[static_cast<unsigned char>(s.letters[c][1])] += n;
      }
      for (const auto& [letter, n] : halfMissing[k]) letterCount[static_cast<unsigned char>(letter)] += n;
      const SnpAlleleTable table = alleleTableFromCounts(letterCount);
      if (table.size() > kMaxAlleles) {
        s.usable = false;
        continue;
      }
      s.numAlleles = table.size();
      for (int a = 0; a < table.size(); ++a) s.alleles[a] = table.alleles[a];
      const char a1 = table.first(), a2 = table.second();
      for (int c = 0; c < s.numCodes; ++c) {
        const char x = s.letters[c][0], y = s.letters[c][1];
        for (int e = 0; e < 2; ++e) {
          const char letter = s.letters[c][e];
          int a = 0;
          while (a < s.numAlleles && s.alleles[a] != letter) ++a;
          s.alleleOf[c][e] = static_cast<uint8_t>(a);
        }
        s.het[c] = x != y;
        // The first genotype class whose two letters (the smaller first) are
        // this genotype's: a single allele makes all three classes equal.
        auto same = [&](char p, char q) {
          if (static_cast<signed char>(q) < static_cast<signed char>(p)) std::swap(p, q);
          return p == x && q == y;
        };
        s.genotypeClass[c] = same(a1, a1) ? 0 : same(a1, a2) ? 1 : same(a2, a2) ? 2 : -1;
      }
    }
  });
}

// The log-likelihood of the estimator, in its order of operations, from the
// sums of the weights of every sub-phenotype.
double PackedPairComputer::logLikelihood(const double* sums, double constant) const {
  double s2 = 0.0;
  for (int p = 0; p < m_numSubs; ++p) s2 += m_count[p] * log(sums[p]);
  return constant + s2;
}

// The same from approxLog; false when a sum is not a positive normal number.
// Its distance from logLikelihood is at most approxBound(counts, constant).
bool PackedPairComputer::approxLogLikelihood(const double* sums, const double* counts, double constant,
                                             const void* logs, double& value) const {
  const LogTable& table = *static_cast<const LogTable*>(logs);
  double s2 = 0.0;
  for (int p = 0; p < m_numSubs; ++p) {
    uint64_t bits;
    std::memcpy(&bits, &sums[p], sizeof bits);
    // A biased exponent of 1 to 2046 and no sign: positive, normal, finite.
    if ((bits >> 52) - 1 >= 2046) return false;
    s2 += counts[p] * approxLog(sums[p], table);
  }
  value = constant + s2;
  return true;
}

namespace {

// Bound on the distance of the approximate log-likelihood from the exact one
// with counts individuals: the error of approxLog times the counts, and the
// rounding of both sums, a few units in the last place of their terms (at
// most 100 of them), each at most 745 per individual (the logarithm of a
// positive normal number), or of the constant: a relative 1e-12 covers it.
double approxBound(double counts, double constant) {
  return counts * (kApproxLogError + 745.0 * 1e-12) + 1e-12 * std::fabs(constant);
}

}  // namespace

// The stop test compares the change of the log-likelihood with eps, which is
// far larger than the error of approxLog: the approximate change decides
// whenever it lies farther than both bounds from eps, and otherwise both
// log-likelihoods are computed as the estimator computes them (the weight
// sums of the previous iteration are kept for that), so the iterations end
// exactly where the estimator's end.
void PackedPairComputer::estimate(int numIndividuals) {
  const int P = m_numSubs;
  seedRandomInitialisation();
  const double* inverse = inverses().value;
  for (int p = 0; p < P; ++p)
    for (int q = 0; q < m_numPairs[p]; ++q) m_weight[p][q] = inverse[lcgNext()];

  const double n = static_cast<double>(numIndividuals);
  double s1 = 0.0;
  for (int p = 0; p < P; ++p) s1 += m_logPairsOfCount[m_count[p]];
  const double constant = m_logPairsOfPheno[P] - s1;

  // The counts as doubles once, not at every iteration.
  double countOf[kMaxSubs];
  double counts = 0.0;
  for (int p = 0; p < P; ++p) {
    countOf[p] = m_count[p];
    counts += m_count[p];
  }
  const double approxError = approxBound(counts, constant);
  const LogTable& logs = logTable();

  double sumsA[kMaxSubs], sumsB[kMaxSubs];
  double* sums = sumsA;
  double* prevSums = sumsB;
  // Each sub-phenotype's weight sum is taken where its weights are set (the
  // same additions in the same order as a pass of its own), and the
  // expectation step, one sub-phenotype after the other as before, adds
  // m w / 2 with m = 1 for a heterozygous one and 2 otherwise: w / 2 and w,
  // the same numbers (the weights are at most about 1, so 2 w is exact).
  for (int p = 0; p < P; ++p) {
    double sum = 0.0;
    for (int q = 0; q < m_numPairs[p]; ++q) sum += m_weight[p][q];
    sums[p] = sum;
  }
  int emCnt = 1;
  // The previous log-likelihood, exact when prevBound is 0.
  double lPrev = 0.0, prevBound = 0.0;
  for (;;) {
    for (double& f : m_freq) f = 0.0;
    for (int p = 0; p < P; ++p) {
      const double factor = static_cast<double>(m_count[p]) / (n * sums[p]);
      if (m_numPairs[p] == 2) {
        // Both loci heterozygous.
        const double w0 = m_weight[p][0] * factor;
        m_weight[p][0] = w0;
        m_freq[m_hap1[p][0]] += w0 * 0.5;
        m_freq[m_hap2[p][0]] += w0 * 0.5;
        const double w1 = m_weight[p][1] * factor;
        m_weight[p][1] = w1;
        m_freq[m_hap1[p][1]] += w1 * 0.5;
        m_freq[m_hap2[p][1]] += w1 * 0.5;
      } else if (m_heterozygous[p]) {
        const double w = m_weight[p][0] * factor;
        m_weight[p][0] = w;
        m_freq[m_hap1[p][0]] += w * 0.5;
        m_freq[m_hap2[p][0]] += w * 0.5;
      } else {
        const double w = m_weight[p][0] * factor;
        m_weight[p][0] = w;
        m_freq[m_hap1[p][0]] += w;
      }
    }
    double l, bound;
    if (approxLogLikelihood(sums, countOf, constant, &logs, l)) {
      bound = approxError;
    } else {
      l = logLikelihood(sums, constant);
      bound = 0.0;
    }
    const double dl = fabs(lPrev - l);
    bool stop;
    if (bound == 0.0 && prevBound == 0.0) {
      stop = dl < m_eps;
    } else {
      const double margin = bound + prevBound + 1e-12 * (std::fabs(l) + std::fabs(lPrev));
      if (dl + margin < m_eps) {
        stop = true;
      } else if (dl - margin >= m_eps) {
        stop = false;
      } else {
        l = logLikelihood(sums, constant);
        bound = 0.0;
        if (prevBound != 0.0) lPrev = logLikelihood(prevSums, constant);
        stop = fabs(lPrev - l) < m_eps;
      }
    }
    if (stop) break;
    // The next weights and their sums; the current sums become the previous.
    for (int p = 0; p < P; ++p) {
      double sum = 0.0;
      if (m_numPairs[p] == 2) {
        const double w0 = m_freq[m_hap1[p][0]] * m_freq[m_hap2[p][0]] * 2.0;
        const double w1 = m_freq[m_hap1[p][1]] * m_freq[m_hap2[p][1]] * 2.0;
        m_weight[p][0] = w0;
        m_weight[p][1] = w1;
        sum += w0;
        sum += w1;
      } else {
        double w = m_freq[m_hap1[p][0]] * m_freq[m_hap2[p][0]];
        if (m_heterozygous[p]) w = w * 2.0;
        m_weight[p][0] = w;
        sum += w;
      }
      prevSums[p] = sum;
    }
    emCnt += 1;
    lPrev = l;
    prevBound = bound;
    std::swap(sums, prevSums);
    if (P <= 4 && emCnt > 50) break;
    if (emCnt > EMAlgorithm::kMaxIterations) {
      consolePrintf("Warning: EM stopped after %d iterations without convergence (sample type %s); "
             "the estimate of the last iteration is used\n",
             EMAlgorithm::kMaxIterations, "?");
      break;
    }
  }
}

void PackedPairComputer::compute(int i, int j, PairwiseValue& v) {
  countPair(i, j, v);
  estimatePair(v);
}

void PackedPairComputer::countPair(int i, int j, PairwiseValue& v) {
  v = PairwiseValue();
  m_first = i;
  m_second = j;
  const Snp& A = m_snps[i];
  const Snp& B = m_snps[j];
  // The closed-form estimate needs only the nine classes.
  const bool classesOnly = m_exactMle && A.numAlleles <= 2 && B.numAlleles <= 2;
  Combinations combos;
  const int nc = combine(m_planes.data() + A.planeOffset, A.numCodes, m_planes.data() + B.planeOffset, B.numCodes,
                         m_words, !classesOnly, combos);
  // Each combination goes to its rank in the order of first individuals
  // (every individual is in one combination, so the first individuals
  // differ).
  int n = 0;
  m_numSubs = nc;
  for (int k = 0; k < nc; ++k) {
    const int a = combos.a[k], b = combos.b[k];
    const int count = combos.count[k];
    const int ga = A.genotypeClass[a], gb = B.genotypeClass[b];
    if (ga >= 0 && gb >= 0) {
      v.genotypeCount[3 * ga + gb] += count;
      n += count;
    }
    if (classesOnly) continue;
    const int f = combos.first[k];
    int s = 0;
    for (int m = 0; m < nc; ++m) s += combos.first[m] < f ? 1 : 0;
    m_count[s] = count;
    const int x1 = A.alleleOf[a][0], x2 = A.alleleOf[a][1];
    const int y1 = B.alleleOf[b][0], y2 = B.alleleOf[b][1];
    const bool hetA = A.het[a], hetB = B.het[b];
    m_heterozygous[s] = hetA || hetB;
    m_hap1[s][0] = static_cast<uint8_t>(x1 * kMaxAlleles + y1);
    if (hetA && hetB) {
      m_numPairs[s] = 2;
      m_hap2[s][0] = static_cast<uint8_t>(x2 * kMaxAlleles + y2);
      m_hap1[s][1] = static_cast<uint8_t>(x2 * kMaxAlleles + y1);
      m_hap2[s][1] = static_cast<uint8_t>(x1 * kMaxAlleles + y2);
    } else {
      m_numPairs[s] = 1;
      m_hap2[s][0] = static_cast<uint8_t>(x2 * kMaxAlleles + y2);
    }
  }
  v.numIndividuals = n;
}

void PackedPairComputer::estimatePair(PairwiseValue& v) {
  const Snp& A = m_snps[m_first];
  const Snp& B = m_snps[m_second];
  const int n = v.numIndividuals;
  const int nc = m_numSubs;
  double f[4] = {0.0, 0.0, 0.0, 0.0};
  const bool closedForm = m_exactMle && A.numAlleles <= 2 && B.numAlleles <= 2;
  if (closedForm) {
    pairFrequencies(twoLocusMle(v.genotypeCount), A.numAlleles < 2, B.numAlleles < 2, f);
  } else if (n > 0 && nc > 0) {
    estimate(n);
    const int a1 = 0, a2 = A.numAlleles > 1 ? 1 : 0;
    const int b1 = 0, b2 = B.numAlleles > 1 ? 1 : 0;
    f[0] = m_freq[a1 * kMaxAlleles + b1];
    f[1] = m_freq[a1 * kMaxAlleles + b2];
    f[2] = m_freq[a2 * kMaxAlleles + b1];
    f[3] = m_freq[a2 * kMaxAlleles + b2];
  }
  const double sum = f[0] + f[1] + f[2] + f[3];
  for (int k = 0; k < 4; ++k) v.hap[k] = safeDivide(f[k], sum);
  computeStatistics(v, n, false, closedForm);

  if (nc > 0 && (A.numAlleles > 2 || B.numAlleles > 2)) {
    int total = 0;
    for (int s = 0; s < nc; ++s) total += m_count[s];
    estimate(total);
    const int rows = A.numAlleles, cols = B.numAlleles;
    std::vector<double> table(static_cast<size_t>(rows) * cols, 0.0);
    double cellSum = 0.0;
    for (int a = 0; a < rows; ++a) {
      for (int b = 0; b < cols; ++b) {
        const double x = m_freq[a * kMaxAlleles + b];
        table[static_cast<size_t>(a) * cols + b] += x;
        cellSum += x;
      }
    }
    for (double& x : table) x = safeDivide(x, cellSum);
    v.multiAllelic = true;
    v.multiDprime = multiAllelicDprime(table, rows, cols);
  }
}
