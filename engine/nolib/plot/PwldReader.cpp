#include "plot/PwldReader.h"

#include <cerrno>
#include <string_view>

#include "plot/InputError.h"
#include "plot/TextReader.h"

namespace plot {

namespace {

constexpr std::string_view kTypeTag = "!Sample_Type:";

// Marker1 and Marker2 only: the fast path for rows outside the window.
bool parseMarkers(std::string_view line, long long& i, long long& j) {
  size_t t1 = line.find('\t');
  if (t1 == std::string_view::npos) return false;
  size_t t2 = line.find('\t', t1 + 1);
  if (t2 == std::string_view::npos) return false;
  size_t t3 = line.find('\t', t2 + 1);
  if (t3 == std::string_view::npos) return false;
  return parseLong(line.substr(t1 + 1, t2 - t1 - 1), i) && parseLong(line.substr(t2 + 1, t3 - t2 - 1), j);
}

struct Statistic {
  bool known;
  double value;
};

Statistic statistic(std::string_view text, const std::string& path, long long number, const char* column) {
  if (text == "-") return {false, 0};
  double v = 0;
  if (!parseDouble(text, v)) {
    throwAtLine(path, number, std::string(column) + " \"" + std::string(text) + "\" is neither a number nor -");
  }
  return {true, v};
}

class SectionScan {
 public:
  SectionScan(const std::string& path, LdWindow& window, long long snpCount)
      : m_path(path), m_window(window), m_snpCount(snpCount) {}

  // Reads the rows of the section from just after its type line; stops at the
  // first "!" line (the next section), at the first row past the window
  // (rows are sorted), or at the end of the file.
  void readRows(TextReader& reader) {
    std::string_view line;
    std::vector<std::string_view> fields;
    long long prevI = -1, prevJ = -1;
    for (;;) {
      TextReader::Status status = reader.next(line);
      if (status == TextReader::Status::kError) throwSystem(m_path, "read", reader.error());
      if (status == TextReader::Status::kEnd) return;
      long long number = reader.lineNumber();
      if (line.empty()) continue;
      if (line[0] == '!') return;
      if (line.substr(0, 3) == "No\t") continue;
      long long i = 0, j = 0;
      if (!parseMarkers(line, i, j) || i < 0 || j <= i) {
        throwAtLine(m_path, number, "not a pair row (Marker1 and Marker2 must be integers with Marker1 < Marker2)");
      }
      if (i < prevI || (i == prevI && j <= prevJ)) {
        throwAtLine(m_path, number, "pair " + std::to_string(i) + "-" + std::to_string(j) + " out of order");
      }
      prevI = i;
      prevJ = j;
      if (j >= m_snpCount) {
        throwAtLine(m_path, number, "pair " + std::to_string(i) + "-" + std::to_string(j) + " names SNP " +
                                        std::to_string(j) + ", but the genotype file has " +
                                        std::to_string(m_snpCount) + " SNPs; do the files belong together?");
      }
      if (i > m_window.last) return;
      if (i < m_window.first || j > m_window.last) continue;
      splitTabs(line, fields);
      if (fields.size() != 11) {
        throwAtLine(m_path, number, std::to_string(fields.size()) + " fields instead of 11");
      }
      Statistic d = statistic(fields[4], m_path, number, "|D'|");
      Statistic r2 = statistic(fields[5], m_path, number, "r2");
      Statistic lod = statistic(fields[6], m_path, number, "LOD");
      for (int k = 7; k <= 9; ++k) statistic(fields[k], m_path, number, k == 7 ? "LOD_p_value" : k == 8 ? "Chi_square" : "p_value");
      if (!d.known || d.value < 0 || d.value > 1) throwAtLine(m_path, number, "|D'| must be a number from 0 to 1");
      if (r2.known && (r2.value < 0 || r2.value > 1)) throwAtLine(m_path, number, "r2 must be a number from 0 to 1");
      if (fields[10] != "Y" && fields[10] != "N") throwAtLine(m_path, number, "Four_gamete must be Y or N");
      ++m_window.rowsInWindow;
      bool placeholder = fields[10] == "N";
      for (int k = 4; k <= 9 && placeholder; ++k) placeholder = fields[k] == "0.00000";
      if (placeholder) {
        ++m_window.placeholders;
        continue;
      }
      LdCell& c = m_window.cells[m_window.cellIndex(i - m_window.first, j - m_window.first)];
      c.dprime = static_cast<float>(d.value);
      c.r2 = static_cast<float>(r2.value);
      c.lod = lod.value;
      c.flags = LdCell::kPresent | (lod.known ? LdCell::kLodKnown : 0) | (r2.known ? LdCell::kR2Known : 0);
    }
  }

 private:
  const std::string& m_path;
  LdWindow& m_window;
  long long m_snpCount;
};

}  // namespace

LdWindow readPwldWindow(const std::string& path, const std::string& type, long long first, long long last,
                        long long snpCount) {
  LdWindow window;
  window.first = first;
  window.last = last;
  long long n = window.size();
  window.cells.assign(static_cast<size_t>(n * (n - 1) / 2), LdCell{});

  TextReader reader;
  if (!reader.open(path)) throwSystem(path, "open the pairwise LD report", errno);
  std::string_view line;
  // Where the only section so far begins, for a second look when the file
  // turns out to have no M section but just that one.
  long long firstSectionOffset = -1, firstSectionLine = 0;
  bool atTypeLine = false;
  for (;;) {
    TextReader::Status status;
    if (atTypeLine) {
      status = TextReader::Status::kLine;
      atTypeLine = false;
    } else {
      status = reader.next(line);
    }
    if (status == TextReader::Status::kError) throwSystem(path, "read", reader.error());
    if (status == TextReader::Status::kEnd) break;
    if (line.substr(0, kTypeTag.size()) != kTypeTag) {
      if (!line.empty() && line[0] != '!' && window.typesSeen.empty()) {
        throwAtLine(path, reader.lineNumber(), "row before any \"!Sample_Type:\" line; not a pairwise LD report");
      }
      continue;
    }
    std::string sectionType(line.substr(kTypeTag.size()));
    window.typesSeen.push_back(sectionType);
    if (firstSectionOffset < 0) {
      // The rows of the first section start after this line.
      firstSectionOffset = reader.position();
      firstSectionLine = reader.lineNumber();
    }
    bool wanted = type.empty() ? sectionType == "M" : sectionType == type;
    if (wanted) {
      window.type = sectionType;
      SectionScan scan(path, window, snpCount);
      scan.readRows(reader);
      return window;
    }
    // Skip this section's rows: only a "!" line can end it.
    for (;;) {
      status = reader.skipToLineStarting('!');
      if (status == TextReader::Status::kLine) status = reader.next(line);
      if (status == TextReader::Status::kError) throwSystem(path, "read", reader.error());
      if (status == TextReader::Status::kEnd) break;
      if (line.substr(0, kTypeTag.size()) == kTypeTag) {
        atTypeLine = true;
        break;
      }
    }
    if (status == TextReader::Status::kEnd) break;
  }
  std::string seen;
  for (const std::string& t : window.typesSeen) seen += (seen.empty() ? "" : ", ") + t;
  if (window.typesSeen.empty()) throwForFile(path, "no \"!Sample_Type:\" line; not a pairwise LD report");
  if (!type.empty()) throwForFile(path, "no section of sample type \"" + type + "\" (sample types: " + seen + ")");
  if (window.typesSeen.size() > 1) {
    throwForFile(path, "no section of the merged sample type M; choose one with --type (sample types: " + seen + ")");
  }
  // Exactly one section, not M: read it.
  window.type = window.typesSeen.front();
  if (!reader.seek(firstSectionOffset, firstSectionLine)) throwSystem(path, "seek", errno);
  SectionScan scan(path, window, snpCount);
  scan.readRows(reader);
  return window;
}

}  // namespace plot
