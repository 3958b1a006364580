#include "common_sgt/LineReader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

namespace {
constexpr size_t kInitialBuffer = 1 << 20;
// Reading ahead: blocks of kBlock bytes, each read behind kReserve bytes
// left free for the unfinished line of the block before, so that buffers
// are swapped, not copied.
constexpr size_t kBlock = 1 << 20;
constexpr size_t kReserve = 1 << 16;
}  // namespace

struct LineReader::Ahead {
  std::vector<char> buf = std::vector<char>(kReserve + kBlock);
  std::thread thread;
  bool pending = false;  // a block is being read (or is to be read, without a thread)
  size_t got = 0;
  int error = 0;
  void read(FILE* fp) {
    errno = 0;
    got = fread(buf.data() + kReserve, 1, kBlock, fp);
    error = ferror(fp) ? (errno != 0 ? errno : EIO) : 0;
  }
  void start(FILE* fp) {
    pending = true;
    try {
      thread = std::thread([this, fp] { read(fp); });
    } catch (const std::system_error&) {
      // No thread to be had: the block is read when it is needed.
    }
  }
  void finish(FILE* fp) {
    if (!pending) return;
    if (thread.joinable())
      thread.join();
    else
      read(fp);
    pending = false;
  }
};

LineReader::LineReader() = default;
LineReader::~LineReader() { close(); }

void LineReader::setReadAhead(bool on) {
  if (on && !m_ahead) {
    m_ahead = std::make_unique<Ahead>();
  } else if (!on && m_ahead) {
    stopAhead();
    m_ahead.reset();
  }
}

// A block read ahead but not taken is dropped, and the file position put
// back to the first byte not yet in the buffer.
void LineReader::stopAhead() {
  if (!m_ahead || !m_ahead->pending) return;
  if (m_ahead->thread.joinable()) m_ahead->thread.join();
  m_ahead->pending = false;
  if (m_fp && !m_eof) fseeko(m_fp, m_bufOffset + static_cast<long long>(m_end), SEEK_SET);
}

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
  stopAhead();
  if (m_fp) fclose(m_fp);
  m_fp = nullptr;
  m_size = -1;
}

bool LineReader::fill() {
  if (m_eof || !m_fp) return false;
  if (m_ahead) return fillAhead();
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

// The unfinished line moves in front of the block read ahead, and that
// buffer becomes the reader's; only a line longer than the space left for it
// is copied the other way. A failed or short read ends the file as fill()
// does.
bool LineReader::fillAhead() {
  Ahead& a = *m_ahead;
  if (!a.pending) a.start(m_fp);
  a.finish(m_fp);
  const size_t got = a.got;
  const int error = a.error;
  const size_t left = m_end - m_begin;
  if (got > 0) {
    if (left <= kReserve && a.buf.size() >= kReserve + kBlock) {
      const size_t start = kReserve - left;
      memcpy(a.buf.data() + start, m_buf.data() + m_begin, left);
      m_bufOffset += static_cast<long long>(m_begin) - static_cast<long long>(start);
      m_buf.swap(a.buf);
      m_begin = start;
      m_end = kReserve + got;
      if (a.buf.size() < kReserve + kBlock) a.buf.resize(kReserve + kBlock);
    } else {
      if (m_begin > 0) {
        memmove(m_buf.data(), m_buf.data() + m_begin, left);
        m_bufOffset += static_cast<long long>(m_begin);
        m_end = left;
        m_begin = 0;
      }
      if (m_buf.size() < m_end + got) m_buf.resize(2 * (m_end + got));
      memcpy(m_buf.data() + m_end, a.buf.data() + kReserve, got);
      m_end += got;
    }
  }
  if (error) {
    // As fill(): the complete lines before the failure are still served.
    m_error = error;
    m_eof = true;
    return got > 0;
  }
  if (got == 0) {
    m_eof = true;
    return false;
  }
  a.start(m_fp);
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
  stopAhead();
  if (fseeko(m_fp, offset, SEEK_SET) != 0) return false;
  m_begin = m_end = 0;
  m_bufOffset = offset;
  m_eof = false;
  m_lineNumber = lineNumber;
  return true;
}
