#include "plot/GenoIndex.h"

#include "plot/InputError.h"
#include "plot/TextReader.h"

namespace plot {

GenoIndex GenoIndex::read(const std::string& path) {
  TextReader reader;
  if (!reader.open(path)) throwSystem(path, "open the genotype file", errno);
  GenoIndex index;
  std::string_view line;
  long long emptyLine = 0;
  for (;;) {
    TextReader::Status status = reader.next(line);
    if (status == TextReader::Status::kError) throwSystem(path, "read", reader.error());
    if (status == TextReader::Status::kEnd) break;
    long long number = reader.lineNumber();
    if (number <= 2) continue;
    if (line.empty()) {
      if (!emptyLine) emptyLine = number;
      continue;
    }
    if (emptyLine) throwAtLine(path, emptyLine, "empty line among the SNP lines");
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string_view::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string_view::npos) throwAtLine(path, number, "fewer than three tab-separated fields");
    size_t t3 = line.find('\t', t2 + 1);
    std::string_view id = line.substr(0, t1);
    std::string_view chromosome = line.substr(t1 + 1, t2 - t1 - 1);
    std::string_view position = line.substr(t2 + 1, t3 == std::string_view::npos ? std::string_view::npos : t3 - t2 - 1);
    if (id.empty()) throwAtLine(path, number, "empty marker identifier");
    long long pos = 0;
    if (!parseLong(position, pos)) throwAtLine(path, number, "position \"" + std::string(position) + "\" is not an integer");
    if (index.ids.empty()) index.chromosome = std::string(chromosome);
    index.ids.emplace_back(id);
    index.positions.push_back(pos);
  }
  if (reader.lineNumber() < 2) throwForFile(path, "fewer than two header lines; not a genotype file");
  return index;
}

}  // namespace plot
