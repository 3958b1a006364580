#include "simple_tagger/SimpleTagger.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/NumberParse.h"
#include "common_sgt/SafeFiles.h"

namespace {

enum Task { kReadFile = 0, kMakeVector, kMakeTaggerSet, kWriteTagger, kWriteSingleton };

// Field k (0-based) of a tab-separated line; false when the line has fewer.
bool field(std::string_view line, int k, std::string_view& out) {
  size_t start = 0;
  for (int f = 0; f < k; ++f) {
    size_t t = line.find('\t', start);
    if (t == std::string_view::npos) return false;
    start = t + 1;
  }
  size_t end = line.find('\t', start);
  out = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  return true;
}

// A SNP index: decimal digits only, within the int range.
bool parseIndex(std::string_view text, int& value) {
  if (text.empty() || text.size() > 10) return false;
  long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

// r2: a whole decimal number, or "-" (a multi-allelic pair) read as 0.
bool parseR2(std::string_view text, double& value) {
  if (text == "-") {
    value = 0.0;
    return true;
  }
  if (text.empty()) return false;
  char small[64];
  std::string large;
  const char* s;
  if (text.size() < sizeof small) {
    memcpy(small, text.data(), text.size());
    small[text.size()] = '\0';
    s = small;
  } else {
    large.assign(text);
    s = large.c_str();
  }
  if (decimalPrefixLength(s) != static_cast<int>(text.size())) return false;
  value = parseDecimalDouble(s);
  return true;
}

}  // namespace

SimpleTagger::SimpleTagger() = default;

SimpleTagger::~SimpleTagger() {
  if (m_tag) fclose(m_tag);
}

bool SimpleTagger::nextLine(std::string_view& line) {
  if (m_havePending) {
    m_havePending = false;
    line = m_pending;
    return true;
  }
  if (!m_input.next(line)) return false;
  m_progress.show(clampProgress(m_input.position()));
  return true;
}

// One of the three section header lines: the text after its first ":".
bool SimpleTagger::readHeaderLine(std::string& text, const char* problem, int reportLine) {
  std::string_view line;
  size_t colon = std::string_view::npos;
  bool got = nextLine(line);
  if (got) colon = line.find(':');
  if (colon == std::string_view::npos) {
    printf("NULL\t");
    // A format problem, not a failed system call: say so in the error text.
    errno = EINVAL;
    reportSystemError(SGT_UNIT, reportLine, problem);
    if (got)
      printf("%s line %lld: a section header line \"%.*s\" has no ':'\n", m_inputName.c_str(), m_input.lineNumber(),
             static_cast<int>(line.size()), line.data());
    else
      printf("%s: a section header line is missing at the end of the file\n", m_inputName.c_str());
    fflush(stdout);
    return false;
  }
  text.assign(line.substr(colon + 1));
  return true;
}

SimpleTagger::SectionEnd SimpleTagger::readSection() {
  m_section.clear();
  m_progress.setCurrent(kReadFile);
  std::string_view line;
  if (!m_havePending && m_input.lineNumber() == 0) {
    // An empty file has no first section at all.
    if (!nextLine(line)) {
      printf("NULL\t");
      errno = EINVAL;
      SYSTEM_ERROR_REPORT("pwld FILE NULL");
      printf("%s: the file is empty\n", m_inputName.c_str());
      fflush(stdout);
      return SectionEnd::kBadHeader;
    }
    m_pending.assign(line);
    m_havePending = true;
  }
  if (!readHeaderLine(m_chromosome, "pwld have no chromosome info", __LINE__)) return SectionEnd::kBadHeader;
  if (!readHeaderLine(m_distanceLimit, "pwld have no distance_limit info", __LINE__)) return SectionEnd::kBadHeader;
  if (!readHeaderLine(m_sampleType, "pwld have no sample_type info", __LINE__)) return SectionEnd::kBadHeader;
  if (!nextLine(line)) {
    printf("NULL\t");
    errno = EINVAL;
    SYSTEM_ERROR_REPORT("pwld have no PAIRWISE LD DATA");
    printf("%s: the column line of a section is missing\n", m_inputName.c_str());
    fflush(stdout);
    return SectionEnd::kBadHeader;
  }

  while (nextLine(line)) {
    if (!line.empty() && line[0] == '!') {
      m_pending.assign(line);
      m_havePending = true;
      return SectionEnd::kNextSection;
    }
    int i = 0;
    int j = 0;
    double r2 = 0.0;
    if (!parsePair(line, i, j, r2)) {
      CONDITION_REPORT(" getColumn() == NULL");
      CONDITION_REPORT(" setSnpInfo2Hash == false");
      printf("%s line %lld: a pair line needs whole-number SNP indices in columns 2 and 3 and r2 in column 6: "
             "\"%.*s\"\n",
             m_inputName.c_str(), m_input.lineNumber(), static_cast<int>(line.size()), line.data());
      fflush(stdout);
      return SectionEnd::kBadPair;
    }
    m_section.addPair(i, j, r2, m_r2Threshold);
  }
  return SectionEnd::kEndOfFile;
}

bool SimpleTagger::parsePair(std::string_view line, int& i, int& j, double& r2) const {
  std::string_view f1, f2, f5;
  if (!field(line, 1, f1) || !field(line, 2, f2) || !field(line, 5, f5)) return false;
  return parseIndex(f1, i) && parseIndex(f2, j) && parseR2(f5, r2);
}

void SimpleTagger::noteWriteError(int reportLine) {
  int err = errno;
  printf(" %s,%d ", SGT_UNIT, reportLine);
  printf(" fprintf() < 0 ");
  fflush(stdout);
  errno = err;
  reportSystemError(SGT_UNIT, reportLine, " SYSTEM");
  m_writeError = true;
}

void SimpleTagger::writeSection() {
  m_progress.setCurrent(kMakeVector);
  m_progress.show(100);
  m_section.select();
  m_progress.setCurrent(kMakeTaggerSet);
  m_progress.show(100);

  if (fprintf(m_tag,
              "!R2_Threshold:%.3f\n!Method:Simple\n!Distance_Limit:%s\n!Sample_Type:%s\nNo\tChromosomeNo\tTagger\t"
              "Captured\tR_square\n",
              m_r2Threshold, m_distanceLimit.c_str(), m_sampleType.c_str()) < 0)
    noteWriteError(__LINE__);

  int number = 0;
  std::string text;
  char buf[64];
  for (const TagRecord* r : m_section.taggers()) {
    ++number;
    snprintf(buf, sizeof buf, "%d\t", number);
    text.assign(buf);
    text += m_chromosome;
    snprintf(buf, sizeof buf, "\t%d\t", r->index);
    text += buf;
    for (const TagPartner& p : r->partners) {
      snprintf(buf, sizeof buf, "%d,", p.index);
      text += buf;
    }
    text.back() = '\t';
    for (const TagPartner& p : r->partners) {
      snprintf(buf, sizeof buf, "%.3f,", p.r2);
      text += buf;
    }
    text.back() = '\n';
    if (fwrite(text.data(), 1, text.size(), m_tag) != text.size()) noteWriteError(__LINE__);
  }
  m_progress.setCurrent(kWriteTagger);
  m_progress.show(100);

  for (int index : m_section.singletons()) {
    ++number;
    if (fprintf(m_tag, "%d\t%s\t%d\tsingleton\n", number, m_chromosome.c_str(), index) < 0) noteWriteError(__LINE__);
  }
  m_progress.setCurrent(kWriteSingleton);
  m_progress.show(100);
}

bool SimpleTagger::run(const char* inputFile, double r2Threshold) {
  m_inputName = inputFile ? inputFile : "";
  m_r2Threshold = r2Threshold;
  std::string tagName = m_inputName + ".tag";
  printf("tag file name = %s.\n", tagName.c_str());
  fflush(stdout);
  if (!m_input.open(m_inputName.c_str())) {
    int err = errno;
    NULL_REPORT();
    printf("%s: cannot be opened: %s\n", m_inputName.c_str(), strerror(err));
    fflush(stdout);
    return false;
  }
  if (!refuseResultsOverInputs({tagName}, {m_inputName}, "TAG1")) return false;
  m_tag = fopen(tagName.c_str(), "w");
  if (!m_tag) {
    int err = errno;
    NULL_REPORT();
    printf("%s: cannot be opened for writing: %s\n", tagName.c_str(), strerror(err));
    fflush(stdout);
    return false;
  }

  m_progress.addTask("read file", clampProgress(m_input.size()));
  m_progress.addTask("make vector", 100);
  m_progress.addTask("make tagger set", 100);
  m_progress.addTask("write tagger", 100);
  m_progress.addTask("write singleton", 100);
  m_progress.showTaskList();

  bool ok = true;
  for (;;) {
    SectionEnd end = readSection();
    if (end == SectionEnd::kBadHeader) {
      ok = false;
      break;
    }
    writeSection();
    if (end == SectionEnd::kBadPair) {
      ok = false;
      break;
    }
    if (end == SectionEnd::kEndOfFile) break;
  }
  // Tags chosen from part of the pairs would pass for the file's tags: a
  // read error leaves no tag file.
  const bool readFailed = m_input.failed();
  if (readFailed) {
    printf("%s: read error: %s; no tag file was written\n", m_inputName.c_str(), strerror(m_input.error()));
    ok = false;
  }

  m_input.close();
  FILE* tag = m_tag;
  m_tag = nullptr;
  if (fclose(tag) != 0) {
    printf("%s: write error: %s\n", tagName.c_str(), strerror(errno));
    m_writeError = true;
  }
  if (readFailed) remove(tagName.c_str());
  fflush(stdout);
  return ok && !m_writeError;
}
