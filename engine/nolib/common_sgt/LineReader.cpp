#include "common_sgt/LineReader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr size_t kInitialBuffer = 1 << 20;
}

LineReader::~LineReader() { close(); }

bool LineReader::open(const char* path) {
  close();
  if (!path) return false;
  m_fp = fopen(path, "rb");
  if (!m_fp) return false;
  struct stat st {};
  if (fstat(fileno(m_fp), &st) == 0 && S_ISDIR(st.st_mode)) {
    fclose(m_fp);
    m_fp = nullptr;
    errno = EISDIR;
    return false;
  }
  if (fseeko(m_fp, 0, SEEK_END) == 0) {
    m_size = ftello(m_fp);
    fseeko(m_fp, 0, SEEK_SET);
  }
  m_buf.resize(kInitialBuffer);
  m_begin = m_end = 0;
  m_bufOffset = 0;
  m_lineStart = 0;
  m_lineNumber = 0;
  m_eof = false;
  m_error = 0;
  return true;
}

void LineReader::close() {
  if (m_fp) fclose(m_fp);
  m_fp = nullptr;
  m_size = -1;
}

bool LineReader::fill() {
  if (m_eof || !m_fp) return false;
  if (m_begin > 0) {
    memmove(m_buf.data(), m_buf.data() + m_begin, m_end - m_begin);
    m_bufOffset += static_cast<long long>(m_begin);
    m_end -= m_begin;
    m_begin = 0;
  }
  if (m_end == m_buf.size()) m_buf.resize(m_buf.size() * 2);
  size_t got = fread(m_buf.data() + m_end, 1, m_buf.size() - m_end, m_fp);
  if (ferror(m_fp)) {
    // The complete lines before the failure are still served; the line it
    // cut is not, and next() then ends with failed() set, so that the caller
    // cannot mistake a cut file for a complete one.
    m_error = errno != 0 ? errno : EIO;
    m_eof = true;
    m_end += got;
    return got > 0;
  }
  if (got == 0) {
    m_eof = true;
    return false;
  }
  m_end += got;
  return true;
}

bool LineReader::onlyLineEndsRemain() {
  size_t i = m_begin;
  for (;;) {
    for (; i < m_end; ++i) {
      if (m_buf[i] != '\n' && m_buf[i] != '\r') return false;
    }
    size_t consumed = i - m_begin;
    if (!fill()) return !m_error;
    i = m_begin + consumed;
  }
}

bool LineReader::next(std::string_view& line) {
  if (!m_fp) return false;
  size_t scanFrom = m_begin;
  for (;;) {
    const char* base = m_buf.data();
    const void* hit = scanFrom < m_end ? memchr(base + scanFrom, '\n', m_end - scanFrom) : nullptr;
    if (hit) {
      size_t p = static_cast<const char*>(hit) - base;
      m_lineStart = m_bufOffset + static_cast<long long>(m_begin);
      size_t len = p - m_begin;
      if (len > 0 && base[p - 1] == '\r') --len;
      line = std::string_view(base + m_begin, len);
      m_begin = p + 1;
      m_lastHadNewline = true;
      break;
    }
    size_t scanned = m_end - m_begin;
    if (!fill()) {
      if (m_begin == m_end || m_error) return false;
      m_lineStart = m_bufOffset + static_cast<long long>(m_begin);
      size_t len = m_end - m_begin;
      if (len > 0 && m_buf[m_end - 1] == '\r') --len;
      line = std::string_view(m_buf.data() + m_begin, len);
      m_begin = m_end;
      m_lastHadNewline = false;
      break;
    }
    scanFrom = m_begin + scanned;
  }
  if (line.empty() && onlyLineEndsRemain()) {
    m_begin = m_end;
    return false;
  }
  ++m_lineNumber;
  return true;
}

bool LineReader::seek(long long offset, long long lineNumber) {
  if (!m_fp) return false;
  if (fseeko(m_fp, offset, SEEK_SET) != 0) return false;
  m_begin = m_end = 0;
  m_bufOffset = offset;
  m_eof = false;
  m_lineNumber = lineNumber;
  return true;
}
