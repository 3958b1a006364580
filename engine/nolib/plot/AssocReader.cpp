#include "plot/AssocReader.h"

#include <cerrno>
#include <cmath>
#include <limits>
#include <vector>

#include "plot/InputError.h"
#include "plot/TextReader.h"

namespace plot {

namespace {

double probability(std::string_view text, const std::string& path, long long line, const char* column) {
  double v = 0;
  if (!parseDouble(text, v) || v < 0 || v > 1) {
    throwAtLine(path, line, std::string(column) + " \"" + std::string(text) + "\" is not a probability");
  }
  return v;
}

}  // namespace

ReportInfo readAssocReport(const std::string& path,
                           const std::function<void(std::string_view, double, long long)>& row) {
  TextReader reader;
  if (!reader.open(path)) throwSystem(path, "open the association report", errno);
  ReportInfo info;
  size_t columns = 0;
  std::string_view line;
  std::vector<std::string_view> fields;
  for (;;) {
    TextReader::Status status = reader.next(line);
    if (status == TextReader::Status::kError) throwSystem(path, "read", reader.error());
    if (status == TextReader::Status::kEnd) break;
    long long number = reader.lineNumber();
    if (line.empty()) continue;
    if (columns == 0) {
      if (line[0] == '!') {
        constexpr std::string_view kType = "!Feature_Type : ";
        if (line.substr(0, kType.size()) == kType) info.featureType = std::string(line.substr(kType.size()));
        continue;
      }
      if (line.substr(0, 11) != "Feature_ID\t") {
        throwAtLine(path, number, "row before the column line \"Feature_ID ...\"; not an association report");
      }
      splitTabs(line, fields);
      if (fields.size() < 11 || fields[6] != "GFT_p" || fields[9] != "LRT_p") {
        throwAtLine(path, number, "column line without GFT_p in field 7 and LRT_p in field 10");
      }
      columns = fields.size();
      continue;
    }
    splitTabs(line, fields);
    if (fields.size() != columns) {
      throwAtLine(path, number, std::to_string(fields.size()) + " fields instead of " + std::to_string(columns));
    }
    if (fields[0].empty()) throwAtLine(path, number, "empty Feature_ID");
    double gft = probability(fields[6], path, number, "GFT_p");
    double lrt = probability(fields[9], path, number, "LRT_p");
    ++info.rows;
    row(fields[0], gft < lrt ? gft : lrt, number);
  }
  if (columns == 0) throwForFile(path, "no column line \"Feature_ID ...\"; not an association report");
  return info;
}

void readQValues(const std::string& path, const std::function<void(double, double)>& row) {
  TextReader reader;
  if (!reader.open(path)) throwSystem(path, "open the q-value file", errno);
  std::string_view line;
  std::vector<std::string_view> fields;
  for (;;) {
    TextReader::Status status = reader.next(line);
    if (status == TextReader::Status::kError) throwSystem(path, "read", reader.error());
    if (status == TextReader::Status::kEnd) break;
    long long number = reader.lineNumber();
    if (number == 1) {
      if (line.substr(0, 10) != "featureID\t") throwAtLine(path, number, "no \"featureID\" header line; not a q-value file");
      continue;
    }
    if (line.empty()) continue;
    splitTabs(line, fields);
    if (fields.size() != 3) throwAtLine(path, number, std::to_string(fields.size()) + " fields instead of 3");
    double p = probability(fields[1], path, number, "p-value");
    double q = probability(fields[2], path, number, "q-value");
    row(p, q);
  }
  if (reader.lineNumber() == 0) throwForFile(path, "empty; not a q-value file");
}

double minusLog10(double p) {
  if (p <= 0) p = std::numeric_limits<double>::denorm_min();
  return -std::log10(p);
}

}  // namespace plot
