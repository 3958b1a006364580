#include "common_sgt/FileUtil.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "common_sgt/ErrorReport.h"

namespace {

void stripLineEnd(std::string& s, bool hadNewline) {
  (void)hadNewline;
  if (!s.empty() && s.back() == '\r') s.pop_back();
}

// Reads one raw line; returns false when nothing could be read.
bool readRaw(std::string& out, FILE* stream, bool& hadNewline) {
  out.clear();
  hadNewline = false;
  int c;
  bool any = false;
  while ((c = getc_unlocked(stream)) != EOF) {
    any = true;
    if (c == '\n') {
      hadNewline = true;
      break;
    }
    out.push_back(static_cast<char>(c));
  }
  return any;
}

}  // namespace

bool readLine(std::string& buffer, int& capacity, FILE* stream) {
  buffer.clear();
  if (!stream) {
    NULL_REPORT();
    return false;
  }
  if (capacity < 1) capacity = 1;
  const int step = capacity;
  bool hadNewline = false;
  if (!readRaw(buffer, stream, hadNewline)) return false;
  // A fixed buffer of capacity characters holds the line only when the line
  // is shorter; otherwise it grows by the starting capacity.
  while (buffer.size() >= static_cast<size_t>(capacity)) capacity += step;
  stripLineEnd(buffer, hadNewline);
  return true;
}

std::optional<std::string> readWholeLine(FILE* stream) {
  if (!stream) {
    NULL_REPORT();
    return std::nullopt;
  }
  std::string line;
  bool hadNewline = false;
  if (!readRaw(line, stream, hadNewline)) return std::nullopt;
  stripLineEnd(line, hadNewline);
  return line;
}

bool jumpTo(FILE* stream, const char* text, bool prefix) {
  if (!stream || !text) {
    NULL_REPORT();
    return false;
  }
  size_t n = strlen(text);
  if (n < 1) {
    printf("strlen ( str ) < 1. ");
    NULL_REPORT();
    return false;
  }
  std::string line;
  int capacity = 512;
  while (readLine(line, capacity, stream)) {
    if (prefix ? line.compare(0, n, text) == 0 : line == text) break;
  }
  return true;
}

long fileSize(FILE* stream) {
  if (!stream) {
    SYSTEM_ERROR_REPORT("fp == NULL");
    return -1;
  }
  long curr = ftell(stream);
  if (curr < 0) {
    SYSTEM_ERROR_REPORT("(curr = ftell(fp)) < 0");
    return -1;
  }
  if (fseek(stream, 0, SEEK_END) < 0) {
    SYSTEM_ERROR_REPORT("fseek ( fp, 0, SEEK_END ) < 0");
    return -1;
  }
  long end = ftell(stream);
  if (end < 0) {
    SYSTEM_ERROR_REPORT("(end = ftell(fp) ) < 0");
    return -1;
  }
  if (fseek(stream, curr, SEEK_SET) < 0) {
    SYSTEM_ERROR_REPORT("fseek ( fp, curr , SEEK_SET )) < 0");
    return -1;
  }
  return end;
}

namespace {

// Counts lines; trailingEmpty receives how many of them, at the very end of
// the file, are empty (nothing but "\r" bytes before the "\n"). Line ends
// are found with memchr in 1 MiB reads: a whole chromosome is counted at
// memory speed before every load.
long long countLinesImpl(const char* fileName, long long& trailingEmpty) {
  trailingEmpty = 0;
  FILE* fp = fileName ? fopen(fileName, "rb") : nullptr;
  if (!fp) return -1;
  std::vector<char> block(size_t{1} << 20);
  long long lines = 0;
  // Whether the current line so far holds a byte other than "\r".
  bool filled = false;
  int last = -1;
  size_t got;
  while ((got = fread(block.data(), 1, block.size(), fp)) > 0) {
    const char* p = block.data();
    const char* const end = p + got;
    while (p < end) {
      const char* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
      const char* stop = nl ? nl : end;
      for (const char* q = p; !filled && q < stop; ++q) filled = *q != '\r';
      if (!nl) break;
      ++lines;
      trailingEmpty = filled ? 0 : trailingEmpty + 1;
      filled = false;
      p = nl + 1;
    }
    last = static_cast<unsigned char>(block[got - 1]);
  }
  // A count cut short by a read error would pass for a shorter file.
  if (ferror(fp)) {
    int err = errno;
    fclose(fp);
    errno = err;
    return -1;
  }
  fclose(fp);
  if (last != -1 && last != '\n') {
    ++lines;
    trailingEmpty = filled ? 0 : trailingEmpty + 1;
  }
  return lines;
}

}  // namespace

long long countLines(const char* fileName) {
  long long trailing;
  return countLinesImpl(fileName, trailing);
}

long long countDataLines(const char* fileName) {
  long long trailing;
  long long lines = countLinesImpl(fileName, trailing);
  return lines < 0 ? lines : lines - trailing;
}

void split(const std::string& text, std::vector<std::string>& pieces, const char* delimiters) {
  const char* d = delimiters ? delimiters : "";
  size_t start = text.find_first_not_of(d);
  while (start != std::string::npos) {
    size_t end = text.find_first_of(d, start);
    if (end == std::string::npos) end = text.size();
    pieces.emplace_back(text, start, end - start);
    start = text.find_first_not_of(d, end);
  }
}
