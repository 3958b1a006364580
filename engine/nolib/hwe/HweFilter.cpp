// The sample side of PREFLAG: the sample-hint file appended to the report and
// the filtered genotype file written from the report's "M" section.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/LineReader.h"
#include "hwe/Hwe.h"

namespace {

bool endsWithOne(std::string_view line) { return !line.empty() && line.back() == '1'; }

}  // namespace

bool Hwe::appendSampleHint() {
  if (m_hintFile.empty() || !m_report) {
    NULL_REPORT();
    return true;
  }
  FILE* hint = fopen(m_hintFile.c_str(), "r");
  if (!hint) {
    NULL_REPORT();
    // The user asked for samples to be removed; a filtered file that keeps
    // them would be passed off as the requested result.
    printf("%s: the sample hint file cannot be opened: %s\n", m_hintFile.c_str(), strerror(errno));
    fflush(stdout);
    return false;
  }
  bool ok = fseek(m_report, 0, SEEK_END) == 0;
  char block[4096];
  size_t got;
  while (ok && (got = fread(block, 1, sizeof block, hint)) > 0) {
    if (fwrite(block, 1, got, m_report) != got) ok = false;
  }
  if (ferror(hint)) {
    printf("%s: read error: %s\n", m_hintFile.c_str(), strerror(errno));
    ok = false;
  } else if (!ok) {
    printf("%s: write error: %s\n", m_reportName.c_str(), strerror(errno));
  }
  fclose(hint);
  fflush(stdout);
  return ok;
}

bool Hwe::readSampleFlags(std::vector<char>& flags) {
  flags.assign(static_cast<size_t>(m_sampleCount > 0 ? m_sampleCount : 0), 0);
  // The report is read back under its temporary name: it takes its own
  // name only once the filtered file is complete too.
  if (fflush(m_report) != 0) return false;
  LineReader lines;
  if (!lines.open(m_reportFile.tempName().c_str())) return false;
  std::string_view line;
  bool inSamples = false;
  size_t k = 0;
  while (lines.next(line)) {
    if (!inSamples) {
      if (line.substr(0, 13) == "!Sample_Index") inSamples = true;
      continue;
    }
    if (k >= flags.size()) break;
    flags[k++] = endsWithOne(line) ? 1 : 0;
  }
  return !lines.failed();
}

// The line's first four columns, then the column of every sample that is not
// flagged. A line without any tab has no sample columns and is kept as is.
bool Hwe::reduceLine(std::string_view line, const std::vector<char>& flags, bool anyFlag, std::string& out,
                     bool& unchanged) {
  size_t cut = std::string_view::npos;
  size_t p = 0;
  for (int i = 0; i < 4; ++i) {
    size_t t = line.find('\t', p);
    if (t == std::string_view::npos) break;
    cut = t;
    p = t + 1;
  }
  if (cut == std::string_view::npos) {
    printf("%s:%d\n", SGT_UNIT, __LINE__);
    printf("jumpped == genoLine\n");
    printf("genoLine=%.*s.\n", static_cast<int>(line.size()), line.data());
    printf("jumpped=%.*s.\n", static_cast<int>(line.size()), line.data());
    fflush(stdout);
    unchanged = true;
    return true;
  }
  if (!anyFlag) {
    unchanged = true;
    return true;
  }
  unchanged = false;
  out.assign(line.substr(0, cut));
  size_t start = cut + 1;
  size_t k = 0;
  for (;;) {
    size_t t = line.find('\t', start);
    size_t end = t == std::string_view::npos ? line.size() : t;
    if (k >= flags.size() || !flags[k]) {
      out += '\t';
      out.append(line.substr(start, end - start));
    }
    ++k;
    if (t == std::string_view::npos) break;
    start = t + 1;
  }
  return true;
}

bool Hwe::writeFilteredFile() {
  if (!m_output || !m_report || !m_input.isOpen()) {
    NULL_REPORT();
    return true;
  }
  std::vector<char> flags;
  fflush(m_report);
  if (!readSampleFlags(flags)) {
    NULL_REPORT();
    return false;
  }
  if (m_sampleCount < 1) {
    NULL_REPORT();
    return true;
  }

  // The rows of the "M" section, after its column line.
  LineReader rows;
  if (!rows.open(m_reportFile.tempName().c_str())) {
    NULL_REPORT();
    return false;
  }
  std::string_view row;
  bool found = false;
  while (rows.next(row)) {
    if (row == "!Sample_Type:M") {
      found = rows.next(row);
      break;
    }
  }
  if (!found) {
    printf("There isn't \"%s\" class.\n\t", ("!Sample_Type:" + m_flagClass).c_str());
    NULL_REPORT();
    return true;
  }

  bool anyFlag = false;
  for (char f : flags) anyFlag = anyFlag || f;
  std::string reduced;
  bool unchanged = false;
  bool ok = true;
  auto writeLine = [&](std::string_view original) {
    reduceLine(original, flags, anyFlag, reduced, unchanged);
    std::string_view text = unchanged ? original : std::string_view(reduced);
    if (fwrite(text.data(), 1, text.size(), m_output) != text.size() || fputc('\n', m_output) == EOF) ok = false;
  };

  m_input.seek(0, 0);
  std::string_view line;
  for (int i = 0; i < 2 && ok && m_input.next(line); ++i) writeLine(line);
  int rowsRead = 0;
  while (ok && m_input.next(line)) {
    progressShow(m_input.position());
    // Only the rows of the "M" section count; a missing row is not flagged.
    bool flagged = false;
    if (rowsRead < m_mRows && rows.next(row)) {
      ++rowsRead;
      flagged = endsWithOne(row);
    }
    if (!flagged) writeLine(line);
  }
  if (m_input.failed()) {
    printf("%s: read error: %s\n", m_inputName.c_str(), strerror(m_input.error()));
    fflush(stdout);
    return false;
  }
  if (rows.failed()) {
    printf("%s: read error: %s\n", m_reportName.c_str(), strerror(rows.error()));
    fflush(stdout);
    return false;
  }
  if (!ok) {
    printf("%s: write error: %s\n", m_outFile.c_str(), strerror(errno));
    fflush(stdout);
    return false;
  }
  // Closed, checked and renamed with the report; SUCCESS follows that.
  m_outputWritten = true;
  return ok;
}
