#pragma once
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

// Fast buffered reading of text lines of any length, with the byte offset of
// every line. A line is returned without its "\n" and without one "\r" before
// it. Empty lines at the very end of the file are not returned: they are not
// data lines for any command.
class LineReader {
 public:
  LineReader();
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Opens the file for reading; false (errno set) when it cannot be opened.
  // A directory is refused (EISDIR): reading one would look like an empty
  // file.
  bool open(const char* path);
  void close();
  bool isOpen() const { return m_fp != nullptr; }

  // The next line, valid until the next call; false at the end or after a
  // read error (see failed()). A line cut by a read error is not returned.
  bool next(std::string_view& line);
  // Whether reading stopped at a read error rather than at the end; the
  // error number is kept, as later calls may change errno.
  bool failed() const { return m_error != 0; }
  int error() const { return m_error; }
  // Byte offset of the first byte of the line last returned.
  long long lineStart() const { return m_lineStart; }
  // Byte offset just after the line last returned (its "\n" included).
  long long position() const { return m_bufOffset + static_cast<long long>(m_begin); }
  // 1-based number of the line last returned (0 before the first).
  long long lineNumber() const { return m_lineNumber; }
  // Whether the line last returned was ended by "\n" (false only for a last
  // line without one).
  bool lastHadNewline() const { return m_lastHadNewline; }
  // Continues reading at a byte offset; lineNumber is the number the line
  // before that offset had (0 for the start of the file).
  bool seek(long long offset, long long lineNumber = 0);
  // Total size of the file in bytes, or -1.
  long long size() const { return m_size; }
  // From now on the next block of the file is read on a second thread while
  // the caller works on this one. The lines, offsets and read errors are
  // the same as without it; only the kernel's copying of the file overlaps
  // the caller's work.
  void setReadAhead(bool on);

 private:
  struct Ahead;
  bool fill();
  bool fillAhead();
  void stopAhead();
  bool onlyLineEndsRemain();

  FILE* m_fp = nullptr;
  std::vector<char> m_buf;
  size_t m_begin = 0;  // first unconsumed byte
  size_t m_end = 0;    // end of valid data
  long long m_bufOffset = 0;
  long long m_lineStart = 0;
  long long m_lineNumber = 0;
  long long m_size = -1;
  bool m_eof = false;
  int m_error = 0;
  bool m_lastHadNewline = false;
  std::unique_ptr<Ahead> m_ahead;
};
