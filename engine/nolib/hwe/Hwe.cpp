#include "hwe/Hwe.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/FileIdentity.h"
#include "common_sgt/FileUtil.h"
#include "common_sgt/GenotypeLine.h"
#include "common_sgt/SafeFiles.h"
#include "common_sgt/StringUtilSgt.h"

namespace {

const char* const kColumnHeader =
    "Marker_ID\tAllele\tMissingGenotype_Cnt\tTotalGenotype_Cnt\tValidGenotype_Cnt\tCall_Rate\tAllele_Freq\tChi_Square\tp_"
    "value\tMono_Flag\tCallRate_Flag\tMAF_Flag\tHWE_Flag\tTotal_Flag\n";

// Two names denote one file when they are equal or, for files that exist,
// when they share device and inode.
bool sameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (a == b) return true;
  return sameExistingFile(a.c_str(), b.c_str());
}

}  // namespace

Hwe::Hwe(double sampleMissingLimit, double snpMissingLimit, double mafLimit, double hweLimit, bool multipleCorrection,
         const char* outFile, const char* sampleHintFile)
    : m_sampleMissingLimit(sampleMissingLimit),
      m_callRateLimit(1.0 - snpMissingLimit),
      m_mafLimit(mafLimit),
      m_hweLimit(hweLimit),
      m_hweThreshold(hweLimit),
      m_multipleCorrection(multipleCorrection),
      m_outFile(outFile ? outFile : ""),
      m_hintFile(sampleHintFile ? sampleHintFile : "") {
  // A named output is opened only once run() has made sure that it is neither
  // the input nor its report: opening it here for writing would destroy
  // either before anything could check.
  if (m_outFile.empty()) {
    printf("fp_flagged == NULL %s:%d\n", SGT_UNIT, __LINE__);
    fflush(stdout);
  }
}

// The result files' own destructors remove what was not committed.
Hwe::~Hwe() { releaseSections(); }

void Hwe::setFlagClass(const char* className) {
  m_flagClass = className ? className : "";
  printf("flagClass=%s\n", m_flagClass.c_str());
  fflush(stdout);
}

void Hwe::progressShow(long long position) { m_progress.show(clampProgress(position)); }

bool Hwe::checkFileNames() {
  struct Clash {
    const std::string& a;
    const std::string& b;
    const char* what;
  };
  const Clash clashes[] = {
      {m_outFile, m_inputName, "the output file names the input file"},
      {m_outFile, m_reportName, "the output file names the flag report"},
      {m_outFile, m_hintFile, "the output file names the sample hint file"},
      {m_reportName, m_inputName, "the flag report names the input file"},
      {m_hintFile, m_reportName, "the sample hint file names the flag report"},
  };
  for (const Clash& c : clashes) {
    if (sameFile(c.a, c.b)) {
      printf("PREFLAG refused: %s (%s); nothing was written\n", c.what, c.a.c_str());
      fflush(stdout);
      return false;
    }
  }
  return true;
}

bool Hwe::readSampleClasses() {
  std::string_view line;
  if (!m_input.next(line) || !m_input.next(line)) {
    if (m_input.failed())
      printf("%s: read error: %s\n", m_inputName.c_str(), strerror(m_input.error()));
    else
      printf("%s: the sample identifier and sample type lines are missing\n", m_inputName.c_str());
    CONDITION_REPORT("getAffection == NULL");
    return false;
  }
  std::string classLine(line);
  StringUtilSgt util;
  const char* rest = util.skipFields(classLine.c_str(), "\t", 4);
  std::vector<std::string> tokens;
  split(rest ? rest : "", tokens, "\t");
  for (const std::string& t : tokens) {
    m_sampleClasses.add(t.c_str());
    size_t c = 0;
    while (c < m_classes.size() && m_classes[c] != t) ++c;
    if (c == m_classes.size()) {
      m_classes.push_back(t);
      m_classSizes.push_back(0);
    }
    ++m_classSizes[c];
    m_sampleClassIndex.push_back(static_cast<int>(c));
  }
  m_sampleCount = static_cast<int>(tokens.size());
  m_snpStart = m_input.position();

  // The chromosome of every section header comes from the first SNP line.
  std::string_view first;
  if (m_input.next(first)) {
    size_t t1 = first.find('\t');
    if (t1 != std::string_view::npos) {
      size_t t2 = first.find('\t', t1 + 1);
      m_chromosome.assign(first.substr(t1 + 1, t2 == std::string_view::npos ? std::string_view::npos : t2 - t1 - 1));
      m_chromosomeFound = true;
    }
  } else {
    // Nothing to judge: a report of headers only would pass for a result.
    if (m_input.failed())
      printf("%s: read error: %s\n", m_inputName.c_str(), strerror(m_input.error()));
    else
      printf("%s: the file holds no SNP lines\n", m_inputName.c_str());
    fflush(stdout);
    return false;
  }
  return true;
}

void Hwe::writeSectionHeader(const char* className) {
  if (!m_report) {
    CONDITION_REPORT("fpOut == NULL");
    return;
  }
  if (!m_chromosomeFound) CONDITION_REPORT("line_cut == NULL");
  fprintf(m_report,
          "!Chromosome_No:%s\n!Call_Rate_Limit:%.3f\n!Allele_Freq_Limit:%.3f\n!HWE_Test_Limit:%.9f\n!Multi_"
          "Correction:%d\n!Sample_Type:%s\n",
          m_chromosome.c_str(), m_callRateLimit, m_mafLimit, m_hweLimit, m_multipleCorrection ? 1 : 0, className);
  fputs(kColumnHeader, m_report);
}

bool Hwe::run(const char* inputFile) {
  m_inputName = inputFile ? inputFile : "";
  // Every sample type is a pass over the input: a FIFO would be empty for
  // the second.
  if (!requireRegularInput(m_inputName.c_str(), "PREFLAG")) return false;
  if (!m_input.open(m_inputName.c_str())) {
    printf(" fopen ( %s ) failed.\n", m_inputName.c_str());
    CONDITION_REPORT("! open(fileName");
    return false;
  }
  m_reportName = m_inputName + ".flag";
  if (!checkFileNames()) return false;

  if (!m_reportFile.open(m_reportName, true)) {
    printf("%s: cannot be opened for writing: %s\n", m_reportName.c_str(), m_reportFile.why().c_str());
    CONDITION_REPORT("! setOutFile()");
    return false;
  }
  m_report = m_reportFile.fp();
  if (!m_outFile.empty()) {
    if (m_outputFile.open(m_outFile)) {
      m_output = m_outputFile.fp();
    } else {
      m_outputFailed = true;
      printf("fp_flagged == NULL %s:%d\n", SGT_UNIT, __LINE__);
      printf("%s: cannot be opened for writing: %s\n", m_outFile.c_str(), m_outputFile.why().c_str());
      fflush(stdout);
    }
  }

  if (m_multipleCorrection) {
    // Every line of the file counts, the two header lines taken off; empty
    // lines after the last SNP line are not SNPs.
    long long n = countDataLines(m_inputName.c_str()) - 2;
    if (n > 0) m_hweThreshold = m_hweLimit / static_cast<double>(n);
  }

  if (!readSampleClasses()) return closeFiles(false);
  if (m_flagClass != "M" && std::find(m_classes.begin(), m_classes.end(), m_flagClass) == m_classes.end()) {
    // Nothing to take the Hardy-Weinberg judgement from: say so rather than
    // let a mistyped class pass unnoticed.
    printf("flag class %s is not a class of %s: every section judges Hardy-Weinberg equilibrium on its own samples\n",
           m_flagClass.c_str(), m_inputName.c_str());
    fflush(stdout);
  }

  m_progress.addTask("SNP flagging", clampProgress(m_input.size()));
  m_progress.showTaskList();

  prepareSections();
  for (size_t i = 0; i < m_sections.size(); ++i) {
    Section& section = m_sections[i];
    const bool last = i + 1 == m_sections.size();
    if (last)
      printf(" %d. affection type \"Merge\" start ... ", static_cast<int>(i));
    else
      printf(" %d. affection type (%s) start ... ", static_cast<int>(i), section.name.c_str());
    fflush(stdout);
    writeSectionHeader(section.name.c_str());
    if (!last) {
      m_progress.setCurrent(0);
      m_progress.show(0);
    }
    if (i == 0)
      scanSections();
    else
      replaySection(section);
    printf(" end.\n");
    fflush(stdout);
  }
  releaseSections();

  if (m_spoolFailed) {
    printf("%s: the rows of a later section could not be held in a scratch file: %s; no result was written\n",
           m_reportName.c_str(), strerror(m_spoolError));
    fflush(stdout);
    return closeFiles(false);
  }

  if (m_input.failed()) {
    printf("%s: read error: %s; no result was written\n", m_inputName.c_str(), strerror(m_input.error()));
    fflush(stdout);
    return closeFiles(false);
  }

  if (m_malformed) {
    printf("%s: flagging stopped at a malformed SNP line; no filtered file was written\n", m_inputName.c_str());
    fflush(stdout);
    return closeFiles(false);
  }

  printf("#result=class.total.count=%d\n", static_cast<int>(m_classes.size()));
  printf("#result=sample.total.count=%d\n", m_sampleCount);
  fflush(stdout);

  bool ok = appendSampleHint();
  if (ok) ok = writeFilteredFile();
  if (m_outputFailed) ok = false;
  ok = closeFiles(ok);
  if (ok && m_outputWritten) {
    // Only now are both files complete under their names.
    fputs("SUCCESS\n", stderr);
    fflush(stderr);
  }
  return ok;
}

bool Hwe::closeFiles(bool ok) {
  // The report first: a filtered file must not appear beside a report that
  // failed. Neither stays when the run failed.
  m_report = nullptr;
  m_output = nullptr;
  if (ok && m_reportFile.isOpen() && !m_reportFile.commit()) {
    printf("%s: write error: %s\n", m_reportName.c_str(), m_reportFile.why().c_str());
    ok = false;
  }
  if (ok && m_outputFile.isOpen() && !m_outputFile.commit()) {
    printf("%s: write error: %s\n", m_outFile.c_str(), m_outputFile.why().c_str());
    ok = false;
  }
  m_reportFile.discard();
  m_outputFile.discard();
  m_input.close();
  fflush(stdout);
  return ok;
}

Hwe::Flags Hwe::judge() const {
  Flags f;
  f.mono = m_quality.distinctGenotypes < 2 ? 1 : 0;
  // No counted column at all: the call rate prints as 0.000 and is flagged.
  f.callRate = (m_quality.total == 0 || m_quality.callRate < m_callRateLimit) ? 1 : 0;
  f.maf = m_quality.minorAlleleFrequency < m_mafLimit ? 1 : 0;
  f.hwe = m_quality.pValue < m_hweThreshold ? 1 : 0;
  f.total = (f.mono | f.callRate | f.maf | f.hwe) ? 1 : 0;
  return f;
}

void Hwe::prepareSections() {
  m_sections.clear();
  for (size_t i = 0; i <= m_classes.size(); ++i) {
    Section section;
    section.name = i < m_classes.size() ? m_classes[i] : "M";
    // A class that is itself named "M" counts every column, as the merge does.
    section.isMerge = section.name == "M";
    section.counted = section.isMerge ? -1 : static_cast<int>(i);
    section.isFlagClass = section.name == m_flagClass;
    m_sections.push_back(std::move(section));
  }
  std::vector<uint32_t> groups(m_sampleClassIndex.begin(), m_sampleClassIndex.end());
  m_scan.setGroups(std::move(groups), m_classes.size());
}

void Hwe::releaseSections() {
  for (Section& section : m_sections) section.rows.reset();
  if (m_scratch) fclose(m_scratch);
  m_scratch = nullptr;
  free(m_scratchMemory);
  m_scratchMemory = nullptr;
}

// A later section's rows, once their buffer is full, go to the end of the
// scratch file, made at the first need.
void Hwe::spill(Section& section) {
  std::string_view text = section.rows->view();
  if (text.empty() || m_spoolFailed) return;
  if (!m_scratch) {
    m_scratch = tmpfile();
    if (!m_scratch) {
      m_scratch = open_memstream(&m_scratchMemory, &m_scratchMemorySize);
      m_scratchInMemory = true;
    }
    if (!m_scratch) {
      m_spoolError = errno;
      m_spoolFailed = true;
      return;
    }
  }
  if (fwrite(text.data(), 1, text.size(), m_scratch) != text.size()) {
    m_spoolError = errno;
    m_spoolFailed = true;
    return;
  }
  section.chunks.emplace_back(m_scratchEnd, text.size());
  m_scratchEnd += static_cast<long long>(text.size());
  section.rows->clear();
}

// Copies a chunk of the scratch file into the report. A failed write to the
// report is the report's own error, which its commit reports.
bool Hwe::copyScratch(long long offset, size_t length) {
  if (m_scratchInMemory) {
    if (static_cast<size_t>(offset) + length > m_scratchMemorySize) return false;
    if (m_report) fwrite(m_scratchMemory + offset, 1, length, m_report);
    return true;
  }
  if (fseeko(m_scratch, offset, SEEK_SET) != 0) return false;
  std::vector<char> block(1u << 16);
  while (length > 0) {
    size_t want = length < block.size() ? length : block.size();
    size_t got = fread(block.data(), 1, want, m_scratch);
    if (got != want) return false;
    if (m_report) fwrite(block.data(), 1, got, m_report);
    length -= got;
  }
  return true;
}

// Columns are positional (one per tab-separated field); a column that is
// missing, not three characters, or beyond the last sample is not counted.
void Hwe::warnColumns(std::string_view marker) {
  const size_t samples = static_cast<size_t>(m_sampleCount);
  const size_t columns = m_scan.columns();
  int malformed = 0;
  int extra = columns > samples ? static_cast<int>(columns - samples) : 0;
  for (const GenotypeColumnScan::Irregular& column : m_scan.irregular()) {
    if (column.column < samples)
      ++malformed;
    else if (column.empty)
      --extra;
  }
  const int missingColumns = columns < samples ? static_cast<int>(samples - columns) : 0;
  if (malformed || extra || missingColumns) {
    printf("Warning: %s line %lld, marker %.*s: %d genotype columns for %d samples", m_inputName.c_str(),
           m_input.lineNumber(), static_cast<int>(marker.size()), marker.data(), static_cast<int>(columns),
           m_sampleCount);
    if (missingColumns) printf(", %d missing", missingColumns);
    if (malformed) printf(", %d not of three characters", malformed);
    if (extra) printf(", %d beyond the last sample", extra);
    printf("; those columns are not counted\n");
    fflush(stdout);
  }
}

void Hwe::tallySection(const Section& section) { tallyScannedGroup(m_scan, section.counted, m_tally); }

bool Hwe::scanSections() {
  if (!m_input.isOpen()) {
    printf(" ERROR : FILE = %s , LINE = %d\n         MSG  = %s\n", SGT_UNIT, __LINE__, " fp == NULL ");
    return false;
  }
  // Only the first section writes straight to the report; the others hold
  // some megabytes in all before they spill.
  m_chunkSize = std::max<size_t>(4096, (8u << 20) / m_sections.size());
  for (size_t i = 0; i < m_sections.size(); ++i) {
    Section& section = m_sections[i];
    section.rows = std::make_shared<TextBuffer>(i == 0 ? TextBuffer::kDefaultCapacity : m_chunkSize + 4096);
    if (i == 0 && m_report) section.rows->attach(m_report);
  }
  m_input.seek(m_snpStart, 2);
  m_snpIndex = 0;
  m_positions.clear();
  const bool recordPositions = m_progress.isEnabled() && m_sections.size() > 1;

  std::string_view line;
  while (m_input.next(line)) {
    const long long position = m_input.position();
    progressShow(position);
    if (recordPositions) m_positions.push_back(position);
    size_t start = afterFourthTab(line);
    if (start == std::string_view::npos) {
      // Every later section reports the stop from this same place.
      m_stopReportLine = __LINE__;
      reportNull(SGT_UNIT, m_stopReportLine);
      printf("%s line %lld has fewer than four tab-separated fields before its genotypes\n", m_inputName.c_str(),
             m_input.lineNumber());
      fflush(stdout);
      m_malformed = true;
      closeRows();
      return false;
    }
    std::string_view marker = line.substr(0, line.find('\t'));
    m_scan.scan(line.substr(start));
    warnColumns(marker);

    int flagClassHwe = -1;  // the flag class's judgement of this SNP, once made
    for (size_t i = 0; i < m_sections.size(); ++i) {
      Section& section = m_sections[i];
      tallySection(section);
      computeSnpQuality(m_tally, m_quality);
      Flags f = judge();
      if (section.isFlagClass) {
        if (flagClassHwe < 0) flagClassHwe = f.hwe;
      } else if (section.isMerge && flagClassHwe >= 0) {
        f.hwe = flagClassHwe;
        f.total = (f.mono | f.callRate | f.maf | f.hwe) ? 1 : 0;
      }
      if (section.rows) {
        TextBuffer& out = *section.rows;
        out.appendText(marker);
        out.appendChar('\t');
        out.appendText(m_quality.alleleText);
        out.appendChar('\t');
        out.appendInt(m_quality.missing);
        out.appendChar('\t');
        out.appendInt(m_quality.total);
        out.appendChar('\t');
        out.appendInt(m_quality.valid);
        out.appendChar('\t');
        out.appendFixed(m_quality.callRate, 3);
        out.appendChar('\t');
        out.appendText(m_quality.frequencyText);
        out.appendChar('\t');
        out.appendFixed(m_quality.chiSquare, 3);
        out.appendChar('\t');
        out.appendFixed(m_quality.pValue, 6, 1);
        // Every flag is 0 or 1.
        const int flags[5] = {f.mono, f.callRate, f.maf, f.hwe, f.total};
        for (int flag : flags) {
          out.appendChar('\t');
          out.appendChar(static_cast<char>('0' + flag));
        }
        out.appendChar('\n');
        if (i > 0 && out.size() >= m_chunkSize) spill(section);
      }
      if (f.total) ++section.flagged;
    }
    ++m_snpIndex;
  }
  closeRows();
  if (m_sections.front().isMerge) finishMergeSection(m_sections.front());
  return true;
}

// The first section's rows go out before anything else writes to the report
// (its own errors are the report's, which its commit reports).
void Hwe::closeRows() {
  if (!m_sections.empty() && m_sections.front().rows) {
    m_sections.front().rows->close();
    m_sections.front().rows.reset();
  }
}

void Hwe::finishMergeSection(const Section& section) {
  m_mRows = m_snpIndex;
  fprintf(stderr, "#result=snp.%s.total.count=%d\n", "M", m_snpIndex);
  fprintf(stderr, "#result=snp.%s.flagged.count=%d\n", "M", section.flagged);
  fflush(stderr);
}

// A later section shows the progress of the pass it shares and moves its
// held rows into the report; a scratch file that cannot be read back fails
// the run.
void Hwe::replaySection(Section& section) {
  for (long long position : m_positions) progressShow(position);
  if (m_malformed) {
    reportNull(SGT_UNIT, m_stopReportLine);
    return;
  }
  if (!section.rows) return;
  if (!section.chunks.empty() && !m_spoolFailed) {
    bool ok = fflush(m_scratch) == 0 && !ferror(m_scratch);
    for (const auto& [offset, length] : section.chunks) {
      if (!ok) break;
      ok = copyScratch(offset, length);
    }
    if (!ok) {
      m_spoolError = errno != 0 ? errno : EIO;
      m_spoolFailed = true;
    }
  }
  std::string_view rest = section.rows->view();
  if (m_report) fwrite(rest.data(), 1, rest.size(), m_report);
  section.rows.reset();
  if (section.isMerge) finishMergeSection(section);
}
