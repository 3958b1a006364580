#pragma once
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "common_sgt/SafeFiles.h"

// hapxtab: tests every haplotype of the merged section ("M") of a haplotype
// block file for association with the sample classes 1 and 0, with the
// number of copies an individual carries (0, 1, 2) as its genotype.
class HapCrossTab {
 public:
  static constexpr int kMaxHaplotypeRows = 5000;

  HapCrossTab() = default;
  virtual ~HapCrossTab();
  HapCrossTab(const HapCrossTab&) = delete;
  HapCrossTab& operator=(const HapCrossTab&) = delete;

  // Runs the program on its command line; returns the exit status.
  int run(int argc, char** argv);

 private:
  bool parseArguments(int argc, char** argv);
  int analyse();
  // Each returns false after reporting a malformed line.
  bool readHeaderLine(std::string_view line, long long lineNumber);
  bool readSectionLine(std::string_view line, long long lineNumber, int& status);
  bool testHaplotypeRow(long long lineNumber);
  void writeHeader();
  void discardReport();
  int failInput(long long lineNumber, const char* problem);

  time_t m_start = 0;
  std::string m_inputName;
  std::string m_outputName;
  std::string m_correction;
  double m_level = 0.0;
  int m_model = 0;
  // The report, written under a temporary name and renamed when complete:
  // a run that fails leaves none, and an earlier report stays as it was.
  ResultFile m_outFile;
  FILE* m_out = nullptr;  // m_outFile's stream while open

  std::string m_chromosome;
  std::string m_sampleType;
  int m_sampleCount = 0;
  int m_blockNo = 0;
  int m_snpCount = 0;
  bool m_hasSnpCount = false;
  int m_haplotypeCount = 0;
  int m_controlSize = 0;
  int m_caseSize = 0;
  long long m_haplotypeSpace = 0;
  int m_significant = 0;
  int m_rows = 0;
  bool m_headerWritten = false;
  bool m_sawHeaderLine = false;
  bool m_sawMergedSection = false;
  bool m_hasClassCodes = false;
  std::vector<int8_t> m_classCodes;  // 1, 0, or -1 for any other sample type
  std::vector<std::string_view> m_fields;
};
