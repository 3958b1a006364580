#pragma once
#include <cstddef>
#include <string_view>
#include <vector>

// The false-discovery-rate arithmetic of qvalcalc, apart from its files.
namespace qval {

// Steps of the threshold grid of the null-proportion estimate.
constexpr double kLambdaStep = 0.05;
// Sort progress is printed every this many passes of the exchange sort.
constexpr size_t kLineCountStep = 2000;

// Estimated proportion of true null hypotheses over the grid
// lambda = 0.05 * i: the smallest n(lambda) / (m * (1 - lambda)), where
// n(lambda) counts the p-values strictly above lambda; 0.5 when that minimum
// is 0, and 1 without any p-value.
double estimatePhi0(const std::vector<double>& pvalues);

// Feature indices in ascending p-value order, equal p-values in input order
// (the order the neighbour-exchange sort produces).
std::vector<size_t> ascendingOrder(const std::vector<double>& pvalues);

// The pass numbers at which the neighbour-exchange sort of m features
// reports its progress: 0, 2000, 4000, ... below m.
std::vector<size_t> progressPasses(size_t m);

// q-values of ascending p-values: q(m) = phi0 p(m), and going down
// q(i) = min(q(i + 1), phi0 m p(i) / i).
std::vector<double> qValues(const std::vector<double>& sortedP, double phi0);

// Field 1 and field 7 (column 0) or 10 (any other column) of a report row,
// fields split at tabs with empty fields skipped. False when the row has
// fewer than ten fields. A p-value text that is no number reads as 0.
bool parseFeatureLine(std::string_view line, int column, std::string_view& id, double& pvalue);

}  // namespace qval
