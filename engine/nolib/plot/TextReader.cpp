#include "plot/TextReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace plot {

namespace {
constexpr size_t kBuffer = 1 << 20;
}

TextReader::~TextReader() {
  if (m_fd >= 0) ::close(m_fd);
}

bool TextReader::open(const std::string& path) {
  m_path = path;
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (m_fd < 0) return false;
  m_buf.resize(kBuffer);
  return true;
}

bool TextReader::fill() {
  if (m_eof || m_errno) return false;
  if (m_begin > 0) {
    std::memmove(m_buf.data(), m_buf.data() + m_begin, m_end - m_begin);
    m_bufOffset += static_cast<long long>(m_begin);
    m_end -= m_begin;
    m_begin = 0;
  }
  if (m_end == m_buf.size()) m_buf.resize(m_buf.size() * 2);
  for (;;) {
    ssize_t got = ::read(m_fd, m_buf.data() + m_end, m_buf.size() - m_end);
    if (got > 0) {
      m_end += static_cast<size_t>(got);
      return true;
    }
    if (got == 0) {
      m_eof = true;
      return false;
    }
    if (errno == EINTR) continue;
    m_errno = errno;
    return false;
  }
}

TextReader::Status TextReader::next(std::string_view& line) {
  if (m_fd < 0) return Status::kError;
  size_t scanFrom = m_begin;
  for (;;) {
    const char* base = m_buf.data();
    const void* hit = scanFrom < m_end ? std::memchr(base + scanFrom, '\n', m_end - scanFrom) : nullptr;
    if (hit) {
      size_t p = static_cast<size_t>(static_cast<const char*>(hit) - base);
      size_t len = p - m_begin;
      if (len > 0 && base[p - 1] == '\r') --len;
      m_lineStart = m_bufOffset + static_cast<long long>(m_begin);
      line = std::string_view(base + m_begin, len);
      m_begin = p + 1;
      ++m_lineNumber;
      return Status::kLine;
    }
    size_t scanned = m_end - m_begin;
    if (!fill()) {
      if (m_errno) return Status::kError;
      if (m_begin == m_end) return Status::kEnd;
      size_t len = m_end - m_begin;
      if (m_buf[m_end - 1] == '\r') --len;
      m_lineStart = m_bufOffset + static_cast<long long>(m_begin);
      line = std::string_view(m_buf.data() + m_begin, len);
      m_begin = m_end;
      ++m_lineNumber;
      return Status::kLine;
    }
    scanFrom = m_begin + scanned;
  }
}

TextReader::Status TextReader::skipToLineStarting(char c) {
  if (m_fd < 0) return Status::kError;
  for (;;) {
    const char* base = m_buf.data();
    size_t from = m_begin;
    // A hit counts only at a line start: at m_begin (just after a line end)
    // or after a "\n".
    while (from < m_end) {
      const void* hit = std::memchr(base + from, c, m_end - from);
      if (!hit) break;
      size_t p = static_cast<size_t>(static_cast<const char*>(hit) - base);
      if (p == m_begin || base[p - 1] == '\n') {
        m_lineNumber += std::count(base + m_begin, base + p, '\n');
        m_begin = p;
        return Status::kLine;
      }
      from = p + 1;
    }
    // Drop the whole lines searched; the partial last line is searched
    // again with more data.
    const char* lastEnd = static_cast<const char*>(memrchr(base + m_begin, '\n', m_end - m_begin));
    if (lastEnd) {
      size_t p = static_cast<size_t>(lastEnd - base) + 1;
      m_lineNumber += std::count(base + m_begin, base + p, '\n');
      m_begin = p;
    }
    if (!fill()) return m_errno ? Status::kError : Status::kEnd;
  }
}

bool TextReader::seek(long long offset, long long lineNumberBefore) {
  if (m_fd < 0 || ::lseek(m_fd, offset, SEEK_SET) != offset) return false;
  m_begin = m_end = 0;
  m_bufOffset = offset;
  m_eof = false;
  m_lineNumber = lineNumberBefore;
  return true;
}


}  // namespace plot
