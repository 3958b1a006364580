#include "impu/Impu.h"

#include <fcntl.h>
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
  // The input is read to the end before it is rewritten: a FIFO could not be
  // rewritten at all.
  if (!requireRegularInput(m_inputName.c_str(), "PREIMPU")) return false;
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
  // The position file must not be the input under another name.
  const bool posIsInput = sameExistingFile(m_posName.c_str(), m_inputName.c_str());
  if (posIsInput)
    printf("%s: the position file is the input file; refused\n", m_posName.c_str());
  else if (m_posFile.open(m_posName))
    m_pos = m_posFile.fp();
  if (!m_pos) {
    printf("pos_fp == NULL : %s:%d\n", SGT_UNIT, __LINE__);
    printf(" set_pos_file (%s) == false %s:%d\n", m_inputName.c_str(), SGT_UNIT, __LINE__);
    if (!posIsInput) printf("%s: cannot be opened for writing: %s\n", m_posName.c_str(), m_posFile.why().c_str());
    fflush(stdout);
    fclose(m_fp);
    m_fp = nullptr;
    return false;
  }

  // First the complete record, on disk; only then the input changes.
  bool ok = imputeLines(mode);
  m_pos = nullptr;
  if (ok && !m_posFile.commit(true)) {
    printf("%s: write error: %s\n", m_posName.c_str(), m_posFile.why().c_str());
    ok = false;
  }
  m_posFile.discard();
  if (ok) ok = applyPatches();

  printf(" 2 fp = %p\n", static_cast<void*>(m_fp));
  FILE* fp = m_fp;
  m_fp = nullptr;
  if (fclose(fp) != 0) {
    printf("%s: error on closing: %s\n", m_inputName.c_str(), strerror(errno));
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
    if (reader.failed())
      printf("%s: read error: %s\n", m_inputName.c_str(), strerror(reader.error()));
    else
      printf("%s: the sample identifier and sample type lines are missing\n", m_inputName.c_str());
    return false;
  }
  long long snpLines = 0;
  m_progress.addTask(modeName(mode), clampProgress(reader.size()));
  m_progress.showTaskList();

  const bool knownMode = mode == MAJOR_HOMO || mode == MINOR_HOMO || mode == MAJOR_HETERO;
  while (reader.next(line)) {
    ++snpLines;
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
    if (!recordLine(reader.lineStart(), candidate)) return false;
  }
  if (reader.failed()) {
    printf("%s: read error after line %lld: %s; the file was not changed\n", m_inputName.c_str(),
           reader.lineNumber(), strerror(reader.error()));
    return false;
  }
  if (snpLines == 0) {
    printf("%s: the file holds no SNP lines\n", m_inputName.c_str());
    return false;
  }
  return true;
}

// Lists the offsets of the line's N/N in the position file and keeps them,
// with the genotype to write, for the rewrite. An empty candidate (no
// genotype observed) writes nothing; the offsets are listed all the same.
bool Impu::recordLine(long long lineStart, const std::string& candidate) {
  const size_t first = m_offsets.size();
  for (size_t m : m_missingColumns) {
    const long long at = lineStart + static_cast<long long>(m);
    if (fprintf(m_pos, "%lld\n", at) < 0) {
      SYSTEM_ERROR_REPORT(" fprintf() false ");
      printf("%s: write error\n", m_posName.c_str());
      fflush(stdout);
      return false;
    }
    if (candidate.size() == 3) m_offsets.push_back(at);
  }
  if (candidate.size() == 3) m_patches.push_back({first, m_missingColumns.size(), {candidate[0], candidate[1], candidate[2]}});
  return true;
}

// Writes each line's genotype over its N/N with one positioned write
// spanning the first to the last of them (the bytes between are written back
// as they are read now). A span that no longer holds N/N where the record
// says means the file changed since it was read: the run stops there.
bool Impu::applyPatches() {
  const int fd = fileno(m_fp);
  for (const Patch& p : m_patches) {
    const long long begin = m_offsets[p.firstOffset];
    const long long end = m_offsets[p.firstOffset + p.count - 1] + 3;
    m_patch.resize(static_cast<size_t>(end - begin));
    size_t got = 0;
    while (got < m_patch.size()) {
      ssize_t r = pread(fd, &m_patch[got], m_patch.size() - got, static_cast<off_t>(begin + static_cast<long long>(got)));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        printf("%s: read error at byte %lld: %s\n", m_inputName.c_str(), begin + static_cast<long long>(got),
               r < 0 ? strerror(errno) : "end of file");
        fflush(stdout);
        return false;
      }
      got += static_cast<size_t>(r);
    }
    for (size_t k = p.firstOffset; k < p.firstOffset + p.count; ++k) {
      char* g = &m_patch[static_cast<size_t>(m_offsets[k] - begin)];
      if (!isMissing(g)) {
        printf("%s: byte %lld no longer holds N/N; the file changed while it was imputed\n", m_inputName.c_str(),
               m_offsets[k]);
        fflush(stdout);
        return false;
      }
      memcpy(g, p.genotype, 3);
    }
    const char* data = m_patch.data();
    size_t left = m_patch.size();
    off_t at = static_cast<off_t>(begin);
    while (left > 0) {
      ssize_t w = pwrite(fd, data, left, at);
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
  if (fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
    printf("%s: write error: %s\n", m_inputName.c_str(), strerror(errno));
    fflush(stdout);
    return false;
  }
  return true;
}

bool Impu::restore(const char* inputFile) {
  m_inputName = inputFile ? inputFile : "";
  m_posName = m_inputName + ".pos";
  if (!requireRegularInput(m_inputName.c_str(), "PREIMPU /RESTORE")) return false;
  if (sameExistingFile(m_posName.c_str(), m_inputName.c_str())) {
    printf("%s: the position file is the input file; refused\n", m_posName.c_str());
    fflush(stdout);
    return false;
  }
  LineReader pos;
  if (!pos.open(m_posName.c_str())) {
    printf("%s: cannot be read: %s\n", m_posName.c_str(), strerror(errno));
    fflush(stdout);
    return false;
  }
  const int fd = ::open(m_inputName.c_str(), O_RDWR);
  if (fd < 0) {
    printf("%s: cannot be opened for reading and writing: %s\n", m_inputName.c_str(), strerror(errno));
    fflush(stdout);
    return false;
  }
  struct stat st {};
  fstat(fd, &st);
  // Every offset is checked before the first write: a position file of
  // another file must not scatter N/N over this one.
  std::vector<long long> offsets;
  std::string_view line;
  bool ok = true;
  while (ok && pos.next(line)) {
    long long at = 0;
    bool digits = !line.empty() && line.size() < 19;
    for (char c : line) {
      if (c < '0' || c > '9') digits = false;
      else at = at * 10 + (c - '0');
    }
    char g[5] = {0, 0, 0, 0, 0};
    const long long from = at > 0 ? at - 1 : at;
    const long long want = at > 0 ? 5 : 4;
    bool fits = digits && at + 3 <= st.st_size;
    if (fits) {
      ssize_t r = pread(fd, g, static_cast<size_t>(want), static_cast<off_t>(from));
      const char* h = at > 0 ? g + 1 : g;
      const char after = r == want ? h[3] : '\n';
      fits = r >= want - 1 && (at == 0 || g[0] == '\t') && h[0] != '\t' && h[0] != '\n' && h[1] != '\t' &&
             h[1] != '\n' && h[2] != '\t' && h[2] != '\n' && h[2] != '\r' &&
             (after == '\t' || after == '\n' || after == '\r');
    }
    if (!fits) {
      printf("%s line %lld: \"%.*s\" is not the offset of a genotype column of %s; nothing was restored\n",
             m_posName.c_str(), pos.lineNumber(), static_cast<int>(line.size()), line.data(), m_inputName.c_str());
      ok = false;
      break;
    }
    offsets.push_back(at);
  }
  if (ok && pos.failed()) {
    printf("%s: read error: %s; nothing was restored\n", m_posName.c_str(), strerror(pos.error()));
    ok = false;
  }
  for (size_t i = 0; ok && i < offsets.size(); ++i) {
    if (pwrite(fd, "N/N", 3, static_cast<off_t>(offsets[i])) != 3) {
      printf("%s: write error at byte %lld: %s\n", m_inputName.c_str(), offsets[i], strerror(errno));
      ok = false;
    }
  }
  if (ok && fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
    printf("%s: write error: %s\n", m_inputName.c_str(), strerror(errno));
    ok = false;
  }
  if (::close(fd) != 0) ok = false;
  if (ok) printf("%s: N/N written back at %zu offsets\n", m_inputName.c_str(), offsets.size());
  fflush(stdout);
  return ok;
}
