#include "qvalcalc/QValue.h"

#include <algorithm>
#include <string>

#include "common_sgt/NumberParse.h"

namespace qval {

double estimatePhi0(const std::vector<double>& pvalues) {
  const size_t m = pvalues.size();
  if (m == 0) return 1.0;
  const int steps = static_cast<int>(1.0 / kLambdaStep);
  double phi0 = 10000.0;
  for (int i = 0; i <= steps - 2; ++i) {
    // The grid is computed, not accumulated, so every lambda is 0.05 * i.
    const double lambda = kLambdaStep * i;
    size_t above = 0;
    for (double p : pvalues) above += p > lambda;
    const double pi = static_cast<double>(above) / (static_cast<double>(m) * (1.0 - lambda));
    if (pi < phi0) phi0 = pi;
  }
  if (phi0 == 0.0) phi0 = 0.5;
  return phi0;
}

std::vector<size_t> ascendingOrder(const std::vector<double>& pvalues) {
  std::vector<size_t> order(pvalues.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return pvalues[x] < pvalues[y]; });
  return order;
}

std::vector<size_t> progressPasses(size_t m) {
  std::vector<size_t> passes;
  for (size_t pass = 0; pass < m; pass += kLineCountStep) passes.push_back(pass);
  return passes;
}

std::vector<double> qValues(const std::vector<double>& sortedP, double phi0) {
  const size_t m = sortedP.size();
  std::vector<double> q(m);
  if (m == 0) return q;
  const double md = static_cast<double>(m);
  q[m - 1] = phi0 * sortedP[m - 1];
  for (size_t i = m - 1; i-- > 0;) {
    const double candidate = phi0 * md * sortedP[i] / static_cast<double>(i + 1);
    q[i] = std::min(q[i + 1], candidate);
  }
  return q;
}

bool parseFeatureLine(std::string_view line, int column, std::string_view& id, double& pvalue) {
  const size_t wanted = column == 0 ? 6 : 9;  // 0-based index of field 7 or field 10
  std::string_view fields[10];
  size_t count = 0;
  size_t start = 0;
  while (start < line.size() && count < 10) {
    size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) tab = line.size();
    if (tab > start) fields[count++] = line.substr(start, tab - start);
    start = tab + 1;
  }
  if (count < 10) return false;
  id = fields[0];
  std::string text(fields[wanted]);
  pvalue = parseDecimalDouble(text.c_str());
  return true;
}

}  // namespace qval
