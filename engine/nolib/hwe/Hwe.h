#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common_sgt/FastFormat.h"
#include "common_sgt/GenotypeScan.h"
#include "common_sgt/LineReader.h"
#include "common_sgt/ProgressSgt.h"
#include "common_sgt/SafeFiles.h"
#include "hwe/AffectionVector.h"
#include "hwe/SnpQuality.h"

// The flagging object of PREFLAG: judges every SNP of a genotype file per
// sample class and over all samples ("M"), writes the ".flag" report, appends
// the sample-hint file to it and writes the filtered genotype file.
class Hwe {
 public:
  Hwe(double sampleMissingLimit, double snpMissingLimit, double mafLimit, double hweLimit, bool multipleCorrection,
      const char* outFile, const char* sampleHintFile);
  virtual ~Hwe();
  Hwe(const Hwe&) = delete;
  Hwe& operator=(const Hwe&) = delete;

  ProgressSgt& progress() { return m_progress; }
  // Reads the input ahead on a second thread; the results are the same.
  void setReadAhead(bool on) { m_input.setReadAhead(on); }
  void setFlagClass(const char* className);
  const std::string& flagClass() const { return m_flagClass; }
  bool run(const char* inputFile);

  // Total and valid genotype counts of the last SNP line handled.
  int getTotalCount() const { return m_quality.total; }
  int getValidCount() const { return m_quality.valid; }
  int getMissingCount() const { return m_quality.missing; }
  double getCallRate() const { return m_quality.callRate; }
  double getCallRateLimit() const { return m_callRateLimit; }
  double getMafLimit() const { return m_mafLimit; }
  double getHweLimit() const { return m_hweLimit; }
  double getHweThreshold() const { return m_hweThreshold; }
  double getSampleMissingLimit() const { return m_sampleMissingLimit; }
  const std::string& getChromosome() const { return m_chromosome; }

 private:
  struct Flags {
    int mono = 0;
    int callRate = 0;
    int maf = 0;
    int hwe = 0;
    int total = 0;
  };

  bool checkFileNames();
  bool closeFiles(bool ok);
  bool readSampleClasses();
  void writeSectionHeader(const char* className);
  // Every section (each class, then "M") is judged in one pass over the SNP
  // lines: the first section's rows go straight to the report, the others'
  // wait in a buffer of their own, spilled in chunks to one shared scratch
  // file, until their turn; memory and open files stay bounded for any
  // number of sample types.
  struct Section {
    std::string name;
    int counted = -1;  // class index, or -1 for every column
    bool isMerge = false;
    bool isFlagClass = false;
    std::shared_ptr<TextBuffer> rows;
    std::vector<std::pair<long long, size_t>> chunks;  // offset and length in the scratch file
    int flagged = 0;
  };
  void prepareSections();
  void releaseSections();
  bool scanSections();
  void warnColumns(std::string_view marker);
  void tallySection(const Section& section);
  void replaySection(Section& section);
  void finishMergeSection(const Section& section);
  void closeRows();
  void spill(Section& section);
  bool copyScratch(long long offset, size_t length);
  Flags judge() const;
  void progressShow(long long position);

  // Sample side: the last two steps of a run.
  bool appendSampleHint();
  bool writeFilteredFile();
  bool readSampleFlags(std::vector<char>& flags);
  bool reduceLine(std::string_view line, const std::vector<char>& flags, bool anyFlag, std::string& out,
                  bool& unchanged);

  // Settings.
  double m_sampleMissingLimit;
  double m_callRateLimit;
  double m_mafLimit;
  double m_hweLimit;      // as printed
  double m_hweThreshold;  // as compared, divided under multiple correction
  bool m_multipleCorrection;
  std::string m_outFile;
  std::string m_hintFile;
  std::string m_flagClass = "M";

  // Files.
  std::string m_inputName;
  std::string m_reportName;
  LineReader m_input;
  long long m_snpStart = 0;  // byte offset of the first SNP line
  // Both results are written under temporary names and renamed only after a
  // complete run: a failed run leaves neither a cut report nor a cut file.
  ResultFile m_reportFile;
  ResultFile m_outputFile;
  FILE* m_report = nullptr;  // m_reportFile's stream while open
  FILE* m_output = nullptr;  // m_outputFile's stream while open
  bool m_outputFailed = false;
  bool m_outputWritten = false;

  // Samples.
  AffectionVector m_sampleClasses;
  int m_sampleCount = 0;
  std::vector<std::string> m_classes;  // distinct, in order of first appearance
  std::vector<int> m_classSizes;
  std::vector<int> m_sampleClassIndex;  // per sample, index into m_classes

  // Chromosome text of the first SNP line.
  std::string m_chromosome;
  bool m_chromosomeFound = false;

  // Per-SNP work.
  GenotypeTally m_tally;
  SnpQuality m_quality;
  std::vector<Section> m_sections;
  GenotypeColumnScan m_scan;
  std::vector<long long> m_positions;  // line ends, shown again by every later section
  FILE* m_scratch = nullptr;
  char* m_scratchMemory = nullptr;  // the scratch stream's buffer when no file could be made
  size_t m_scratchMemorySize = 0;
  bool m_scratchInMemory = false;
  long long m_scratchEnd = 0;
  size_t m_chunkSize = 0;
  bool m_spoolFailed = false;
  int m_spoolError = 0;
  int m_stopReportLine = 0;  // source line of the report of a malformed SNP line
  int m_snpIndex = 0;
  int m_mRows = 0;  // rows of the "M" section
  bool m_malformed = false;

  ProgressSgt m_progress;
};
