#pragma once
#include <functional>
#include <string>
#include <string_view>

// Streaming readers of association reports and q-value files.
//
// Association report (snpxtab or hapxtab): "!" header lines, then the column
// line starting "Feature_ID\t", then one row per feature with GFT_p in field
// 7 and LRT_p in field 10. The p-value of a row is the smaller of the two,
// the value the report's significance column is decided on.
// Refuses (InputError with file and line): a row before the column line, a
// row whose field count differs from the column line's, an empty
// Feature_ID, a p-value that is not a decimal number from 0 to 1, a file
// without a column line.
//
// q-value file (qvalcalc): a header line, then featureID, p-value and
// q-value per line. Refuses lines of another field count and values that
// are not decimal numbers from 0 to 1.
namespace plot {

struct ReportInfo {
  std::string featureType;  // text after "!Feature_Type : " ("SNP", "Haplotype"), empty when absent
  long long rows = 0;
};

// row(id, p, line) for every feature row, in file order.
ReportInfo readAssocReport(const std::string& path,
                           const std::function<void(std::string_view, double, long long)>& row);

// row(p, q) for every line after the header.
void readQValues(const std::string& path, const std::function<void(double, double)>& row);

// -log10(p), with p = 0 (an underflowed tail) placed at the smallest double.
double minusLog10(double p);

}  // namespace plot
