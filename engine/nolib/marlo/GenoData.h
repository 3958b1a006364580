#pragma once
#include <bitset>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "marlo/Phenotype.h"

class LineReader;

struct SampleTypeEntry {
  std::string name;
  int count = 0;
};

// The genotype file of one run. loadHeader reads the sample identifiers and
// types and counts the marker lines once per command; loadData then loads the
// markers and the genotypes of one sample type at a time and groups its
// individuals into Phenotype records (one per distinct multi-marker
// genotype, numbered in order of their first individual).
//
// File layout: line 1 = four leading fields and one identifier per sample
// column, line 2 = four leading fields and the sample type of each column,
// then one line per marker: identifier, chromosome, position, one field not
// read, then one three-character genotype (allele, separator, allele) per
// sample column, tab separated. Empty lines at the very end of the file are
// not marker lines.
class GenoData {
 public:
  // Outcome of the last loadHeader.
  enum class HeaderState { kNotLoaded, kCannotOpen, kMalformed, kLoaded };

  GenoData() = default;
  virtual ~GenoData();

  // Reads the header lines, builds the sample-type table and counts the
  // marker lines. False when the file cannot be opened (fields unchanged) or
  // its header lines are unusable (fields cleared); the message is printed.
  bool loadHeader(const char* fileName);
  // Loads the markers and the individuals of one sample type ("M" selects
  // every sample column). False when the file cannot be opened, no valid
  // header was loaded, or a marker line is malformed (message printed; the
  // per-type data are then empty). True otherwise, also when the type has no
  // individuals (m_numindiv is then 0).
  bool loadData(const char* fileName, const char* sampleTypeName);

  HeaderState headerState() const { return m_headerState; }
  // Threads that loadData may use for the marker lines and the grouping
  // (at least 1); the loaded data and the messages do not depend on it.
  void setWorkers(unsigned workers) { m_workers = workers < 1 ? 1 : workers; }
  // The allele letters of marker k in ascending order of signed characters,
  // separated by "/" (empty when the marker has none).
  std::string alleleText(int k) const;

  std::vector<std::string> sampleIds;
  std::vector<std::string> sampleTypes;
  int m_MergeSampleCount = 0;
  std::vector<int> selectedColumns;
  std::string m_ChromosomeNo;
  // m_SampleTypeTableSize + 1 entries after loadHeader; the last is "M".
  std::vector<SampleTypeEntry> sampleTypeTable;
  int m_SampleTypeTableSize = 0;
  // Per marker: the distinct non-missing allele letters of the loaded
  // individuals, indexed by the letter as unsigned char.
  std::vector<std::bitset<256>> alleleSets;
  std::unordered_map<std::string, std::string> idToType;
  std::unordered_map<std::string, int> typeIndex;
  std::string m_fileName;
  int m_nummarker = 0;
  int m_numindiv = 0;
  int m_numpheno = 0;
  int m_ori_nummarker = 0;
  std::vector<int> markerOrder;
  std::vector<bool> markerUsed;
  std::vector<std::string> markerIds;
  std::vector<Phenotype> phenotypes;
  std::vector<int> positions;

 private:
  void clearHeader();
  void clearTypeData();
  // The steps of loadData: the sample columns of the type, the marker lines
  // (false after the message of a malformed one), the grouping of equal
  // genotypes into phenotypes, and the status lines of the loaded data.
  void selectColumns(const char* sampleTypeName);
  bool readMarkerLines(LineReader& reader, const char* fileName, std::vector<std::string>& texts);
  struct LineBatch;
  bool parseBatch(const LineBatch& batch, const char* fileName, std::vector<std::string>& texts);
  bool parseRows(const LineBatch& batch, int from, int to, const char* fileName, std::vector<std::string>& texts,
                 std::vector<size_t>& genotypesAt);
  // The fields before the genotypes and the form of every genotype column of
  // marker k; the offset of its first genotype, or npos after the message.
  size_t checkMarkerLine(std::string_view line, long long lineNo, int k, const char* fileName);
  void groupPhenotypes(std::vector<std::string>& texts);
  void reportLoaded(const char* sampleTypeName, int t);

  HeaderState m_headerState = HeaderState::kNotLoaded;
  unsigned m_workers = 1;
};
