#pragma once
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace genoio {

// The sample columns of a genotype file: identifier and type per sample.
struct SampleTable {
  std::vector<std::string> ids;
  std::vector<std::string> types;  // same length as ids
};

// The fields of a line separated by runs of spaces and tabs (types files,
// fileset .fam and .bim lines); the line end is already removed.
std::vector<std::string_view> whitespaceFields(std::string_view line);

// Checks the identifiers an input supplies before any output is made.
// Refuses (throws Error naming `source`): an empty identifier, one holding a
// tab, line feed or carriage return (the genotype file separates columns by
// tabs), and an identifier given twice (types and later commands look
// samples up by identifier).
void checkSampleIds(const std::vector<std::string>& ids, const std::string& source);

// A sample types file: two whitespace-separated columns per line, sample
// identifier and type; lines starting with "#" and blank lines are skipped.
//
// Refuses (throws Error naming the file and line): a line with one column
// (empty type), a line with more than two columns (a type or identifier
// holding whitespace), an identifier listed twice, an unreadable file or a
// read error.
class TypesFile {
 public:
  static TypesFile read(const std::string& path);

  // Sets the type of every sample the file names; other samples keep theirs.
  // Returns how many of the file's identifiers no sample has, and fills
  // `unknownFirst` with the first `maxNames` of them in file order.
  size_t apply(SampleTable& samples, std::vector<std::string>& unknownFirst, size_t maxNames) const;

  size_t size() const { return m_ids.size(); }

 private:
  std::vector<std::string> m_ids;  // file order
  std::vector<std::string> m_types;
};

// The types file genoconv writes beside an exported VCF: one line per sample,
// identifier, tab, type, preceded by a "#" comment line. Refuses identifiers
// or types holding whitespace, which the file could not give back.
std::string typesFileText(const SampleTable& samples, const std::string& forFile);

// Counts per type, types in byte order, for the summary.
std::vector<std::pair<std::string, size_t>> countTypes(const SampleTable& samples);

}  // namespace genoio
