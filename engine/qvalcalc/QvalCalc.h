#pragma once
#include <ctime>
#include <string>
#include <vector>

// qvalcalc: false-discovery-rate q-values from the p-values of a
// cross-tabulation report, written to the report's name followed by ".fdr".
class QvalCalc {
 public:
  QvalCalc() = default;
  virtual ~QvalCalc() = default;

  // Runs the program on its command line; returns the exit status.
  int run(int argc, char** argv);

 private:
  bool parseArguments(int argc, char** argv);

  time_t m_start = 0;
  int m_kind = 0;
  int m_column = 0;
  std::string m_inputName;
  std::string m_outputName;
  // Identifiers, one after the other, with their start offsets.
  std::string m_idText;
  std::vector<size_t> m_idStart;
  std::vector<double> m_pvalues;
};
