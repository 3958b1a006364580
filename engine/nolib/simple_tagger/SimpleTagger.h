#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "common_sgt/LineReader.h"
#include "common_sgt/ProgressSgt.h"
#include "simple_tagger/TagSelection.h"

// TAG1: r-squared tag SNPs from a pairwise LD report (.pwld), one .tag
// section per .pwld section.
class SimpleTagger {
 public:
  SimpleTagger();
  virtual ~SimpleTagger();
  SimpleTagger(const SimpleTagger&) = delete;
  SimpleTagger& operator=(const SimpleTagger&) = delete;

  ProgressSgt& progress() { return m_progress; }
  // False when a file cannot be opened, a section header is missing or
  // malformed, a pair line is malformed (its section is written from the
  // pairs read before it), or the .tag file cannot be written.
  bool run(const char* inputFile, double r2Threshold);

 private:
  enum class SectionEnd { kNextSection, kEndOfFile, kBadHeader, kBadPair };

  SectionEnd readSection();
  bool readHeaderLine(std::string& text, const char* problem, int reportLine);
  bool nextLine(std::string_view& line);
  bool parsePair(std::string_view line, int& i, int& j, double& r2) const;
  void writeSection();
  void noteWriteError(int reportLine);

  std::string m_inputName;
  double m_r2Threshold = 0.8;
  std::string m_chromosome = "UNKNOWN_CHROMOSOME";
  std::string m_distanceLimit = "UNKNOWN_DISTANCE";
  std::string m_sampleType = "UNKNOWN_SAMPLE_TYPE";
  LineReader m_input;
  std::string m_pending;  // a "!" line that ended the previous section
  bool m_havePending = false;
  FILE* m_tag = nullptr;
  bool m_writeError = false;
  TagSection m_section;
  ProgressSgt m_progress;
};
