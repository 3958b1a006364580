#include "marlo/GenoData.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <set>
#include <string_view>
#include <system_error>
#include <thread>

#include "common_sgt/Console.h"
#include "common_sgt/ErrorReport.h"
#include "common_sgt/FileUtil.h"
#include "common_sgt/LineReader.h"
#include "common_sgt/Parallel.h"
#include "common_sgt/Settings.h"
#include "common_sgt/StatusReport.h"

namespace {

// Every genotype field is exactly allele, separator, allele, and the next
// field starts after one tab: genotype j begins 4j bytes after the first.
constexpr size_t kGenotypeStride = 4;

void splitTabs(std::string_view line, std::vector<std::string>& fields) {
  fields.clear();
  split(std::string(line), fields, "\t");
}

// Decimal integer with an optional sign that fits an int; nothing else.
bool parsePosition(std::string_view text, int& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return false;
  long long v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

void badMarkerLine(const char* fileName, long long lineNumber, int marker, const std::string& problem) {
  printFlushed("GenoData::loadData %s, line %lld (marker #%d): %s\n", fileName, lineNumber, marker, problem.c_str());
}

// Reads the first line of a header, or says which one is missing.
bool headerLine(LineReader& reader, std::string_view& line, const char* fileName, int number,
                const char* what) {
  if (reader.next(line)) return true;
  if (reader.failed())
    printFlushed("GenoData::loadHeader %s: read error in line %d: %s\n", fileName, number, strerror(reader.error()));
  else
    printFlushed("GenoData::loadHeader %s: line %d (%s) is missing\n", fileName, number, what);
  return false;
}

}  // namespace

GenoData::~GenoData() = default;

void GenoData::clearHeader() {
  sampleIds.clear();
  sampleTypes.clear();
  m_MergeSampleCount = 0;
  m_ChromosomeNo.clear();
  sampleTypeTable.clear();
  m_SampleTypeTableSize = 0;
  typeIndex.clear();
  m_ori_nummarker = 0;
  m_nummarker = 0;
  clearTypeData();
}

void GenoData::clearTypeData() {
  selectedColumns.clear();
  alleleSets.clear();
  idToType.clear();
  markerIds.clear();
  phenotypes.clear();
  positions.clear();
  m_numindiv = 0;
  m_numpheno = 0;
}

bool GenoData::loadHeader(const char* fileName) {
  if (!fileName) {
    NULL_REPORT();
    return false;
  }
  if (g_debugLevel >= 1) consolePrintf("GenoData::loadHeader %s\n", fileName);
  LineReader reader;
  if (!reader.open(fileName)) {
    printFlushed("ifstream fileInputStream(%s)\n fileInputStream.is_open() == false %s:%d\n", fileName, SGT_UNIT,
                 __LINE__);
    m_headerState = HeaderState::kCannotOpen;
    return false;
  }
  clearHeader();
  m_headerState = HeaderState::kMalformed;

  std::string_view line;
  std::vector<std::string> fields;
  if (!headerLine(reader, line, fileName, 1, "sample identifiers")) return false;
  splitTabs(line, fields);
  if (fields.size() < 5) {
    printFlushed("GenoData::loadHeader %s: line 1 has %d fields; four leading fields and at least one sample "
                 "identifier are needed\n",
                 fileName, static_cast<int>(fields.size()));
    return false;
  }
  const int n = static_cast<int>(fields.size()) - 4;
  sampleIds.assign(fields.begin() + 4, fields.end());
  if (g_debugLevel >= 2) {
    consolePrintf(" m_MergeSampleCount = %d\n", n);
    consolePrintf(" Samples = [%s],[%s],...[%s]\n", sampleIds[0].c_str(), n > 1 ? sampleIds[1].c_str() : "",
           sampleIds[n - 1].c_str());
  }

  if (!headerLine(reader, line, fileName, 2, "sample types")) {
    clearHeader();
    return false;
  }
  splitTabs(line, fields);
  if (static_cast<int>(fields.size()) < n + 4) {
    printFlushed("GenoData::loadHeader %s: line 2 has %d sample types for %d sample identifiers\n", fileName,
                 static_cast<int>(fields.size()) - 4 > 0 ? static_cast<int>(fields.size()) - 4 : 0, n);
    clearHeader();
    return false;
  }
  sampleTypes.assign(fields.begin() + 4, fields.begin() + 4 + n);
  m_MergeSampleCount = n;

  // std::string orders by unsigned bytes, a prefix first.
  std::set<std::string> distinct(sampleTypes.begin(), sampleTypes.end());
  m_SampleTypeTableSize = static_cast<int>(distinct.size());
  sampleTypeTable.clear();
  std::unordered_map<std::string, int> position;
  int zeroIndex = -1;
  for (const std::string& name : distinct) {
    if (name == "0") zeroIndex = static_cast<int>(sampleTypeTable.size());
    position.emplace(name, static_cast<int>(sampleTypeTable.size()));
    sampleTypeTable.push_back({name, 0});
  }
  sampleTypeTable.push_back({"M", 0});
  for (const std::string& type : sampleTypes) {
    ++sampleTypeTable[position[type]].count;
    ++sampleTypeTable[m_SampleTypeTableSize].count;
  }
  // "0" (the control class) is analysed first: it trades places with the
  // type that sorted first.
  if (zeroIndex > 0 && m_SampleTypeTableSize > 1) std::swap(sampleTypeTable[0], sampleTypeTable[zeroIndex]);
  typeIndex.clear();
  for (int t = 0; t <= m_SampleTypeTableSize; ++t) typeIndex[sampleTypeTable[t].name] = t;
  if (g_debugLevel >= 2) {
    consolePrintf(" m_SampleTypeTableSize = %d\n", m_SampleTypeTableSize);
    for (int t = 0; t < m_SampleTypeTableSize; ++t)
      consolePrintf("    types[\"%s\"] = (%d)\n", sampleTypeTable[t].name.c_str(), sampleTypeTable[t].count);
  }

  if (reader.next(line)) {
    splitTabs(line, fields);
    m_ChromosomeNo = fields.size() >= 2 ? fields[1] : std::string();
  }
  if (g_debugLevel >= 2) consolePrintf(" m_ChromosomeNo = %s\n", m_ChromosomeNo.c_str());
  reader.close();

  const long long lines = countDataLines(fileName);
  if (lines < 0) {
    printFlushed("GenoData::loadHeader %s: the file cannot be read again to count its lines: %s\n", fileName,
                 strerror(errno));
    clearHeader();
    return false;
  }
  if (lines - 2 > INT_MAX) {
    printFlushed("GenoData::loadHeader %s: %lld marker lines are more than this program can hold\n", fileName,
                 lines - 2);
    clearHeader();
    return false;
  }
  m_ori_nummarker = lines > 2 ? static_cast<int>(lines - 2) : 0;
  m_nummarker = m_ori_nummarker;
  if (m_ori_nummarker == 0) {
    // Nothing to estimate: a run over no SNP would end with a success status
    // and empty results.
    printFlushed("GenoData::loadHeader %s: the file holds no SNP lines\n", fileName);
    clearHeader();
    return false;
  }
  if (g_debugLevel >= 2) consolePrintf(" m_ori_nummarker = %d\n", m_ori_nummarker);
  consoleFlush();
  m_headerState = HeaderState::kLoaded;
  return true;
}

bool GenoData::loadData(const char* fileName, const char* sampleTypeName) {
  if (!fileName || !sampleTypeName) {
    NULL_REPORT();
    return false;
  }
  m_fileName = fileName;
  if (g_debugLevel >= 1) consolePrintf("GenoData::loadData(sample type =\"%s\")\n", sampleTypeName);
  clearTypeData();
  markerUsed.assign(m_ori_nummarker, true);
  markerOrder.resize(m_ori_nummarker);
  for (int k = 0; k < m_ori_nummarker; ++k) markerOrder[k] = k;
  if (m_headerState != HeaderState::kLoaded) {
    printFlushed("GenoData::loadData %s: no usable header lines were loaded\n", fileName);
    return false;
  }
  if (m_nummarker == 0) {
    if (m_ori_nummarker > 0) consolePrintf("All the data was flagged.\n");
    consoleFlush();
    return true;
  }

  LineReader reader;
  if (!reader.open(fileName)) {
    printFlushed("GenoData::loadData cannot open %s\n", fileName);
    return false;
  }
  std::string_view line;
  if (!reader.next(line) || !reader.next(line)) {
    printFlushed("GenoData::loadData %s: the header lines are missing\n", fileName);
    return false;
  }

  int t = -1;
  if (auto it = typeIndex.find(sampleTypeName); it != typeIndex.end()) t = it->second;
  m_numindiv = t >= 0 ? sampleTypeTable[t].count : 0;
  if (m_numindiv == 0) {
    printFlushed("Sample type '%s' counts 0\n", sampleTypeName);
    return true;
  }
  selectColumns(sampleTypeName);

  const int markers = m_nummarker;
  markerIds.resize(markers);
  positions.assign(markers, 0);
  alleleSets.assign(m_ori_nummarker, std::bitset<256>());
  // One genotype text per individual, two letters per marker.
  std::vector<std::string> texts(m_numindiv, std::string(2 * static_cast<size_t>(markers), '\0'));
  if (g_debugLevel >= 1) {
    consolePrintf(" m_nummarker = %d\n", m_nummarker);
    consolePrintf(" m_numindiv/total = %d/%d\n", m_numindiv, m_MergeSampleCount);
  }
  if (!readMarkerLines(reader, fileName, texts)) {
    clearTypeData();
    consoleFlush();
    return false;
  }
  reader.close();
  groupPhenotypes(texts);
  reportLoaded(sampleTypeName, t);
  return true;
}

void GenoData::selectColumns(const char* sampleTypeName) {
  const int n = m_MergeSampleCount;
  const bool merged = strcmp(sampleTypeName, "M") == 0;
  std::vector<unsigned char> selected(n, 0);
  selectedColumns.reserve(m_numindiv);
  for (int j = 0; j < n; ++j) {
    if (merged || sampleTypes[j] == sampleTypeName) {
      selected[j] = 1;
      selectedColumns.push_back(j);
      idToType[sampleIds[j]] = sampleTypes[j];
    }
  }
  // The table counts and the selection come from the same line 2.
  m_numindiv = static_cast<int>(selectedColumns.size());
}

// Marker lines parsed at a time: their text is copied out of the reader so
// that several threads can parse them, and each individual's letters of the
// batch are then written side by side rather than one marker at a time.
constexpr int kBatchLines = 1024;

struct GenoData::LineBatch {
  int firstMarker = 0;
  int count = 0;
  std::string text;
  std::vector<size_t> start;  // count + 1 offsets into text
  std::vector<long long> lineNumber;
  std::string_view line(int r) const { return std::string_view(text).substr(start[r], start[r + 1] - start[r]); }
};

bool GenoData::readMarkerLines(LineReader& reader, const char* fileName, std::vector<std::string>& texts) {
  // Reads the lines of markers k0 ... into a batch; true when the file ended
  // (or failed) before them all.
  auto readBatch = [&](int k0, LineBatch& batch) {
    const int want = std::min(kBatchLines, m_ori_nummarker - k0);
    batch.firstMarker = k0;
    batch.text.clear();
    batch.start.assign(1, 0);
    batch.lineNumber.clear();
    bool ended = false;
    std::string_view line;
    for (int r = 0; r < want; ++r) {
      if (!reader.next(line)) {
        ended = true;
        break;
      }
      batch.text.append(line.data(), line.size());
      batch.start.push_back(batch.text.size());
      batch.lineNumber.push_back(reader.lineNumber());
    }
    batch.count = static_cast<int>(batch.lineNumber.size());
    return ended;
  };
  // With several workers the next batch is read while this one is parsed.
  LineBatch batches[2];
  int current = 0;
  bool ended = m_ori_nummarker > 0 && readBatch(0, batches[0]);
  for (int k0 = 0; k0 < m_ori_nummarker; k0 += kBatchLines) {
    LineBatch& batch = batches[current];
    const int next = k0 + kBatchLines;
    bool nextEnded = false;
    std::thread ahead;
    std::exception_ptr aheadFailure;
    if (!ended && next < m_ori_nummarker) {
      if (m_workers > 1) {
        try {
          ahead = std::thread([&] {
            try {
              nextEnded = readBatch(next, batches[1 - current]);
            } catch (...) {
              aheadFailure = std::current_exception();  // out of memory: rethrown below
            }
          });
        } catch (const std::system_error&) {
          // No thread: the batch is read after this one is parsed.
        }
      }
    }
    // A malformed line before the end of the data is reported first.
    bool parsed = false;
    try {
      parsed = parseBatch(batch, fileName, texts);
    } catch (...) {
      if (ahead.joinable()) ahead.join();
      throw;
    }
    if (ahead.joinable()) {
      ahead.join();
      if (aheadFailure) std::rethrow_exception(aheadFailure);
    } else if (parsed && !ended && next < m_ori_nummarker) {
      nextEnded = readBatch(next, batches[1 - current]);
    }
    if (!parsed) return false;
    if (ended) {
      badMarkerLine(fileName, reader.lineNumber() + 1, k0 + batch.count,
                    reader.failed() ? std::string("read error: ") + strerror(reader.error())
                                    : "the file ends before the " + std::to_string(m_ori_nummarker) +
                                          " marker lines counted");
      return false;
    }
    ended = nextEnded;
    current = 1 - current;
  }
  return true;
}

bool GenoData::parseBatch(const LineBatch& batch, const char* fileName, std::vector<std::string>& texts) {
  std::vector<size_t> genotypesAt(static_cast<size_t>(batch.count));
  const int parts = static_cast<int>(std::min<unsigned>(m_workers, static_cast<unsigned>(batch.count / 64 + 1)));
  if (parts <= 1) return parseRows(batch, 0, batch.count, fileName, texts, genotypesAt);
  // Each part prints into its own buffer; the first part that failed has
  // the message a line-by-line reading prints, and nothing before it does.
  std::vector<int64_t> bounds(static_cast<size_t>(parts) + 1);
  for (int q = 0; q <= parts; ++q) bounds[q] = static_cast<int64_t>(batch.count) * q / parts;
  std::vector<std::string> console(static_cast<size_t>(parts));
  std::vector<unsigned char> parsed(static_cast<size_t>(parts), 0);
  parallelRanges(bounds, [&](int64_t from, int64_t to) {
    const size_t q = static_cast<size_t>(std::lower_bound(bounds.begin(), bounds.end(), from) - bounds.begin());
    ConsoleCapture capture(console[q]);
    parsed[q] = parseRows(batch, static_cast<int>(from), static_cast<int>(to), fileName, texts, genotypesAt);
  });
  for (size_t q = 0; q < parsed.size(); ++q) {
    if (parsed[q]) continue;
    fwrite(console[q].data(), 1, console[q].size(), stdout);
    fflush(stdout);
    return false;
  }
  return true;
}

// Rows from..to of a batch: every line is checked before any letter is
// taken, then the letters of the selected individuals are copied, the
// smaller (as a signed character) first.
bool GenoData::parseRows(const LineBatch& batch, int from, int to, const char* fileName,
                         std::vector<std::string>& texts, std::vector<size_t>& genotypesAt) {
  for (int r = from; r < to; ++r) {
    genotypesAt[r] = checkMarkerLine(batch.line(r), batch.lineNumber[r], batch.firstMarker + r, fileName);
    if (genotypesAt[r] == std::string_view::npos) return false;
  }
  // Blocks of 32 lines: each individual's 64 letters of a block are written
  // at once, and the lines read stay few enough for the caches.
  constexpr int kBlock = 32;
  const char* lineAt[kBlock];
  for (int r0 = from; r0 < to; r0 += kBlock) {
    const int rows = std::min(kBlock, to - r0);
    for (int r = 0; r < rows; ++r) lineAt[r] = batch.text.data() + batch.start[r0 + r] + genotypesAt[r0 + r];
    unsigned char seen[kBlock][256] = {};
    for (int i = 0; i < m_numindiv; ++i) {
      const size_t column = kGenotypeStride * static_cast<size_t>(selectedColumns[i]);
      char* out = texts[i].data() + 2 * static_cast<size_t>(batch.firstMarker + r0);
      for (int r = 0; r < rows; ++r) {
        const char* g = lineAt[r] + column;
        char a1 = g[0];
        char a2 = g[2];
        seen[r][static_cast<unsigned char>(a1)] = 1;
        seen[r][static_cast<unsigned char>(a2)] = 1;
        if (static_cast<signed char>(a2) < static_cast<signed char>(a1)) std::swap(a1, a2);
        out[2 * r] = a1;
        out[2 * r + 1] = a2;
      }
    }
    for (int r = 0; r < rows; ++r) {
      std::bitset<256>& alleles = alleleSets[batch.firstMarker + r0 + r];
      seen[r][static_cast<unsigned char>('N')] = 0;
      for (int c = 0; c < 256; ++c)
        if (seen[r][c]) alleles.set(static_cast<size_t>(c));
    }
  }
  return true;
}

namespace {

// Whether every genotype field of a line is three characters other than a
// tab followed by a tab (the last one by a tab or the line's end), four
// bytes at a time.
bool genotypesWellFormed(const char* s, size_t len, size_t first, int n) {
  if (n == 0) return true;
  const size_t lastStart = first + kGenotypeStride * static_cast<size_t>(n - 1);
  if (lastStart + 3 > len) return false;
  // x = word ^ tabs has a zero byte where the word has a tab: the fourth
  // byte in memory order must be one, the other three must not.
  constexpr uint32_t kTabs = 0x09090909u;
  constexpr uint32_t kFourth = std::endian::native == std::endian::little ? 0xFF000000u : 0x000000FFu;
  uint32_t bad = 0;
  for (int j = 0; j + 1 < n; ++j) {
    uint32_t w;
    memcpy(&w, s + first + kGenotypeStride * static_cast<size_t>(j), 4);
    const uint32_t x = w ^ kTabs;
    const uint32_t y = x | kFourth;
    bad |= (x & kFourth) | ((y - 0x01010101u) & ~y & 0x80808080u);
  }
  const char* g = s + lastStart;
  return bad == 0 && g[0] != '\t' && g[1] != '\t' && g[2] != '\t' && (lastStart + 3 == len || g[3] == '\t');
}

}  // namespace

size_t GenoData::checkMarkerLine(std::string_view line, long long lineNo, int k, const char* fileName) {
  constexpr size_t kBad = std::string_view::npos;
  const int n = m_MergeSampleCount;
  size_t tab[4];
  size_t from = 0;
  bool tabsFound = true;
  for (int f = 0; f < 4; ++f) {
    size_t p = line.find('\t', from);
    if (p == std::string_view::npos) {
      tabsFound = false;
      break;
    }
    tab[f] = p;
    from = p + 1;
  }
  if (!tabsFound) {
    consolePrintf("Invalid data(%.*s) at marker #%d. TAB not found!\n", static_cast<int>(line.size()), line.data(), k);
    badMarkerLine(fileName, lineNo, k, line.empty() ? "empty line among the marker lines"
                                                    : "fewer than four tabs before the genotypes");
    return kBad;
  }
  std::string_view posText = line.substr(tab[1] + 1, tab[2] - tab[1] - 1);
  if (!parsePosition(posText, positions[k])) {
    badMarkerLine(fileName, lineNo, k, "position '" + std::string(posText) + "' is not a decimal integer");
    return kBad;
  }
  markerIds[k].assign(line.data(), tab[0]);

  const size_t first = tab[3] + 1;
  const char* s = line.data();
  const size_t len = line.size();
  if (genotypesWellFormed(s, len, first, n)) return first;
  // Which column is wrong, and how.
  for (int j = 0; j < n; ++j) {
    const size_t b = first + kGenotypeStride * static_cast<size_t>(j);
    if (b >= len) {
      badMarkerLine(fileName, lineNo, k,
                    std::to_string(j) + " genotype columns for " + std::to_string(n) + " samples");
      return kBad;
    }
    const bool fits = b + 2 < len && s[b] != '\t' && s[b + 1] != '\t' && s[b + 2] != '\t';
    if (fits && b + 3 == len && j < n - 1) {
      badMarkerLine(fileName, lineNo, k,
                    std::to_string(j + 1) + " genotype columns for " + std::to_string(n) + " samples");
      return kBad;
    }
    if (!fits || (b + 3 < len && s[b + 3] != '\t')) {
      size_t end = line.find('\t', b);
      if (end == std::string_view::npos) end = len;
      badMarkerLine(fileName, lineNo, k,
                    "genotype '" + std::string(s + b, end - b) + "' of sample column " + std::to_string(j + 1) +
                        " is not three characters followed by a tab");
      return kBad;
    }
  }
  return first;
}

void GenoData::groupPhenotypes(std::vector<std::string>& texts) {
  // Group equal genotype texts by hashing; groups are numbered by their
  // first individual.
  std::vector<int> groupOf(m_numindiv);
  std::vector<int> firstMember;
  std::vector<int> groupSize;
  {
    std::unordered_map<std::string_view, int> groups;
    groups.reserve(static_cast<size_t>(m_numindiv) * 2);
    for (int i = 0; i < m_numindiv; ++i) {
      auto [it, added] = groups.try_emplace(std::string_view(texts[i]), static_cast<int>(firstMember.size()));
      if (added) {
        firstMember.push_back(i);
        groupSize.push_back(0);
      }
      groupOf[i] = it->second;
      ++groupSize[it->second];
    }
  }
  m_numpheno = static_cast<int>(firstMember.size());
  consolePrintf("GenoData::loadData Phenotype #: %d\n", m_numpheno);
  printFlushed("Loading pheno...[COUNT:%d]\n", m_numindiv);

  phenotypes.resize(m_numpheno);
  const unsigned parts = std::min<unsigned>(m_workers, static_cast<unsigned>(m_numpheno / 16 + 1));
  std::vector<int64_t> bounds(parts + 1);
  for (unsigned q = 0; q <= parts; ++q) bounds[q] = static_cast<int64_t>(m_numpheno) * q / parts;
  parallelRanges(bounds, [&](int64_t from, int64_t to) {
    for (int64_t p = from; p < to; ++p) phenotypes[p].setGenotype(std::move(texts[firstMember[p]]), groupSize[p]);
  });
  std::vector<int> filled(m_numpheno, 0);
  for (int i = 0; i < m_numindiv; ++i) {
    Phenotype& ph = phenotypes[groupOf[i]];
    int& at = filled[groupOf[i]];
    ph.memberIndex[at] = i;
    ph.memberId[at] = sampleIds[selectedColumns[i]];
    ++at;
  }
}

void GenoData::reportLoaded(const char* sampleTypeName, int t) {
  reportResult("%s", "------------ INPUT DATA DETAIL ---------");
  reportResult("Genotype=%s", m_fileName.c_str());
  reportResult("Chromosome=%s", m_ChromosomeNo.c_str());
  reportResult("Marker Size=%d", m_ori_nummarker);
  reportResult("Total Sample Size=%d", m_MergeSampleCount);
  reportResult("This Sample Type=\"%s\"", sampleTypeName);
  reportResult("This Sample Size=%d", sampleTypeTable[t].count);
  reportResult("Unique phenotype=%d", m_numpheno);
  reportResult("%s", "------------ ANALYSIS RESULT -----------");
}

std::string GenoData::alleleText(int k) const {
  std::string text;
  if (k < 0 || k >= static_cast<int>(alleleSets.size())) return text;
  for (int c = -128; c < 128; ++c) {
    if (!alleleSets[k].test(static_cast<unsigned char>(c))) continue;
    if (!text.empty()) text += '/';
    text += static_cast<char>(c);
  }
  return text;
}
