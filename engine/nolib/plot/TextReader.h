#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "common_sgt/GenotypeScan.h"

// Line-by-line reading of a result file of any size with read(2), keeping
// only the current line in memory. Unlike stdio it tells a read error from
// the end of the file, so a picture is never drawn from a file cut short by
// a failing disk. Lines come without "\n" and without one "\r" before it.
namespace plot {

class TextReader {
 public:
  enum class Status { kLine, kEnd, kError };

  TextReader() = default;
  ~TextReader();
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  // False with errno set when the file cannot be opened.
  bool open(const std::string& path);
  Status next(std::string_view& line);
  // Skips whole lines until one starting with c, which the next call to next
  // returns; line numbers stay right. Much faster than next for the millions
  // of rows of a section nobody asked for.
  Status skipToLineStarting(char c);
  // 1-based number of the line last returned.
  long long lineNumber() const { return m_lineNumber; }
  // Byte offset of the start of the line last returned, and a way back to it
  // (the line number is restored with it).
  long long lineStart() const { return m_lineStart; }
  bool seek(long long offset, long long lineNumberBefore);
  // Byte offset just after the line last returned.
  long long position() const { return m_bufOffset + static_cast<long long>(m_begin); }
  // errno of the failed read, for the message.
  int error() const { return m_errno; }
  const std::string& path() const { return m_path; }

 private:
  bool fill();

  int m_fd = -1;
  std::string m_path;
  std::vector<char> m_buf;
  size_t m_begin = 0;
  size_t m_end = 0;
  long long m_bufOffset = 0;
  long long m_lineStart = 0;
  long long m_lineNumber = 0;
  bool m_eof = false;
  int m_errno = 0;
};

// splitTabs (tab-separated fields, empty ones kept) comes from the scanning
// primitives shared with the programs.

}  // namespace plot
