#pragma once
#include <string>

#include "marlo/GenoData.h"

class HaplotypeResultFiles;

// The analysis manager: owns the genotype data of the input file, walks its
// sample types and runs the haplotype and LD analyses on each. Every
// perform operation returns whether the command could do its work.
class SGManager {
 public:
  SGManager();
  virtual ~SGManager();

  bool setInputFile(const char* fileName);
  bool loadSampleType(const char* sampleTypeName);

  bool performHaplotypeEstimation(double eps, int randomInit, double minHaplotypeFreq);
  bool performHaplotypeEstimationPLEM(double eps, int randomInit, int blockLength, double plemEps,
                                      double minHaplotypeFreq);
  bool performLDAnalysis(bool useAnno, bool skipByAnno, int chrPosThresh, double eps, bool blocking,
                         int blockingMethod, bool crossOver);

  // Shared steps of the haplotype commands. beginHaplotypeCommand opens the
  // three result files and reads the input's header; loadForHaplotypeCommand
  // loads one sample type. On failure both print why and close the files
  // (removing them when nothing has been written yet) and return false.
  bool beginHaplotypeCommand(HaplotypeResultFiles& files, const char* suffix, const char* who);
  bool loadForHaplotypeCommand(HaplotypeResultFiles& files, const std::string& typeName, bool wrote,
                               const char* who);

  std::string m_inputFile;
  std::string m_classToAnalyze;
  GenoData genoData;
  // LD-blocking parameters, written directly by the command line.
  double m_dTag = 0.0;
  double m_dUTH = 0.98;
  double m_dLTH = 0.7;
  double m_dTHF = 0.05;
  double m_dE = 0.95;
  int m_nBST = 100;
  std::string m_manualBlockList;
};
