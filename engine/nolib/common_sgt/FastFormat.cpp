#include "common_sgt/FastFormat.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kDigitPairs[201] =
    "00010203040506070809"
    "10111213141516171819"
    "20212223242526272829"
    "30313233343536373839"
    "40414243444546474849"
    "50515253545556575859"
    "60616263646566676869"
    "70717273747576777879"
    "80818283848586878889"
    "90919293949596979899";

constexpr uint64_t kPow10[] = {1ull,         10ull,         100ull,      1000ull,
                               10000ull,     100000ull,     1000000ull,  10000000ull,
                               100000000ull, 1000000000ull};
// The exact path below covers precisions up to this many digits.
constexpr int kFastMaxPrecision = 9;
// ...and magnitudes below 2^kFastMaxBits, so that value × 10^precision stays
// below 2^62 and the scaled mantissa below 2^83.
constexpr int kFastMaxBits = 32;

int digitCount(uint64_t v) {
  int n = 1;
  for (;;) {
    if (v < 10) return n;
    if (v < 100) return n + 1;
    if (v < 1000) return n + 2;
    if (v < 10000) return n + 3;
    v /= 10000;
    n += 4;
  }
}

// Writes exactly count digits of v (leading zeros included) ending just
// before end.
inline void writeDigitsBackward(char* end, uint64_t v, int count) {
  while (count >= 2) {
    const uint64_t r = v % 100;
    v /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * r, 2);
    count -= 2;
  }
  if (count) *--end = static_cast<char>('0' + v % 10);
}

// Bound on the length of "%.<precision>f" of any finite double: sign, 309
// integer digits, the point and the fraction.
size_t fixedBound(int precision) { return 1 + 309 + 1 + static_cast<size_t>(precision) + 8; }

}  // namespace

TextBuffer::TextBuffer(size_t capacity)
    : m_data(new char[std::max<size_t>(capacity, 64)]), m_cap(std::max<size_t>(capacity, 64)) {}

TextBuffer::~TextBuffer() {
  if (m_fp) close();
}

bool TextBuffer::open(const char* path) {
  if (m_fp) close();
  FILE* fp = std::fopen(path, "wb");
  if (!fp) return false;
  m_fp = fp;
  m_ownsStream = true;
  m_failed = false;
  return true;
}

void TextBuffer::attach(FILE* stream) {
  if (m_fp) close();
  m_fp = stream;
  m_ownsStream = false;
  m_failed = false;
}

bool TextBuffer::flush() {
  if (!m_fp) return !m_failed;
  if (m_len > 0) {
    if (!m_failed && std::fwrite(m_data.get(), 1, m_len, m_fp) != m_len) m_failed = true;
    m_len = 0;
  }
  return !m_failed;
}

bool TextBuffer::close() {
  bool ok = flush();
  if (m_fp) {
    if (std::ferror(m_fp)) ok = false;
    if (m_ownsStream) {
      if (std::fclose(m_fp) != 0) ok = false;
    } else if (std::fflush(m_fp) != 0 || std::ferror(m_fp)) {
      ok = false;
    }
  }
  m_fp = nullptr;
  m_ownsStream = false;
  m_failed = false;
  return ok;
}

void TextBuffer::makeRoom(size_t n) {
  if (m_fp && m_len > 0) flush();
  if (m_cap - m_len >= n) return;
  const size_t cap = std::max(m_cap * 2, m_len + n);
  std::unique_ptr<char[]> data(new char[cap]);
  std::memcpy(data.get(), m_data.get(), m_len);
  m_data = std::move(data);
  m_cap = cap;
}

void TextBuffer::appendText(std::string_view text) {
  char* p = reserve(text.size());
  std::memcpy(p, text.data(), text.size());
  m_len += text.size();
}

void TextBuffer::appendUnsigned(unsigned long long magnitude, bool negative) {
  const int digits = digitCount(magnitude);
  const size_t len = static_cast<size_t>(digits) + (negative ? 1 : 0);
  char* p = reserve(len);
  if (negative) *p = '-';
  writeDigitsBackward(p + len, magnitude, digits);
  m_len += len;
}

void TextBuffer::appendInt(int value) {
  // Negating in unsigned arithmetic keeps INT_MIN exact.
  const unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  appendUnsigned(magnitude, value < 0);
}

void TextBuffer::appendLong(long value) {
  const unsigned long magnitude =
      value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  appendUnsigned(magnitude, value < 0);
}

// The bounds above hold for every double; this only guards against a
// conversion that would still report a short buffer.
void TextBuffer::appendPrintf(const char* format, int width, int precision, double value) {
  const int len = std::snprintf(nullptr, 0, format, precision, value);
  if (len < 0) return;
  const size_t pad = width > len ? static_cast<size_t>(width - len) : 0;
  char* p = reserve(pad + static_cast<size_t>(len) + 1);
  std::memset(p, ' ', pad);
  std::snprintf(p + pad, static_cast<size_t>(len) + 1, format, precision, value);
  m_len += pad + static_cast<size_t>(len);
}

void TextBuffer::appendNonFinite(bool negative, bool isNan, int width) {
  const char* text = isNan ? (negative ? "-nan" : "nan") : (negative ? "-inf" : "inf");
  const size_t len = std::strlen(text);
  const size_t pad = width > static_cast<int>(len) ? static_cast<size_t>(width) - len : 0;
  char* p = reserve(pad + len);
  std::memset(p, ' ', pad);
  std::memcpy(p + pad, text, len);
  m_len += pad + len;
}

template <int P>
void TextBuffer::appendFixedFast(unsigned long long scaled, bool negative, int width) {
  constexpr uint64_t kScale = kPow10[P];
  const uint64_t whole = scaled / kScale;
  const uint64_t fraction = scaled % kScale;
  const int wholeDigits = digitCount(whole);
  const size_t len = (negative ? 1 : 0) + static_cast<size_t>(wholeDigits) + (P > 0 ? 1 + P : 0);
  const size_t pad = width > static_cast<int>(len) ? static_cast<size_t>(width) - len : 0;
  char* p = reserve(pad + len);
  if (pad) std::memset(p, ' ', pad);
  p += pad;
  if (negative) *p++ = '-';
  writeDigitsBackward(p + wholeDigits, whole, wholeDigits);
  if constexpr (P > 0) {
    p[wholeDigits] = '.';
    writeDigitsBackward(p + wholeDigits + 1 + P, fraction, P);
  }
  m_len += pad + len;
}

void TextBuffer::appendFixedSlow(double value, int precision, int width) {
  const size_t bound = fixedBound(precision);
  const size_t room = bound + static_cast<size_t>(std::max(width, 0));
  char* p = reserve(room);
  const auto result = std::to_chars(p, p + bound, value, std::chars_format::fixed, precision);
  if (result.ec != std::errc()) {
    appendPrintf("%.*f", width, precision, value);
    return;
  }
  const size_t len = static_cast<size_t>(result.ptr - p);
  if (width > static_cast<int>(len)) {
    const size_t pad = static_cast<size_t>(width) - len;
    std::memmove(p + pad, p, len);
    std::memset(p, ' ', pad);
    m_len += pad + len;
  } else {
    m_len += len;
  }
}

void TextBuffer::appendFixed(double value, int precision, int width) {
  if (precision < 0) precision = 6;  // as printf takes a negative "%.*f" precision
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = (bits >> 63) != 0;
  const int biasedExponent = static_cast<int>((bits >> 52) & 0x7ff);
  const uint64_t fractionBits = bits & ((uint64_t{1} << 52) - 1);
  if (biasedExponent == 0x7ff) {
    appendNonFinite(negative, fractionBits != 0, width);
    return;
  }
  if (precision > kFastMaxPrecision || biasedExponent >= 1023 + kFastMaxBits) {
    appendFixedSlow(value, precision, width);
    return;
  }
  // |value| = mantissa × 2^-shift exactly, with shift > 20 here. Scale by
  // 10^precision in integers and round the exact product half to even, as
  // printf does.
  const uint64_t mantissa = biasedExponent == 0 ? fractionBits : fractionBits | (uint64_t{1} << 52);
  const int shift = biasedExponent == 0 ? 1074 : 1075 - biasedExponent;
  uint64_t scaled = 0;
  if (shift <= 83) {  // otherwise the product stays below one half: zero
    const unsigned __int128 product = static_cast<unsigned __int128>(mantissa) * kPow10[precision];
    scaled = static_cast<uint64_t>(product >> shift);
    const unsigned __int128 rest = product & ((static_cast<unsigned __int128>(1) << shift) - 1);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (scaled & 1))) ++scaled;
  }
  switch (precision) {
    case 0: appendFixedFast<0>(scaled, negative, width); break;
    case 1: appendFixedFast<1>(scaled, negative, width); break;
    case 2: appendFixedFast<2>(scaled, negative, width); break;
    case 3: appendFixedFast<3>(scaled, negative, width); break;
    case 4: appendFixedFast<4>(scaled, negative, width); break;
    case 5: appendFixedFast<5>(scaled, negative, width); break;
    case 6: appendFixedFast<6>(scaled, negative, width); break;
    case 7: appendFixedFast<7>(scaled, negative, width); break;
    case 8: appendFixedFast<8>(scaled, negative, width); break;
    default: appendFixedFast<9>(scaled, negative, width); break;
  }
}

void TextBuffer::appendExp(double value, int precision) {
  if (precision < 0) precision = 6;
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  if (((bits >> 52) & 0x7ff) == 0x7ff) {
    appendNonFinite((bits >> 63) != 0, (bits & ((uint64_t{1} << 52) - 1)) != 0, 0);
    return;
  }
  // Sign, one digit, the point, the fraction and "e-308".
  const size_t bound = static_cast<size_t>(precision) + 16;
  char* p = reserve(bound);
  const auto result = std::to_chars(p, p + bound, value, std::chars_format::scientific, precision);
  if (result.ec != std::errc()) {
    appendPrintf("%.*e", 0, precision, value);
    return;
  }
  m_len += static_cast<size_t>(result.ptr - p);
}
