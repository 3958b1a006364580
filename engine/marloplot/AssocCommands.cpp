#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <queue>
#include <string_view>
#include <unordered_map>

#include "marloplot/CommandRunner.h"
#include "plot/AssocPlots.h"
#include "plot/AssocReader.h"
#include "plot/GenoIndex.h"
#include "plot/InputError.h"

namespace marloplot {

namespace {

const CommandInfo kManhattan{
    "manhattan",
    "REPORT... --geno FILE... --out FILE [--fdr FILE.fdr...] [--level 0.05] [--top 5]",
    "-log10(p) of every row of snpxtab association reports (p: the smaller of\n"
    "GFT_p and LRT_p), placed by the chromosome and position of its marker in\n"
    "the matching genotype file.\n"
    "  --geno FILE...     one genotype file per report, in the same order\n"
    "  --fdr FILE...      q-value files: line at the largest p with q <= level\n"
    "  --level X          level of both lines (default 0.05); the Bonferroni line\n"
    "                     is at level / number of rows\n"
    "  --top N            label the N smallest p-values with their markers (default 5)\n",
    {{"geno", OptionSpec::kList},
     {"fdr", OptionSpec::kList},
     {"level", OptionSpec::kValue},
     {"top", OptionSpec::kValue}},
    1200,
    500};

const CommandInfo kQq{
    "qq",
    "REPORT... --out FILE",
    "Observed against expected -log10(p) of association reports (snpxtab or\n"
    "hapxtab; p: the smaller of GFT_p and LRT_p), with the diagonal, the 95%\n"
    "band of the expected order statistics, and the inflation factor lambda\n"
    "(also printed on standard output).\n",
    {},
    600,
    600};

std::string baseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Hit {
  double p;
  long long order;
  int chromosome;
  long long position;
  double y;
  std::string id;
  bool operator<(const Hit& o) const { return p != o.p ? p < o.p : order < o.order; }
};

int drawManhattanCommand(const ParsedArgs& a, const PictureOptions& pic) {
  const std::vector<std::string>& reports = a.positional;
  std::vector<std::string> genos = a.list("geno");
  std::vector<std::string> fdrs = a.list("fdr");
  if (reports.empty()) throw UsageError("no association report given");
  if (genos.size() != reports.size()) {
    throw UsageError(std::to_string(reports.size()) + " reports but " + std::to_string(genos.size()) +
                     " genotype files; give one --geno file per report, in the same order");
  }
  double level = numberOption(a, "level", 0.05, 0, 1);
  if (!(level > 0 && level < 1)) throw UsageError("--level must lie strictly between 0 and 1");
  long long top = static_cast<long long>(numberOption(a, "top", 5, 0, 1000));
  if (a.has("top") && std::to_string(top) != a.value("top")) throw UsageError("--top must be a whole number");

  plot::ManhattanData data;
  data.level = level;
  std::map<std::string, int> chromosomeOf;  // name -> provisional index
  std::vector<std::string> names;
  std::priority_queue<Hit> best;  // largest of the kept smallest on top
  long long missing = 0, order = 0;
  std::string firstMissing;
  for (size_t r = 0; r < reports.size(); ++r) {
    plot::GenoIndex geno = plot::GenoIndex::read(genos[r]);
    auto [it, fresh] = chromosomeOf.emplace(geno.chromosome, static_cast<int>(names.size()));
    if (fresh) names.push_back(geno.chromosome);
    int chromosome = it->second;
    std::unordered_map<std::string_view, size_t> where;
    where.reserve(geno.ids.size());
    for (size_t k = 0; k < geno.ids.size(); ++k) where.emplace(geno.ids[k], k);
    size_t cursor = 0;  // reports list the markers in genotype-file order: try the next one first
    plot::ReportInfo info = plot::readAssocReport(reports[r], [&](std::string_view id, double p, long long line) {
      ++order;
      size_t k;
      if (cursor < geno.ids.size() && geno.ids[cursor] == id) {
        k = cursor;
      } else {
        auto found = where.find(id);
        if (found == where.end()) {
          if (missing++ == 0) firstMissing = std::string(id) + " (" + reports[r] + ", line " + std::to_string(line) + ")";
          return;
        }
        k = found->second;
      }
      cursor = k + 1;
      double y = plot::minusLog10(p);
      data.points.push_back({chromosome, geno.positions[k], y});
      if (top > 0 && (static_cast<long long>(best.size()) < top || Hit{p, order, 0, 0, 0, {}} < best.top())) {
        best.push(Hit{p, order, chromosome, geno.positions[k], y, std::string(id)});
        if (static_cast<long long>(best.size()) > top) best.pop();
      }
    });
    if (info.featureType == "Haplotype") {
      plot::throwForFile(reports[r], "is a haplotype report; a Manhattan plot places SNP rows by position");
    }
    data.tests += info.rows;
  }
  if (data.tests == 0) plot::throwForFile(reports[0], "no association rows to draw");
  if (data.points.empty()) {
    plot::throwForFile(genos[0], "holds none of the reports' markers; no point to place (first: " + firstMissing + ")");
  }
  // Renumber the chromosomes in natural order.
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end(), plot::chromosomeBefore);
  std::vector<int> remap(names.size());
  for (size_t c = 0; c < names.size(); ++c) {
    remap[c] = static_cast<int>(std::find(sorted.begin(), sorted.end(), names[c]) - sorted.begin());
  }
  for (plot::ManhattanPoint& p : data.points) p.chromosome = remap[p.chromosome];
  data.chromosomes = sorted;
  std::vector<Hit> hits;
  while (!best.empty()) hits.push_back(best.top()), best.pop();
  std::reverse(hits.begin(), hits.end());
  for (const Hit& h : hits) data.labels.push_back({{remap[h.chromosome], h.position, h.y}, h.id});

  double bonferroni = level / static_cast<double>(data.tests);
  data.bonferroniY = -std::log10(bonferroni);
  double fdrP = -1;
  for (const std::string& f : fdrs) {
    plot::readQValues(f, [&](double p, double q) {
      if (q <= level && p > fdrP) fdrP = p;
    });
  }
  if (fdrP >= 0) {
    data.hasFdr = true;
    data.fdrY = plot::minusLog10(fdrP);
  }
  data.title = pic.titleGiven ? pic.title : "Association: " + baseName(reports[0]) + (reports.size() > 1 ? " and others" : "");

  std::vector<std::string> inputs = reports;
  inputs.insert(inputs.end(), genos.begin(), genos.end());
  inputs.insert(inputs.end(), fdrs.begin(), fdrs.end());
  PendingOutput output(pic.out, inputs);
  {
    plot::Canvas canvas(output.tempPath(), pic.out, pic.format, pic.width, pic.height);
    plot::drawManhattan(canvas, data);
    canvas.finish();
  }
  output.commit();
  std::printf("manhattan: %lld rows from %zu reports, %zu points placed, %lld rows whose marker is not in the genotype file%s\n",
              data.tests, reports.size(), data.points.size(), missing,
              missing ? (" (first: " + firstMissing + ")").c_str() : "");
  std::printf("Bonferroni line: p = %g / %lld = %e (-log10 %.4f)\n", level, data.tests, bonferroni, data.bonferroniY);
  if (!fdrs.empty()) {
    if (data.hasFdr) std::printf("q-value line: largest p with q <= %g is %e (-log10 %.4f)\n", level, fdrP, data.fdrY);
    else std::printf("q-value line: no q-value at or below %g; not drawn\n", level);
  }
  for (const Hit& h : hits) std::printf("top: %s\t%e\n", h.id.c_str(), h.p);
  std::printf("wrote %s\n", pic.out.c_str());
  return 0;
}

int drawQqCommand(const ParsedArgs& a, const PictureOptions& pic) {
  if (a.positional.empty()) throw UsageError("no association report given");
  plot::QqData data;
  for (const std::string& r : a.positional) {
    plot::readAssocReport(r, [&](std::string_view, double p, long long) { data.sortedP.push_back(p); });
  }
  if (data.sortedP.empty()) plot::throwForFile(a.positional[0], "no association rows to draw");
  std::sort(data.sortedP.begin(), data.sortedP.end());
  data.lambda = plot::inflationFactor(data.sortedP);
  data.title = pic.titleGiven ? pic.title
                              : "QQ: " + baseName(a.positional[0]) + (a.positional.size() > 1 ? " and others" : "");
  PendingOutput output(pic.out, a.positional);
  {
    plot::Canvas canvas(output.tempPath(), pic.out, pic.format, pic.width, pic.height);
    plot::drawQq(canvas, data);
    canvas.finish();
  }
  output.commit();
  std::printf("lambda = %.4f (%zu p-values)\n", data.lambda, data.sortedP.size());
  std::printf("wrote %s\n", pic.out.c_str());
  return 0;
}

}  // namespace

int runManhattan(const std::vector<std::string>& args) { return runCommand(kManhattan, args, drawManhattanCommand); }
int runQq(const std::vector<std::string>& args) { return runCommand(kQq, args, drawQqCommand); }

}  // namespace marloplot
