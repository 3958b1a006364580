#include "hapxtab/HapCrossTab.h"

#include <cstring>

#include "common_sgt/LineReader.h"
#include "common_sgt/NumberParse.h"
#include "xtab/AssociationTest.h"
#include "xtab/ProgramSupport.h"

namespace {

const char* const kUsage = "usage: hapxtab block-file level model correction [output]\n";

const xtab::ReportTexts kReportTexts = {"#error=Cannot read input file", "#error=Cannot write output file",
                                         "the result file would overwrite the block file"};

int usageError(const char* message, const char* value) { return xtab::usageError("hapxtab", kUsage, message, value); }

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A count of a header line: digits only.
bool parseCount(std::string_view s, int& value) {
  if (s.empty() || s.size() > 9) return false;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

// Splits at tabs; empty fields vanish.
void splitFields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  size_t start = 0;
  while (start < line.size()) {
    size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) tab = line.size();
    if (tab > start) fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

int8_t classCodeOf(std::string_view s) {
  if (s == "1") return 1;
  if (s == "0") return 0;
  return -1;
}

// The copy count of a cell: 0, 1, 2, or -1 for any other text.
int copyCountOf(std::string_view s) {
  if (s.size() == 1 && s[0] >= '0' && s[0] <= '2') return s[0] - '0';
  return -1;
}

}  // namespace

HapCrossTab::~HapCrossTab() {
  // m_outFile's destructor removes an unfinished report.
}

bool HapCrossTab::parseArguments(int argc, char** argv) {
  if (argc < 5) {
    usageError("too few arguments", nullptr);
    return false;
  }
  m_inputName = argv[1];
  if (!xtab::baseNameHasDot(m_inputName)) {
    usageError("the block file name has no '.'", argv[1]);
    return false;
  }
  if (!parseWholeDecimal(argv[2], m_level)) {
    usageError("level is not a number", argv[2]);
    return false;
  }
  if (!parseWholeInt(argv[3], m_model) || m_model < 0 || m_model >= xtab::kModelCount) {
    usageError("model must be an integer from 0 to 5", argv[3]);
    return false;
  }
  m_correction = argv[4];
  if (argc == 6) {
    m_outputName = argv[5];
  } else {
    char code[16];
    snprintf(code, sizeof code, "%d", m_model);
    m_outputName = xtab::crossTabOutputName(m_inputName, ".hap.crss", code);
  }
  return true;
}

int HapCrossTab::run(int argc, char** argv) {
  m_start = time(nullptr);
  if (!parseArguments(argc, argv)) return 2;
  printf("####### Haplotype Cross Tabulation Analysis Start ######## \n");
  fflush(stdout);
  return analyse();
}

void HapCrossTab::discardReport() {
  // A report cut short is no result: it must not stay behind.
  m_out = nullptr;
  xtab::discardReport(m_outFile);
}

int HapCrossTab::failInput(long long lineNumber, const char* problem) {
  discardReport();
  printf("hapxtab: %s line %lld: %s\n", m_inputName.c_str(), lineNumber, problem);
  fflush(stdout);
  fprintf(stderr, "#error=Invalid input file %s at line %lld: %s\n", m_inputName.c_str(), lineNumber, problem);
  fflush(stderr);
  return -1;
}

void HapCrossTab::writeHeader() {
  fprintf(m_out, "!Chromosome_No : %s\n", m_chromosome.c_str());
  fprintf(m_out, "!Class_Combination : 0,1\n");
  fprintf(m_out, "!Feature_Type : Haplotype\n");
  fprintf(m_out, "!Model : %s\n", xtab::modelName(m_model));
  fprintf(m_out, "!Sig_Level : %e\n", m_level);
  fprintf(m_out, "!Multi_Correction : %s\n", m_correction.c_str());
  fprintf(m_out,
          "Feature_ID\tOR\tOR_CI\tAR\tPAR\tGFT_chi\tGFT_p\tYates_Corr\tLRT_chi\tLRT_p\tSig_Level\tSignificant?\n");
  m_headerWritten = true;
}

bool HapCrossTab::readHeaderLine(std::string_view line, long long lineNumber) {
  m_sawHeaderLine = true;
  size_t colon = line.find(':');
  std::string_view key = line.substr(0, colon);
  std::string_view value = colon == std::string_view::npos ? std::string_view() : trim(line.substr(colon + 1));
  if (key == "!Chromosome_No") {
    m_chromosome = value;
  } else if (key == "!Sample_Type") {
    m_sampleType = value;
    // Class codes belong to the section that lists them.
    m_hasClassCodes = false;
    m_classCodes.clear();
    if (m_sampleType == "M") m_sawMergedSection = true;
  } else if (key == "!Sample_Count") {
    if (!parseCount(value, m_sampleCount)) {
      failInput(lineNumber, "!Sample_Count is not a count");
      return false;
    }
  } else if (key == "!Block_No") {
    if (!parseCount(value, m_blockNo)) m_blockNo = 0;  // informative only
  } else if (key == "!Total_SNP_Count") {
    if (!parseCount(value, m_snpCount)) {
      failInput(lineNumber, "!Total_SNP_Count is not a count");
      return false;
    }
    m_hasSnpCount = true;
  } else if (key == "!Haplotype_Count") {
    if (!parseCount(value, m_haplotypeCount)) {
      failInput(lineNumber, "!Haplotype_Count is not a count");
      return false;
    }
    // The haplotype space is the set of haplotypes tested: those of the
    // merged sections.
    if (m_sampleType == "M") m_haplotypeSpace += m_haplotypeCount;
  }
  if (m_sampleType == "0") {
    m_controlSize = m_sampleCount;
  } else if (m_sampleType == "1") {
    m_caseSize = m_sampleCount;
  } else if (!m_headerWritten) {
    writeHeader();
  }
  return true;
}

bool HapCrossTab::readSectionLine(std::string_view line, long long lineNumber, int& status) {
  splitFields(line, m_fields);
  if (m_fields.empty()) return true;
  std::string_view first = m_fields[0];
  const size_t firstSample = static_cast<size_t>(m_snpCount) + 2;
  if (first == "Tag_SNP") {
    if (!m_hasSnpCount) {
      status = failInput(lineNumber, "Tag_SNP line before !Total_SNP_Count");
      return false;
    }
    if (m_fields.size() < firstSample) {
      status = failInput(lineNumber, "Tag_SNP line shorter than its marker columns");
      return false;
    }
    m_classCodes.clear();
    for (size_t i = firstSample; i < m_fields.size(); ++i) m_classCodes.push_back(classCodeOf(m_fields[i]));
    m_hasClassCodes = true;
    return true;
  }
  if (first == "SNP_List" || first == "SNP_ID" || first == "Allele" || first == "Location") return true;

  if (++m_rows > kMaxHaplotypeRows) {
    printf("too many haplotype, maximum=%d\n", kMaxHaplotypeRows);
    fflush(stdout);
    fprintf(stderr, "#error=too many haplotype, maximum=%d\n", kMaxHaplotypeRows);
    fflush(stderr);
    discardReport();
    status = -1;
    return false;
  }
  if (!m_hasClassCodes) {
    status = failInput(lineNumber, "haplotype row before the Tag_SNP line of its section");
    return false;
  }
  if (m_fields.size() < firstSample + m_classCodes.size()) {
    status = failInput(lineNumber, "haplotype row with fewer copy counts than samples");
    return false;
  }
  if (m_correction != "N" && m_haplotypeCount < 1) {
    status = failInput(lineNumber, "haplotype row in a block without a haplotype count");
    return false;
  }
  testHaplotypeRow(lineNumber);
  return true;
}

bool HapCrossTab::testHaplotypeRow(long long) {
  const size_t firstSample = static_cast<size_t>(m_snpCount) + 2;
  double counts[2][3] = {{0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}};  // [class][copies]
  for (size_t s = 0; s < m_classCodes.size(); ++s) {
    int8_t code = m_classCodes[s];
    if (code < 0) continue;
    int k = copyCountOf(m_fields[firstSample + s]);
    if (k < 0) continue;
    counts[code][k] += 1.0;
  }
  xtab::GenotypeCounts g;
  for (int c = 0; c < 2; ++c) {
    g.rr[c] = counts[c][2];
    g.ro[c] = counts[c][1];
    g.oo[c] = counts[c][0];
  }
  xtab::AssociationResult r = xtab::testAssociation(m_model, g);
  double threshold = m_correction == "N" ? m_level : m_level / m_haplotypeCount;
  bool significant = r.smallerP() < threshold;
  if (significant) ++m_significant;
  std::string_view id = m_fields[0];
  fwrite(id.data(), 1, id.size(), m_out);
  xtab::printStatistics(m_out, r);
  fprintf(m_out, "\t%e\t%c\n", threshold, significant ? 'Y' : 'N');
  return true;
}

int HapCrossTab::analyse() {
  LineReader in;
  if (!xtab::openInputAndReport(in, m_inputName, m_outputName, kReportTexts, m_outFile)) return 1;
  m_out = m_outFile.fp();
  fprintf(stderr, "#result=------------- INPUT FILE DETAIL ------------------\n");
  fprintf(stderr, "#result=Haplotype=%s\n", m_inputName.c_str());
  fprintf(stderr, "#result=model=%d\n", m_model);
  fflush(stderr);

  std::string_view line;
  long long lineNumber = 0;
  while (in.next(line)) {
    lineNumber = in.lineNumber();
    if (!line.empty() && line[0] == '!') {
      if (!readHeaderLine(line, lineNumber)) return -1;
      continue;
    }
    if (m_sampleType != "M") continue;
    int status = 0;
    if (!readSectionLine(line, lineNumber, status)) return status;
  }
  if (in.failed()) {
    // The haplotypes after the failure would be missing from a report that
    // looks complete.
    discardReport();
    fprintf(stderr, "#error=Cannot read input file\n");
    fprintf(stderr, "%s: read error after line %lld: %s\n", m_inputName.c_str(), lineNumber, strerror(in.error()));
    return 1;
  }
  if (!m_sawHeaderLine) return failInput(lineNumber, "no header line: not a haplotype block file");
  if (!m_headerWritten) writeHeader();
  if (!m_sawMergedSection) printf("hapxtab: %s has no section of sample type M; no haplotype tested\n", m_inputName.c_str());

  m_out = nullptr;
  if (!xtab::closeReport(m_outFile, kReportTexts)) return 1;

  int runtime = static_cast<int>(time(nullptr) - m_start);
  const char* model = xtab::modelName(m_model);
  printf("####### Haplotype Cross Tabulation Analysis Stop ########\n");
  printf("Total Running Time: %d sec", runtime);
  fflush(stdout);
  fprintf(stderr, "#result=Chromosome=%s\n", m_chromosome.c_str());
  fprintf(stderr, "#result=Control Sample Size=%d\n", m_controlSize);
  fprintf(stderr, "#result=Case Sample Size=%d\n", m_caseSize);
  fprintf(stderr, "#result=Total Haplotype Space Size=%lld\n", m_haplotypeSpace);
  fprintf(stderr, "#success= Significant(%s)=%d; \n", model, m_significant);
  fprintf(stderr, "#runtime=%d\n", runtime);
  fprintf(stderr, "#result=------------- ANALYSIS RESULT --------------------\n");
  fprintf(stderr, "#result=Significant Haplotype Size=%d\n", m_significant);
  fflush(stderr);
  return 0;
}
