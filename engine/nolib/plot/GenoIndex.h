#pragma once
#include <string>
#include <string_view>
#include <vector>

// The markers of a genotype file: identifier and position per SNP line, in
// file order, plus the file's chromosome (field 2 of the first SNP line, the
// suite's rule). Reads only the first three fields of each line, so the
// sample columns cost the scan and nothing more.
//
// Accepts: two header lines, then SNP lines with at least three tab-separated
// fields, a non-empty identifier and an integer position.
// Refuses (InputError with file and line): fewer than two header lines, a SNP
// line with fewer fields, an empty identifier, a position that is not an
// integer, an empty line among the SNP lines.
namespace plot {

struct GenoIndex {
  std::string chromosome;
  std::vector<std::string> ids;
  std::vector<long long> positions;

  static GenoIndex read(const std::string& path);
};

}  // namespace plot
