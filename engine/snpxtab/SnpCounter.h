#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "common_sgt/GenotypeScan.h"
#include "xtab/AssociationTest.h"

// Allele discovery and genotype counting of one SNP line.
namespace xtab {

enum GenotypeClass { kAA = 0, kAB = 1, kBB = 2, kMissing = 3 };

// Class code of a sample column: 1 (case), 0 (control) or none.
constexpr int8_t kNoClass = -1;

struct SnpCounts {
  // The first and second allele met in the line; they point into the line.
  std::string_view alleleA;
  std::string_view alleleB;
  bool hasA = false;
  bool hasB = false;
  long long countA = 0;
  long long countB = 0;
  long long countN = 0;
  long long total[4] = {0, 0, 0, 0};
  long long byClass[2][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}};  // [class code][genotype class]
};

enum class CountStatus { kOk, kBadGenotype, kColumnCount };

// Class code of a class-line field: 1 or 0 only for an integer (optional sign
// and digits) of that value; any other text is no class code.
int8_t classCodeOf(std::string_view field);

// Splits the genotype part of the class line into class codes.
void readClassCodes(std::string_view genotypePart, std::vector<int8_t>& codes);

// Counts the genotype part of one SNP line (the text after the fourth tab).
// Every genotype must be two non-empty alleles joined by one "/", and the
// line must have one genotype per class code. On failure, badColumn is the
// 0-based genotype column at fault (for kColumnCount: the number found).
CountStatus countSnpLine(std::string_view genotypePart, const std::vector<int8_t>& codes, SnpCounts& counts,
                         size_t& badColumn);

// Prepares a scan to group the genotype columns by class code: no class,
// class 0, class 1.
void groupByClassCode(GenotypeColumnScan& scan, const std::vector<int8_t>& codes);

// The same counts as countSnpLine from a line scanned with those groups,
// when its columns are all "x/y" genotypes (x and y single bytes, neither
// "/"), one per class code; false, with nothing decided, for any other line,
// which countSnpLine then counts or refuses.
bool countScannedSnpLine(const GenotypeColumnScan& scan, size_t columns, SnpCounts& counts);

// The minor allele is A when count(A) < count(B), else B (so equal counts make
// the second allele met the minor one). Risk 0 takes the minor allele as the
// risk allele, risk 1 the major one.
bool riskAlleleIsA(const SnpCounts& counts, int risk);

// RR, RO, OO per class for the chosen risk factor.
GenotypeCounts riskGenotypeCounts(const SnpCounts& counts, int risk);

}  // namespace xtab
