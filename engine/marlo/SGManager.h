#pragma once
#include <functional>
#include <string>
#include <vector>

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
  PairwiseLDStatus performLDAnalysis(const PairwiseLDOptions& options);

  // Shared steps of the haplotype commands. beginHaplotypeCommand opens the
  // three result files and reads the input's header; loadForHaplotypeCommand
  // loads one sample type. On failure both print why and close the files
  // (removing them when nothing has been written yet) and return false.
  bool beginHaplotypeCommand(HaplotypeResultFiles& files, const char* suffix, const char* who);
  bool loadForHaplotypeCommand(HaplotypeResultFiles& files, const std::string& typeName, bool wrote,
                               const char* who);

  // One sample type's estimate and its sections in the three files (data
  // holds the loaded type, t its index). False when the type counts against
  // the command (the reason printed); wrote is set when a section was written.
  using TypeEstimate = std::function<bool(GenoData& data, int t, HaplotypeResultFiles& files, bool& wrote)>;
  // After beginHaplotypeCommand: loads each of the given sample types and
  // runs estimate on it, on `workers` threads, each type with its own copy
  // of the data and its own sections in memory, which reach the files (and
  // its printed lines the console) in the order of types. Returns whether
  // every type succeeded; loadFailed is set (and the files closed, or
  // removed when nothing was written) when a type could not be loaded, which
  // ends the command there.
  bool estimateTypes(HaplotypeResultFiles& files, const std::vector<int>& types, unsigned workers, const char* who,
                     const TypeEstimate& estimate, bool& loadFailed);

  std::string m_inputFile;
  GenoData genoData;
};
