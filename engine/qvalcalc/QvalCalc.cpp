#include "qvalcalc/QvalCalc.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "common_sgt/LineReader.h"
#include "common_sgt/NumberParse.h"
#include "common_sgt/SafeFiles.h"
#include "qvalcalc/QValue.h"
#include "xtab/ProgramSupport.h"

namespace {

const char* const kUsage = "usage: qvalcalc kind report column\n";

const xtab::ReportTexts kReportTexts = {"#error=Cannot read input file.", "#error=Cannot write fdr file.",
                                         "the fdr file would overwrite the report"};

void usageError(const char* message, const char* value) { xtab::usageError("qvalcalc", kUsage, message, value); }

}  // namespace

bool QvalCalc::parseArguments(int argc, char** argv) {
  if (argc < 4) {
    usageError("too few arguments", nullptr);
    return false;
  }
  if (!parseWholeInt(argv[1], m_kind)) {
    usageError("kind must be an integer (0 for a SNP report)", argv[1]);
    return false;
  }
  m_inputName = argv[2];
  if (!parseWholeInt(argv[3], m_column)) {
    usageError("column must be an integer (0 for the goodness-of-fit p-value)", argv[3]);
    return false;
  }
  m_outputName = m_inputName + ".fdr";
  return true;
}

int QvalCalc::run(int argc, char** argv) {
  m_start = time(nullptr);
  if (!parseArguments(argc, argv)) return 2;

  printf("## Input p-value file: %s\n", m_inputName.c_str());
  fflush(stdout);
  LineReader in;
  // Written under a temporary name and renamed when complete: a failed run
  // leaves no .fdr, and an earlier one stays as it was.
  ResultFile outFile;
  if (!xtab::openInputAndReport(in, m_inputName, m_outputName, kReportTexts, outFile)) return 1;
  FILE* out = outFile.fp();

  const long long headerLines = m_kind == 0 ? 8 : 7;
  std::string_view line;
  while (in.next(line)) {
    if (in.lineNumber() <= headerLines) continue;
    std::string_view id;
    double p = 0.0;
    if (!qval::parseFeatureLine(line, m_column, id, p)) {
      printf("qvalcalc: line %lld of %s has fewer than ten fields; skipped\n", in.lineNumber(), m_inputName.c_str());
      continue;
    }
    m_idStart.push_back(m_idText.size());
    m_idText.append(id);
    m_pvalues.push_back(p);
  }
  if (in.failed()) {
    // q-values of the p-values read so far would pass for the whole report.
    const int err = in.error();
    outFile.discard();
    fprintf(stderr, "#error=Cannot read input file.\n");
    fprintf(stderr, "%s: read error after line %lld: %s\n", m_inputName.c_str(), in.lineNumber(), strerror(err));
    return 1;
  }
  in.close();
  m_idStart.push_back(m_idText.size());
  const size_t m = m_pvalues.size();
  printf("## Total P-value Count: %d\n", static_cast<int>(m));

  const double phi0 = qval::estimatePhi0(m_pvalues);
  std::vector<size_t> order = qval::ascendingOrder(m_pvalues);
  for (size_t pass : qval::progressPasses(m)) printf("# Line Cnt: %d\n", static_cast<int>(pass));
  std::vector<double> sorted(m);
  for (size_t i = 0; i < m; ++i) sorted[i] = m_pvalues[order[i]];
  std::vector<double> q = qval::qValues(sorted, phi0);

  printf("\n");
  printf("phi0: %f\n", phi0);
  fflush(stdout);

  fputs(m_column == 0 ? "featureID\tpvalue1\tqvalue1\n" : "featureID\tpvalue2\tqvalue2\n", out);
  for (size_t i = 0; i < m; ++i) {
    size_t k = order[i];
    fwrite(m_idText.data() + m_idStart[k], 1, m_idStart[k + 1] - m_idStart[k], out);
    fprintf(out, "\t%e\t%e\n", sorted[i], q[i]);
  }
  if (!xtab::closeReport(outFile, kReportTexts)) return 1;
  printf("Total Running Time: %f sec\n", static_cast<double>(time(nullptr) - m_start));
  fflush(stdout);
  return 0;
}
