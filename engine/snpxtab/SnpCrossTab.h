#pragma once
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "common_sgt/SafeFiles.h"
#include "snpxtab/SnpCounter.h"

// snpxtab: tests every SNP of a genotype file for association with the
// sample classes 1 and 0 under one genetic model and writes one report.
class SnpCrossTab {
 public:
  SnpCrossTab() = default;
  virtual ~SnpCrossTab();
  SnpCrossTab(const SnpCrossTab&) = delete;
  SnpCrossTab& operator=(const SnpCrossTab&) = delete;

  // Runs the program on its command line; returns the exit status.
  int run(int argc, char** argv);

 private:
  bool parseArguments(int argc, char** argv);
  int analyse();
  void writeHeader(const std::string& chromosome);
  int failInput(long long lineNumber, const char* problem);

  time_t m_start = 0;
  std::string m_inputName;
  std::string m_outputName;
  std::string m_correction;
  int m_snpCountArg = 0;
  int m_snpCount = 0;
  double m_level = 0.0;
  int m_risk = 0;
  int m_model = 0;
  // The report, written under a temporary name and renamed when complete:
  // a run that fails leaves none, and an earlier report stays as it was.
  ResultFile m_outFile;
  FILE* m_out = nullptr;  // m_outFile's stream while open
  std::vector<int8_t> m_classCodes;
  int m_significant = 0;
};
