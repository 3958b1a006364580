#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

// Text output for the reports that are written in bulk (millions of rows of
// pairwise LD values), where printf alone takes several seconds per file.
//
// Every append yields exactly the bytes that printf would write for the named
// format in the C locale, including its rounding (the exact binary value is
// rounded half to even), the sign of negative zero and of values that round
// to zero ("-0.00000"), texts longer than the width (never cut), and "nan",
// "-nan" (sign bit set), "inf", "-inf" right-aligned in the field width. A
// negative precision stands for the default 6, as with "%.*f":
//
//   appendInt(v)                         "%d"
//   appendLong(v)                        "%ld"
//   appendFixed(v, p)                    "%.pf"        ("%f" is p = 6)
//   appendFixed(v, p, w)                 "%w.pf"       (e.g. "%7.5f", "%1.6f")
//   appendExp(v)                         "%e"
//   appendExp(v, p)                      "%.pe"
//   appendText(s), appendChar(c)         the bytes themselves ("%s", "%c")
//
// The unit tests compare every append against snprintf on millions of values.
//
// With a stream attached, the bytes go out with fwrite whenever the buffer is
// full; a caller that also writes to the same stream directly must flush()
// first. Without a stream the buffer simply grows and view() shows the text.
class TextBuffer {
 public:
  static constexpr size_t kDefaultCapacity = 1 << 18;

  explicit TextBuffer(size_t capacity = kDefaultCapacity);
  // Writes out what is still buffered (without reporting a failure: call
  // close() to learn about it) and closes a stream opened by open().
  ~TextBuffer();
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  // Creates (truncates) the file and writes to it; false (errno set) when it
  // cannot be opened. The buffer owns the stream and close() closes it.
  // A stream still attached is closed first: close() it yourself to learn
  // whether its writes succeeded.
  bool open(const char* path);
  // Writes to a stream the caller keeps; close() flushes it but leaves it
  // open. A stream still attached is closed first, as with open().
  void attach(FILE* stream);
  FILE* stream() const { return m_fp; }

  // Writes the buffered bytes to the stream with fwrite. false when a write
  // failed, now or earlier (the unwritten bytes are dropped: they cannot
  // reach the file any more). Without a stream it does nothing and succeeds.
  bool flush();
  // flush(), then fflush (or fclose for a stream from open()); false when any
  // write since open()/attach() failed. The buffer is detached afterwards.
  bool close();
  // Whether a write to the stream has failed.
  bool failed() const { return m_failed; }

  // The text not yet written out (all of it without a stream).
  std::string_view view() const { return std::string_view(m_data.get(), m_len); }
  size_t size() const { return m_len; }
  // Drops the buffered text without writing it.
  void clear() { m_len = 0; }
  // Makes sure that the next n bytes appended stay in the buffer beside what
  // is there now (no write to the stream in between), so that a caller can
  // copy text it has just appended. Appends of numbers keep a margin of
  // their own: reserve the text's length plus 32 bytes.
  void reserveRoom(size_t n) { reserve(n); }

  void appendText(std::string_view text) {
    // A short text (a number copied from another row) with two overlapping
    // word copies rather than a call; every byte read and written lies
    // within the text.
    const size_t n = text.size();
    if (n >= 4 && n <= 16 && m_cap - m_len >= 16) {
      char* p = m_data.get() + m_len;
      const char* s = text.data();
      if (n >= 8) {
        uint64_t head, tail;
        std::memcpy(&head, s, 8);
        std::memcpy(&tail, s + n - 8, 8);
        std::memcpy(p, &head, 8);
        std::memcpy(p + n - 8, &tail, 8);
      } else {
        uint32_t head, tail;
        std::memcpy(&head, s, 4);
        std::memcpy(&tail, s + n - 4, 4);
        std::memcpy(p, &head, 4);
        std::memcpy(p + n - 4, &tail, 4);
      }
      m_len += n;
      return;
    }
    appendTextGeneral(text);
  }
  void appendChar(char c) {
    if (m_len == m_cap) makeRoom(1);
    m_data[m_len++] = c;
  }
  void appendInt(int value);
  void appendLong(long value);
  // Fixed notation with precision digits after the point, right-aligned in
  // width with spaces (no point when precision is 0).
  void appendFixed(double value, int precision, int width = 0);
  // Exponent notation d.ddddddde±XX with precision digits after the point.
  void appendExp(double value, int precision = 6);

 private:
  // Makes room for at least n more bytes: writes out to the stream, or grows.
  void makeRoom(size_t n);
  char* reserve(size_t n) {
    if (m_cap - m_len < n) makeRoom(n);
    return m_data.get() + m_len;
  }
  void appendTextGeneral(std::string_view text);
  void appendUnsigned(unsigned long long magnitude, bool negative);
  void appendUnsignedAfterMakingRoom(unsigned long long magnitude, bool negative);
  void appendNonFinite(bool negative, bool isNan, int width);
  void appendFixedGeneral(double value, int precision, int width);
  void appendFixedAfterMakingRoom(double value, int precision, int width);
  void appendFixedSlow(double value, int precision, int width);
  void appendPrintf(const char* format, int width, int precision, double value);
  template <int P>
  void appendScaled(unsigned long long scaled, bool negative, int width);

  std::unique_ptr<char[]> m_data;
  size_t m_len = 0;
  size_t m_cap = 0;
  FILE* m_fp = nullptr;
  bool m_ownsStream = false;
  bool m_failed = false;
};
