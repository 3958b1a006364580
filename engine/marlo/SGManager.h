#pragma once
#include <string>

#include "ld/PairwiseLD.h"
#include "marlo/EstimatorOptions.h"
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

  bool performHaplotypeEstimation(const EmOptions& options);
  bool performHaplotypeEstimationPLEM(const PlemOptions& options);
  bool performLDAnalysis(const PairwiseLDOptions& options);

  // Shared steps of the haplotype commands. beginHaplotypeCommand opens the
  // three result files and reads the input's header; loadForHaplotypeCommand
  // loads one sample type. On failure both print why and close the files
  // (removing them when nothing has been written yet) and return false.
  bool beginHaplotypeCommand(HaplotypeResultFiles& files, const char* suffix, const char* who);
  bool loadForHaplotypeCommand(HaplotypeResultFiles& files, const std::string& typeName, bool wrote,
                               const char* who);

  std::string m_inputFile;
  GenoData genoData;
};
