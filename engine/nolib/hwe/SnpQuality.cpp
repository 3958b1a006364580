#include "hwe/SnpQuality.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "common_sgt/FastFormat.h"
#include "stats/Distributions.h"

GenotypeTally::GenotypeTally() : m_slots(1u << 16, 0) {}

void GenotypeTally::clear() {
  for (const Entry& e : m_entries) {
    if (e.text[1] == '/') {
      unsigned key =
          (static_cast<unsigned>(static_cast<unsigned char>(e.text[0])) << 8) | static_cast<unsigned char>(e.text[2]);
      m_slots[key] = 0;
    }
  }
  m_entries.clear();
  m_missing = 0;
}

void GenotypeTally::addSlow(char a1, char separator, char a2, int count) {
  for (Entry& e : m_entries) {
    if (e.text[0] == a1 && e.text[1] == separator && e.text[2] == a2) {
      e.count += count;
      return;
    }
  }
  m_entries.push_back(Entry{{a1, separator, a2}, count});
}

int GenotypeTally::countOf(const char* text, size_t length) const {
  if (length != 3) return 0;
  for (const Entry& e : m_entries)
    if (e.text[0] == text[0] && e.text[1] == text[1] && e.text[2] == text[2]) return e.count;
  return 0;
}

// The genotypes of a group in the order its columns met them: that order
// decides the order of genotypes and alleles in the report. The columns of
// every group together met the line's texts in the line's own order.
void tallyScannedGroup(const GenotypeColumnScan& scan, int group, GenotypeTally& tally) {
  tally.clear();
  auto add = [&](size_t t, long long n) {
    const char* g = scan.text(t);
    if (g[0] == 'N' && g[1] == '/' && g[2] == 'N')
      tally.addMissing(static_cast<int>(n));
    else
      tally.add(g[0], g[1], g[2], static_cast<int>(n));
  };
  if (group >= 0) {
    const size_t k = static_cast<size_t>(group);
    for (uint32_t t : scan.firstSeen(k)) add(t, scan.count(t, k));
    return;
  }
  const size_t groups = scan.groupCount();
  for (size_t t = 0; t < scan.distinct(); ++t) {
    long long n = 0;
    for (size_t k = 0; k < groups; ++k) n += scan.count(t, k);
    if (n > 0) add(t, n);
  }
}

namespace {
template <typename Item>
void shellSortByCount(Item* items, size_t n) {
  size_t h = 4;
  while (h < n) h = 3 * h + 1;
  for (h /= 3; h >= 1; h /= 3) {
    for (size_t i = h; i < n; ++i) {
      Item v = std::move(items[i]);
      size_t j = i;
      while (j >= h && items[j - h].count > v.count) {
        items[j] = std::move(items[j - h]);
        j -= h;
      }
      items[j] = std::move(v);
    }
  }
}
}  // namespace

void shellSortAlleles(std::vector<AlleleCount>& alleles) { shellSortByCount(alleles.data(), alleles.size()); }

namespace {

void addAllele(std::vector<AlleleCount>& alleles, const char* piece, size_t length, int count) {
  for (AlleleCount& a : alleles) {
    if (a.text.size() == length && memcmp(a.text.data(), piece, length) == 0) {
      a.count += count;
      return;
    }
  }
  alleles.push_back(AlleleCount{std::string(piece, length), count});
}

}  // namespace

void countAlleles(const GenotypeTally& tally, std::vector<AlleleCount>& alleles) {
  alleles.clear();
  // Splitting at "/" drops empty pieces, as the field splitter does.
  for (const GenotypeTally::Entry& e : tally.entries()) {
    size_t i = 0;
    while (i < 3) {
      while (i < 3 && e.text[i] == '/') ++i;
      if (i == 3) break;
      size_t start = i;
      while (i < 3 && e.text[i] != '/') ++i;
      addAllele(alleles, e.text + start, i - start, e.count);
    }
  }
}

namespace {

void countGenotypes(const GenotypeTally& tally, SnpQuality& q) {
  q.missing = tally.missing();
  q.valid = 0;
  for (const GenotypeTally::Entry& e : tally.entries()) q.valid += e.count;
  q.total = q.valid + q.missing;
  q.callRate = q.total > 0 ? static_cast<double>(q.valid) / static_cast<double>(q.total) : 0.0;
  q.distinctGenotypes = static_cast<int>(tally.entries().size());
}

// Chi-square and p-value over the expected genotypes, with the observed
// count of each (the continuity correction already decided).
void chiSquareOf(const double* observed, SnpQuality& q) {
  q.chiSquare = 0.0;
  for (size_t c = 0; c < q.expected.size(); ++c) {
    double d = std::fabs(observed[c] - q.expected[c].expected);
    if (q.yates) d -= 0.5;
    q.chiSquare += d * d / q.expected[c].expected;
  }
  q.df = static_cast<int>(q.expected.size()) - q.alleleCount;
  q.pValue = stats::chi_square_p(q.df, q.chiSquare);
}

// The allele and frequency texts and the minor allele frequency from the
// alleles in ascending order of count (textOf gives an allele's text).
template <typename Item, typename TextOf>
void alleleTexts(const Item* sorted, size_t n, double t, TextOf textOf, SnpQuality& q) {
  q.minorAlleleFrequency = 0.0;
  q.alleleText.clear();
  if (n == 0) {
    q.alleleText = "NoAllele";
    q.frequencyText = "NoAllele";
  } else if (n == 1) {
    q.alleleText += textOf(sorted[0]);
    q.frequencyText = "1.000";
  } else {
    q.minorAlleleFrequency = static_cast<double>(sorted[0].count) / t;
    // Formatted as "%1.3f" would, without a printf call per SNP and class.
    thread_local TextBuffer frequencies(256);
    frequencies.clear();
    for (size_t k = n; k-- > 0;) {
      if (k + 1 != n) {
        q.alleleText += '/';
        frequencies.appendChar('/');
      }
      q.alleleText += textOf(sorted[k]);
      frequencies.appendFixed(static_cast<double>(sorted[k].count) / t, 3, 1);
    }
    q.frequencyText.assign(frequencies.view());
  }
  if (q.distinctGenotypes < 2) q.minorAlleleFrequency = 0.0;
}

struct LetterCount {
  char letter;
  long long count;
};

// The usual SNP: every genotype "x/y" with alleles of one byte. The
// statistics of the general route, in its order of arithmetic, with the
// alleles as bytes rather than texts; false (q untouched) for any other
// tally.
bool singleByteQuality(const GenotypeTally& tally, SnpQuality& q) {
  constexpr size_t kMost = 16;
  LetterCount alleles[kMost];
  size_t n = 0;
  for (const GenotypeTally::Entry& e : tally.entries()) {
    if (e.text[1] != '/' || e.text[0] == '/' || e.text[2] == '/') return false;
    for (char c : {e.text[0], e.text[2]}) {
      size_t i = 0;
      while (i < n && alleles[i].letter != c) ++i;
      if (i == n) {
        if (n == kMost) return false;
        alleles[n++] = LetterCount{c, 0};
      }
      alleles[i].count += e.count;
    }
  }
  countGenotypes(tally, q);
  q.alleles.resize(n);
  q.alleleTotal = 0;
  for (size_t i = 0; i < n; ++i) {
    q.alleles[i].text.assign(1, alleles[i].letter);
    q.alleles[i].count = alleles[i].count;
    q.alleleTotal += alleles[i].count;
  }
  q.alleleCount = static_cast<int>(n);

  auto observed = [&](char a, char b) {
    for (const GenotypeTally::Entry& e : tally.entries())
      if (e.text[0] == a && e.text[2] == b) return e.count;
    return 0;
  };
  q.expected.resize(n * (n + 1) / 2);
  double seen[kMost * (kMost + 1) / 2];
  q.yates = false;
  const double t = static_cast<double>(q.alleleTotal);
  size_t cell = 0;
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = i; j < n; ++j, ++cell) {
      const LetterCount& ai = alleles[i];
      const LetterCount& aj = alleles[j];
      const double e = i == j ? static_cast<double>(ai.count * ai.count) / (2.0 * t)
                              : static_cast<double>(ai.count * aj.count) / t;
      char first = ai.letter, second = aj.letter;
      int count = observed(first, second);
      if (count == 0) {
        std::swap(first, second);
        count = observed(first, second);
      }
      ExpectedGenotype& x = q.expected[cell];
      x.name.resize(3);
      x.name[0] = first;
      x.name[1] = '/';
      x.name[2] = second;
      x.expected = e;
      seen[cell] = count;
      if (e < 5.0) q.yates = true;
    }
  }
  chiSquareOf(seen, q);
  shellSortByCount(alleles, n);
  alleleTexts(alleles, n, t, [](const LetterCount& a) { return a.letter; }, q);
  return true;
}

}  // namespace

void computeSnpQuality(const GenotypeTally& tally, SnpQuality& q) {
  if (!singleByteQuality(tally, q)) computeSnpQualityAnyAlleles(tally, q);
}

void computeSnpQualityAnyAlleles(const GenotypeTally& tally, SnpQuality& q) {
  countGenotypes(tally, q);
  countAlleles(tally, q.alleles);
  q.alleleCount = static_cast<int>(q.alleles.size());
  q.alleleTotal = 0;
  for (const AlleleCount& a : q.alleles) q.alleleTotal += a.count;

  // Expected genotype counts, in allele order of first appearance. One
  // expected count below 5 switches the continuity correction on for every
  // cell of this SNP.
  q.expected.clear();
  q.yates = false;
  const double t = static_cast<double>(q.alleleTotal);
  for (size_t i = 0; i < q.alleles.size(); ++i) {
    for (size_t j = i; j < q.alleles.size(); ++j) {
      const AlleleCount& ai = q.alleles[i];
      const AlleleCount& aj = q.alleles[j];
      double e = i == j ? static_cast<double>(ai.count * ai.count) / (2.0 * t)
                        : static_cast<double>(ai.count * aj.count) / t;
      ExpectedGenotype& x = q.expected.emplace_back();
      x.name.append(ai.text).append(1, '/').append(aj.text);
      if (tally.countOf(x.name.data(), x.name.size()) == 0) x.name.assign(aj.text).append(1, '/').append(ai.text);
      x.expected = e;
      if (e < 5.0) q.yates = true;
    }
  }

  thread_local std::vector<double> observed;  // kept between SNPs: no allocation per SNP
  observed.clear();
  for (const ExpectedGenotype& x : q.expected) observed.push_back(tally.countOf(x.name.data(), x.name.size()));
  chiSquareOf(observed.data(), q);

  thread_local std::vector<AlleleCount> sorted;
  sorted.assign(q.alleles.begin(), q.alleles.end());
  shellSortAlleles(sorted);
  alleleTexts(sorted.data(), sorted.size(), t, [](const AlleleCount& a) -> const std::string& { return a.text; }, q);
}
