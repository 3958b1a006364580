#include "impu/Impu.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "common_sgt/ErrorReport.h"
#include "common_sgt/FileIdentity.h"
#include "common_sgt/GenotypeLine.h"
#include "common_sgt/LineReader.h"

namespace {

bool isMissing(const char* g) { return g[0] == 'N' && g[1] == '/' && g[2] == 'N'; }

}  // namespace

Impu::Impu() = default;

Impu::~Impu() {
  if (m_fp) fclose(m_fp);
  if (m_pos) fclose(m_pos);
}

const char* Impu::modeName(int mode) {
  switch (mode) {
    case MAJOR_HOMO:
      return "MAJOR_HOMO";
    case MINOR_HOMO:
      return "MINOR_HOMO";
    case MAJOR_HETERO:
      return "MAJOR_HETERO";
    default:
      return "UNKNOWN";
  }
}

bool Impu::impute(const char* inputFile, int mode) {
  m_inputName = inputFile ? inputFile : "";
  m_fp = fopen(m_inputName.c_str(), "r+");
  if (!m_fp) {
    int err = errno;
    printf(" fp NULL %s:%d\n", SGT_UNIT, __LINE__);
    printf("%s: cannot be opened for reading and writing: %s\n", m_inputName.c_str(), strerror(err));
    fflush(stdout);
    return false;
  }
  m_posName = m_inputName + ".pos";
  printf("pos_file_name(%s)\n", m_posName.c_str());
  fflush(stdout);
  // Opening the position file truncates it; it must not be the input under
  // another name.
  const bool posIsInput = sameExistingFile(m_posName.c_str(), m_inputName.c_str());
  if (posIsInput)
    printf("%s: the position file is the input file; refused\n", m_posName.c_str());
  else
    m_pos = fopen(m_posName.c_str(), "w");
  if (!m_pos) {
    int err = errno;
    printf("pos_fp == NULL : %s:%d\n", SGT_UNIT, __LINE__);
    printf(" set_pos_file (%s) == false %s:%d\n", m_inputName.c_str(), SGT_UNIT, __LINE__);
    if (!posIsInput) printf("%s: cannot be opened for writing: %s\n", m_posName.c_str(), strerror(err));
    fflush(stdout);
    fclose(m_fp);
    m_fp = nullptr;
    return false;
  }

  bool ok = imputeLines(mode);

  printf(" 2 fp = %p\n", static_cast<void*>(m_fp));
  FILE* fp = m_fp;
  m_fp = nullptr;
  if (fclose(fp) != 0) {
    printf("%s: error on closing: %s\n", m_inputName.c_str(), strerror(errno));
    ok = false;
  }
  FILE* pos = m_pos;
  m_pos = nullptr;
  if (fclose(pos) != 0) {
    printf("%s: write error: %s\n", m_posName.c_str(), strerror(errno));
    ok = false;
  }
  fflush(stdout);
  return ok;
}

bool Impu::imputeLines(int mode) {
  LineReader reader;
  if (!reader.open(m_inputName.c_str())) {
    printf("%s: cannot be read: %s\n", m_inputName.c_str(), strerror(errno));
    return false;
  }
  std::string_view line;
  if (!reader.next(line) || !reader.next(line)) {
    printf("%s: the sample identifier and sample type lines are missing\n", m_inputName.c_str());
    return false;
  }
  m_progress.addTask(modeName(mode), clampProgress(reader.size()));
  m_progress.showTaskList();

  const bool knownMode = mode == MAJOR_HOMO || mode == MINOR_HOMO || mode == MAJOR_HETERO;
  while (reader.next(line)) {
    m_progress.show(clampProgress(reader.position()));
    std::string_view marker = line.substr(0, line.find('\t'));
    size_t start = afterFourthTab(line);
    if (start == std::string_view::npos) {
      printf("%.*s : %s (%s%d)\n", static_cast<int>(marker.size()), marker.data(), " no genotype ", SGT_UNIT,
             __LINE__);
      printf("%s line %lld has fewer than four tab-separated fields before its genotypes; left unchanged\n",
             m_inputName.c_str(), reader.lineNumber());
      fflush(stdout);
      continue;
    }

    // Positional columns; an empty column is skipped, and a column that is
    // not three characters is neither counted nor replaced.
    m_counter.clear();
    m_missingColumns.clear();
    int malformed = 0;
    const char* base = line.data();
    size_t p = start;
    const size_t n = line.size();
    for (;;) {
      size_t end;
      if (n - p >= 4 && base[p + 3] == '\t' && base[p] != '\t' && base[p + 1] != '\t' && base[p + 2] != '\t') {
        end = p + 3;
      } else {
        const void* t = memchr(base + p, '\t', n - p);
        end = t ? static_cast<size_t>(static_cast<const char*>(t) - base) : n;
      }
      size_t len = end - p;
      if (len == 3) {
        if (isMissing(base + p))
          m_missingColumns.push_back(p);
        else
          m_counter.add(base + p);
      } else if (len != 0) {
        ++malformed;
      }
      if (end == n) break;
      p = end + 1;
    }
    if (malformed) {
      printf("Warning: %s line %lld, marker %.*s: %d genotype columns not of three characters are neither counted "
             "nor replaced\n",
             m_inputName.c_str(), reader.lineNumber(), static_cast<int>(marker.size()), marker.data(), malformed);
      fflush(stdout);
    }

    if (!knownMode) {
      printf("%.*s : %s (%s%d)\n", static_cast<int>(marker.size()), marker.data(), " unknown input_type ", SGT_UNIT,
             __LINE__);
      fflush(stdout);
      continue;
    }
    if (m_missingColumns.empty()) continue;

    m_counter.fill(m_genotypes);
    chooseCandidates(m_genotypes, m_alleles, m_candidates);
    const std::string& candidate = mode == MAJOR_HOMO   ? m_candidates.majorHomo
                                   : mode == MINOR_HOMO ? m_candidates.minorHomo
                                                        : m_candidates.majorHetero;
    if (!replaceLine(line, reader.lineStart(), candidate)) return false;
  }
  return true;
}

// Writes the candidate over every N/N of the line with one positioned write
// spanning the first to the last of them (the bytes between are written back
// as they were read), then lists their offsets. An empty candidate (no
// genotype observed) writes nothing; the offsets are listed all the same.
bool Impu::replaceLine(std::string_view line, long long lineStart, const std::string& candidate) {
  if (candidate.size() == 3) {
    size_t first = m_missingColumns.front();
    size_t last = m_missingColumns.back() + 3;
    m_patch.assign(line.substr(first, last - first));
    for (size_t m : m_missingColumns) memcpy(&m_patch[m - first], candidate.data(), 3);
    const char* data = m_patch.data();
    size_t left = m_patch.size();
    off_t at = static_cast<off_t>(lineStart + static_cast<long long>(first));
    while (left > 0) {
      ssize_t w = pwrite(fileno(m_fp), data, left, at);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        SYSTEM_ERROR_REPORT(" fprintf() false ");
        printf("%s: write error at byte %lld\n", m_inputName.c_str(), static_cast<long long>(at));
        fflush(stdout);
        return false;
      }
      data += w;
      left -= static_cast<size_t>(w);
      at += w;
    }
  }
  for (size_t m : m_missingColumns) {
    if (fprintf(m_pos, "%lld\n", lineStart + static_cast<long long>(m)) < 0) {
      SYSTEM_ERROR_REPORT(" fprintf() false ");
      printf("%s: write error\n", m_posName.c_str());
      fflush(stdout);
      return false;
    }
  }
  return true;
}
