#pragma once
#include <cstdio>
#include <string>

// The three result files of a haplotype command: the input file name as
// typed, followed by <prefix>.ihap, <prefix>.phap and <prefix>.hblk (prefix
// ".em" or ".plem"), each opened once with mode "w" and holding one section
// per analysed sample type.
class HaplotypeResultFiles {
 public:
  HaplotypeResultFiles() = default;
  ~HaplotypeResultFiles();
  HaplotypeResultFiles(const HaplotypeResultFiles&) = delete;
  HaplotypeResultFiles& operator=(const HaplotypeResultFiles&) = delete;

  // Opens the individual, population and block files in that order. When
  // one cannot be opened, prints "<who> - cannot open hap1 and/or hap2 file
  // for result!" (individual or population file) or "<who> - cannot open
  // hblk file for result!" (block file), removes the files it did open and
  // returns false.
  bool open(const std::string& inputFile, const char* prefix, const char* who);
  // Closes the files; false (message printed) when a write error occurred.
  bool close();
  // Closes and removes the files: for a command that wrote nothing.
  void discard();

  FILE* individual = nullptr;
  FILE* population = nullptr;
  FILE* block = nullptr;

 private:
  std::string m_names[3];
};
