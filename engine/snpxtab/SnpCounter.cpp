#include "snpxtab/SnpCounter.h"

#include <cstring>

namespace xtab {

namespace {

inline bool sameToken(std::string_view t, std::string_view allele) {
  if (t.size() != allele.size()) return false;
  // Alleles are nearly always single letters: keep that case out of memcmp.
  if (t.size() == 1) return t[0] == allele[0];
  return memcmp(t.data(), allele.data(), t.size()) == 0;
}

inline bool isMissingToken(std::string_view t) { return t.size() == 1 && t[0] == 'N'; }

inline void countAllele(std::string_view t, SnpCounts& s) {
  if (s.hasA && sameToken(t, s.alleleA)) {
    ++s.countA;
  } else if (s.hasB && sameToken(t, s.alleleB)) {
    ++s.countB;
  } else if (isMissingToken(t)) {
    ++s.countN;
  } else if (!s.hasA) {
    s.alleleA = t;
    s.hasA = true;
    ++s.countA;
  } else if (!s.hasB) {
    s.alleleB = t;
    s.hasB = true;
    ++s.countB;
  }
  // A third distinct allele is not counted.
}

inline int classify(std::string_view a1, std::string_view a2, const SnpCounts& s) {
  if (s.hasA && sameToken(a1, s.alleleA) && sameToken(a2, s.alleleA)) return kAA;
  if (s.hasB && sameToken(a1, s.alleleB) && sameToken(a2, s.alleleB)) return kBB;
  if (isMissingToken(a1)) return kMissing;
  if (!sameToken(a1, a2)) return kAB;
  return -1;  // homozygote of a third allele
}

}  // namespace

int8_t classCodeOf(std::string_view field) {
  size_t i = 0;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) ++i;
  if (i == field.size()) return kNoClass;
  for (size_t k = i; k < field.size(); ++k) {
    if (field[k] < '0' || field[k] > '9') return kNoClass;
  }
  while (i < field.size() && field[i] == '0') ++i;
  if (i == field.size()) return 0;  // all zeros, any sign
  if (i + 1 == field.size() && field[i] == '1' && field[0] != '-') return 1;
  return kNoClass;
}

void readClassCodes(std::string_view genotypePart, std::vector<int8_t>& codes) {
  codes.clear();
  size_t start = 0;
  for (;;) {
    size_t tab = genotypePart.find('\t', start);
    std::string_view field =
        genotypePart.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
    codes.push_back(classCodeOf(field));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
}

CountStatus countSnpLine(std::string_view genotypePart, const std::vector<int8_t>& codes, SnpCounts& s,
                         size_t& badColumn) {
  s = SnpCounts();
  const char* p = genotypePart.data();
  const char* const end = p + genotypePart.size();
  const size_t columns = codes.size();
  size_t col = 0;
  for (;;) {
    std::string_view a1, a2;
    const char* tab;
    if (col < columns && end - p >= 3 && p[1] == '/' && (end - p == 3 || p[3] == '\t') && p[0] != '/' &&
        p[0] != '\t' && p[2] != '/' && p[2] != '\t') {
      // The usual genotype: two single-letter alleles, no search needed.
      a1 = std::string_view(p, 1);
      a2 = std::string_view(p + 2, 1);
      tab = end - p == 3 ? nullptr : p + 3;
    } else {
      tab = static_cast<const char*>(memchr(p, '\t', static_cast<size_t>(end - p)));
      const char* fieldEnd = tab ? tab : end;
      if (col >= columns) {
        // Count the columns for the message.
        size_t found = col + 1;
        for (const char* q = tab; q;
             q = static_cast<const char*>(memchr(q + 1, '\t', static_cast<size_t>(end - q - 1))))
          ++found;
        badColumn = found;
        return CountStatus::kColumnCount;
      }
      size_t len = static_cast<size_t>(fieldEnd - p);
      const char* slash = static_cast<const char*>(memchr(p, '/', len));
      if (!slash || slash == p || slash + 1 == fieldEnd ||
          memchr(slash + 1, '/', static_cast<size_t>(fieldEnd - slash - 1))) {
        badColumn = col;
        return CountStatus::kBadGenotype;
      }
      a1 = std::string_view(p, static_cast<size_t>(slash - p));
      a2 = std::string_view(slash + 1, static_cast<size_t>(fieldEnd - slash - 1));
    }
    countAllele(a1, s);
    countAllele(a2, s);
    int g = classify(a1, a2, s);
    if (g >= 0) {
      ++s.total[g];
      int8_t code = codes[col];
      if (code >= 0) ++s.byClass[code][g];
    }
    ++col;
    if (!tab) break;
    p = tab + 1;
  }
  if (col != columns) {
    badColumn = col;
    return CountStatus::kColumnCount;
  }
  return CountStatus::kOk;
}

void groupByClassCode(GenotypeColumnScan& scan, const std::vector<int8_t>& codes) {
  std::vector<uint32_t> groups(codes.size());
  for (size_t c = 0; c < codes.size(); ++c) groups[c] = static_cast<uint32_t>(codes[c] + 1);
  scan.setGroups(std::move(groups), 3);
}

bool countScannedSnpLine(const GenotypeColumnScan& scan, size_t columns, SnpCounts& s) {
  if (scan.columns() != columns || !scan.irregular().empty()) return false;
  const size_t d = scan.distinct();
  for (size_t i = 0; i < d; ++i) {
    const char* t = scan.text(i);
    if (t[1] != '/' || t[0] == '/' || t[2] == '/') return false;
  }

  // Alleles are met in column order, first allele before second; the texts
  // are in order of first appearance, so the first two alleles other than
  // "N" met among them are the first two of the line. A genotype's class
  // does not depend on when its alleles were met.
  s = SnpCounts();
  char a = 0, b = 0;
  for (size_t i = 0; i < d && !s.hasB; ++i) {
    const char* t = scan.text(i);
    for (int k = 0; k <= 2 && !s.hasB; k += 2) {
      if (t[k] == 'N') continue;
      if (!s.hasA) {
        a = t[k];
        s.alleleA = std::string_view(t + k, 1);
        s.hasA = true;
      } else if (t[k] != a) {
        b = t[k];
        s.alleleB = std::string_view(t + k, 1);
        s.hasB = true;
      }
    }
  }
  for (size_t i = 0; i < d; ++i) {
    const char* t = scan.text(i);
    const long long n0 = scan.count(i, 1), n1 = scan.count(i, 2);
    const long long n = scan.count(i, 0) + n0 + n1;
    if (s.hasA) s.countA += n * ((t[0] == a) + (t[2] == a));
    if (s.hasB) s.countB += n * ((t[0] == b) + (t[2] == b));
    s.countN += n * ((t[0] == 'N') + (t[2] == 'N'));
    int g;
    if (s.hasA && t[0] == a && t[2] == a)
      g = kAA;
    else if (s.hasB && t[0] == b && t[2] == b)
      g = kBB;
    else if (t[0] == 'N')
      g = kMissing;
    else if (t[0] != t[2])
      g = kAB;
    else
      continue;  // homozygote of a third allele
    s.total[g] += n;
    s.byClass[0][g] += n0;
    s.byClass[1][g] += n1;
  }
  return true;
}

bool riskAlleleIsA(const SnpCounts& s, int risk) {
  bool minorIsA = s.countA < s.countB;
  return risk == 0 ? minorIsA : !minorIsA;
}

GenotypeCounts riskGenotypeCounts(const SnpCounts& s, int risk) {
  GenotypeCounts g;
  bool rIsA = riskAlleleIsA(s, risk);
  for (int k = 0; k < 2; ++k) {
    double aa = static_cast<double>(s.byClass[k][kAA]);
    double ab = static_cast<double>(s.byClass[k][kAB]);
    double bb = static_cast<double>(s.byClass[k][kBB]);
    g.rr[k] = rIsA ? aa : bb;
    g.ro[k] = ab;
    g.oo[k] = rIsA ? bb : aa;
  }
  return g;
}

}  // namespace xtab
