#include "snpxtab/SnpCrossTab.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/FileUtil.h"
#include "common_sgt/GenotypeScan.h"
#include "common_sgt/LineReader.h"
#include "common_sgt/NumberParse.h"
#include "common_sgt/SafeFiles.h"
#include "xtab/AssociationTest.h"
#include "xtab/ProgramSupport.h"

namespace {

const char* const kUsage = "usage: snpxtab genotype-file snp-count level risk model correction [output]\n";
const char* const kRiskNames[2] = {"Minor Allele", "Major Allele"};

const xtab::ReportTexts kReportTexts = {"#error=Cannot read input file.", "#error=Cannot write output file.",
                                         "the result file would overwrite the genotype file"};

int usageError(const char* message, const char* value) { return xtab::usageError("snpxtab", kUsage, message, value); }

// Offsets of the first four tabs; false when the line has fewer.
bool findFourTabs(std::string_view line, size_t tabs[4]) {
  size_t from = 0;
  for (int i = 0; i < 4; ++i) {
    size_t t = line.find('\t', from);
    if (t == std::string_view::npos) return false;
    tabs[i] = t;
    from = t + 1;
  }
  return true;
}

}  // namespace

SnpCrossTab::~SnpCrossTab() {
  // m_outFile's destructor removes an unfinished report.
}

bool SnpCrossTab::parseArguments(int argc, char** argv) {
  // Each failure has already been reported by usageError.
  if (argc < 7) {
    usageError("too few arguments", nullptr);
    return false;
  }
  m_inputName = argv[1];
  if (!xtab::baseNameHasDot(m_inputName)) {
    usageError("the genotype file name has no '.'", argv[1]);
    return false;
  }
  if (!parseWholeInt(argv[2], m_snpCountArg)) {
    usageError("snp-count is not an integer", argv[2]);
    return false;
  }
  if (!parseWholeDecimal(argv[3], m_level)) {
    usageError("level is not a number", argv[3]);
    return false;
  }
  if (!parseWholeInt(argv[4], m_risk) || (m_risk != 0 && m_risk != 1)) {
    usageError("risk must be 0 (minor allele) or 1 (major allele)", argv[4]);
    return false;
  }
  if (!parseWholeInt(argv[5], m_model) || m_model < 0 || m_model >= xtab::kModelCount) {
    usageError("model must be an integer from 0 to 5", argv[5]);
    return false;
  }
  m_correction = argv[6];
  if (argc == 8) {
    m_outputName = argv[7];
  } else {
    char code[32];
    snprintf(code, sizeof code, "%d%d", m_risk, m_model);
    m_outputName = xtab::crossTabOutputName(m_inputName, ".snp.crss", code);
  }
  return true;
}

int SnpCrossTab::run(int argc, char** argv) {
  m_start = time(nullptr);
  if (!parseArguments(argc, argv)) return 2;

  printf("####### Cross Tabulation Analysis Start ######## \n");
  fflush(stdout);

  m_snpCount = m_snpCountArg;
  if (m_snpCount < 1) {
    // Counting is a first pass over the file; a FIFO would be empty for the
    // second.
    std::string kind = nonRegularKind(m_inputName.c_str());
    if (!kind.empty()) {
      fprintf(stderr, "#error=Cannot read input file.\n");
      fprintf(stderr, "%s: not a regular file (%s); give the SNP count to read it once\n", m_inputName.c_str(),
              kind.c_str());
      return 1;
    }
    long long lines = countDataLines(m_inputName.c_str());
    if (lines < 0) {
      fprintf(stderr, "#error=Cannot read input file.\n");
      printSystemErrorFor(m_inputName.c_str());
      return 1;
    }
    long long snps = lines - 2;
    m_snpCount = snps > 2147483647LL ? 2147483647 : static_cast<int>(snps);
  }
  if (m_snpCount < 1) {
    printf("snp count is 0. abort.\n");
    fflush(stdout);
    fprintf(stderr, "#error=snp count is 0. abort\n");
    return -1;
  }
  printf("SNPID alloc[%d]\n", m_snpCount);
  printf("snp= %d\n", m_snpCount);
  fflush(stdout);
  return analyse();
}

int SnpCrossTab::failInput(long long lineNumber, const char* problem) {
  // A report cut short at a bad line is no result: it must not stay behind.
  m_out = nullptr;
  xtab::discardReport(m_outFile);
  printf("snpxtab: %s line %lld: %s\n", m_inputName.c_str(), lineNumber, problem);
  fflush(stdout);
  fprintf(stderr, "#error=Invalid input file %s at line %lld: %s\n", m_inputName.c_str(), lineNumber, problem);
  fflush(stderr);
  return -1;
}

void SnpCrossTab::writeHeader(const std::string& chromosome) {
  fprintf(m_out, "!Chromosome_No : %s\n", chromosome.c_str());
  fprintf(m_out, "!Class_Combination : 0,1\n");
  fprintf(m_out, "!Feature_Type : SNP\n");
  fprintf(m_out, "!Risk_Factor : %s\n", kRiskNames[m_risk]);
  fprintf(m_out, "!Model : %s\n", xtab::modelName(m_model));
  fprintf(m_out, "!Sig_Level : %e\n", m_level);
  fprintf(m_out, "!Multi_Correction : %s\n", m_correction.c_str());
  fprintf(m_out, "Feature_ID\tOR\tOR_CI\tAR\tPAR\tGFT_chi\tGFT_p\tYates_Corr\tLRT_chi\tLRT_p\tSignificant?\n");
}

int SnpCrossTab::analyse() {
  LineReader in;
  if (!xtab::openInputAndReport(in, m_inputName, m_outputName, kReportTexts, m_outFile)) return 1;
  m_out = m_outFile.fp();

  const char* riskName = kRiskNames[m_risk];
  const char* model = xtab::modelName(m_model);
  fprintf(stderr, "#result=------------- INPUT FILE DETAIL ------------------\n");
  fprintf(stderr, "#result=Genotype=%s\n", m_inputName.c_str());
  fprintf(stderr, "#result=risk,model=%d,%d\n", m_risk, m_model);
  fprintf(stderr, "#result=Total SNP Size=%d\n", m_snpCount);
  fflush(stderr);

  const double threshold = m_correction == "N" ? m_level : m_level / m_snpCount;
  const long long lastLine = static_cast<long long>(m_snpCount) + 2;
  xtab::SnpCounts counts;
  GenotypeColumnScan scan;
  std::string_view line;
  long long lineNumber = 0;
  long long snpLines = 0;
  while (lineNumber < lastLine && in.next(line)) {
    lineNumber = in.lineNumber();
    size_t tabs[4];
    if (!findFourTabs(line, tabs)) return failInput(lineNumber, "fewer than four tab-separated leading fields");
    if (tabs[0] == 0) return failInput(lineNumber, "empty marker ID");
    std::string_view genotypes = line.substr(tabs[3] + 1);
    if (lineNumber == 1) continue;
    if (lineNumber == 2) {
      xtab::readClassCodes(genotypes, m_classCodes);
      xtab::groupByClassCode(scan, m_classCodes);
      continue;
    }
    if (lineNumber == 3) writeHeader(std::string(line.substr(tabs[0] + 1, tabs[1] - tabs[0] - 1)));
    size_t badColumn = 0;
    scan.scan(genotypes);
    xtab::CountStatus status = xtab::CountStatus::kOk;
    if (!xtab::countScannedSnpLine(scan, m_classCodes.size(), counts))
      status = xtab::countSnpLine(genotypes, m_classCodes, counts, badColumn);
    if (status == xtab::CountStatus::kBadGenotype) {
      char msg[160];
      snprintf(msg, sizeof msg, "genotype of sample column %zu is not two alleles joined by '/'", badColumn + 1);
      return failInput(lineNumber, msg);
    }
    if (status == xtab::CountStatus::kColumnCount) {
      char msg[160];
      snprintf(msg, sizeof msg, "%zu genotype columns where the class line has %zu", badColumn, m_classCodes.size());
      return failInput(lineNumber, msg);
    }
    xtab::AssociationResult r = xtab::testAssociation(m_model, xtab::riskGenotypeCounts(counts, m_risk));
    bool significant = r.smallerP() < threshold;
    if (significant) ++m_significant;
    std::string_view marker = line.substr(0, tabs[0]);
    fwrite(marker.data(), 1, marker.size(), m_out);
    xtab::printStatistics(m_out, r);
    fputs(significant ? "\tY\n" : "\tN\n", m_out);
    ++snpLines;
  }
  if (in.failed()) {
    // The SNPs after the failure would be missing from a report that looks
    // complete.
    m_out = nullptr;
    m_outFile.discard();
    fprintf(stderr, "#error=Cannot read input file.\n");
    fprintf(stderr, "%s: read error after line %lld: %s\n", m_inputName.c_str(), lineNumber, strerror(in.error()));
    return 1;
  }
  if (snpLines == 0) return failInput(lineNumber, "the file holds no SNP line");
  if (snpLines < m_snpCount) {
    printf("snpxtab: %s holds %lld SNP lines, fewer than the SNP count %d\n", m_inputName.c_str(), snpLines,
           m_snpCount);
  }

  m_out = nullptr;
  if (!xtab::closeReport(m_outFile, kReportTexts)) return 1;

  int runtime = static_cast<int>(time(nullptr) - m_start);
  printf("####### Cross Tabulation Analysis Stop ########\n");
  printf("Total Running Time: %d sec", runtime);
  fflush(stdout);
  fprintf(stderr, "#success= Significant(%s/%s)=%d; \n", riskName, model, m_significant);
  fprintf(stderr, "#runtime=%d\n", runtime);
  fprintf(stderr, "#result=------------- ANALYSIS RESULT (%s/%s) --------------------\n", riskName, model);
  fprintf(stderr, "#result=Significant SNP Size = %d\n", m_significant);
  fflush(stderr);
  return 0;
}
