#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Streaming reader of a pairwise LD report (.pwld) for one sample type and
// one window of SNPs. Only the rows of that window are kept, so memory grows
// with the square of the SNPs in view and not with the file (a whole
// chromosome is about a gigabyte). Rows are sorted by (Marker1, Marker2)
// within a section, so the section is left as soon as Marker1 passes the
// window.
//
// Accepts: sections of three "!" header lines (the last one
// "!Sample_Type:<type>"), a column line starting "No\t", and rows of eleven
// tab-separated fields; "-" in the statistics after |D'| (multi-allelic
// pairs).
// Refuses (InputError with file and line): a row of the section read whose
// Marker1/Marker2 are not integers with Marker1 < Marker2, rows out of order,
// a row in the window with a field count other than 11, a statistic that is
// neither a decimal number nor "-", |D'| or r2 outside 0..1, a Four_gamete
// other than Y/N, a row before any "!Sample_Type:" line; no section of the
// asked type; with no type asked, no "M" section and several sections.
// Rows of other sections, and Marker1/Marker2 aside the rest of the rows
// outside the window, are not examined.
// Absent pairs: a pair with no row, and the placeholder row written for a
// pair beyond the distance limit (every statistic 0.00000 including
// LOD_p_value, Four_gamete N; a computed pair always has LOD_p_value 1 when
// its LOD is 0).
namespace plot {

struct LdCell {
  enum : uint8_t { kPresent = 1, kLodKnown = 2, kR2Known = 4 };
  float dprime = 0;
  float r2 = 0;
  double lod = 0;
  uint8_t flags = 0;
};

struct LdWindow {
  std::string type;
  std::vector<std::string> typesSeen;
  long long first = 0;  // 0-based SNP indices of the window, inclusive
  long long last = 0;
  long long rowsInWindow = 0;
  long long placeholders = 0;
  std::vector<LdCell> cells;

  long long size() const { return last - first + 1; }
  // Cell of the pair (i, j) of window-relative indices, i < j.
  size_t cellIndex(long long i, long long j) const {
    long long n = size();
    return static_cast<size_t>(i * (2 * n - i - 1) / 2 + (j - i - 1));
  }
  const LdCell& cell(long long i, long long j) const { return cells[cellIndex(i, j)]; }
};

// type empty: the "M" section, or the file's only section.
// snpCount: SNPs of the genotype file the report belongs to; a row naming a
// SNP beyond it is refused (the files do not belong together).
LdWindow readPwldWindow(const std::string& path, const std::string& type, long long first, long long last,
                        long long snpCount);

}  // namespace plot
