#include "common_sgt/FastFormat.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

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
// Bit patterns of magnitudes from 2^32 up, infinity and NaN included.
constexpr uint64_t kFastMaxMagnitudeBits = uint64_t{1023 + kFastMaxBits} << 52;

constexpr uint64_t kPow10Wide[20] = {
    1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull, 10000000ull, 100000000ull,
    1000000000ull, 10000000000ull, 100000000000ull, 1000000000000ull, 10000000000000ull,
    100000000000000ull, 1000000000000000ull, 10000000000000000ull, 100000000000000000ull,
    1000000000000000000ull, 10000000000000000000ull};

// Number of decimal digits of v (1 for 0): log10 from the bit length
// (1233 / 4096 ≈ log10(2)), corrected by one comparison.
int digitCount(uint64_t v) {
  v |= 1;
  const int guess = (std::bit_width(v) * 1233) >> 12;
  return guess + (v >= kPow10Wide[guess] ? 1 : 0);
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

// Writes exactly P digits of f < 10^P (leading zeros included) at p. f is
// taken as the fixed-point number f / 10^(P-1) (or / 10^(P-2) when P is
// even, so that the first step yields a pair) with 57 fraction bits; every
// further pair is the integer part of the fraction times 100. The multiplier
// is rounded up, and the excess it brings, below 10^P / 2^57, stays under the
// last place for P <= 9, so each step's integer part is the exact digit pair.
// A chain of cheap multiplications instead of one division per pair.
template <int P>
inline void writeFixedDigits(char* p, uint64_t f) {
  static_assert(P >= 1 && P <= 9);
  constexpr int kBits = 57;
  constexpr uint64_t kMask = (uint64_t{1} << kBits) - 1;
  constexpr int kLead = P % 2 == 1 ? 1 : 2;  // digits of the first step
  constexpr uint64_t kDivisor = kPow10[P - kLead];
  constexpr uint64_t kMultiplier = ((uint64_t{1} << kBits) + kDivisor - 1) / kDivisor;
  uint64_t y = f * kMultiplier;
  if constexpr (kLead == 1) {
    *p++ = static_cast<char>('0' + (y >> kBits));
  } else {
    std::memcpy(p, kDigitPairs + 2 * (y >> kBits), 2);
    p += 2;
  }
  for (int i = kLead; i < P; i += 2) {
    y = (y & kMask) * 100;
    std::memcpy(p, kDigitPairs + 2 * (y >> kBits), 2);
    p += 2;
  }
}

// The eight-digit path stores whole machine words of characters.
constexpr bool kLittleEndian = std::endian::native == std::endian::little;
// Room beyond the text that the word stores may scribble on.
constexpr size_t kSlack = 8;

// n < 10^8 as eight ASCII digits (leading zeros included), the first digit in
// the lowest byte, so that storing the word writes them in reading order.
// The four digit pairs are worked out side by side rather than one after
// another.
inline uint64_t eightDigits(uint64_t n) {
  const uint32_t high = static_cast<uint32_t>(n / 10000);
  const uint32_t low = static_cast<uint32_t>(n - uint64_t{high} * 10000);
  const uint32_t pairs[4] = {high / 100, high % 100, low / 100, low % 100};
  uint64_t word = 0;
  for (int i = 0; i < 4; ++i) {
    uint16_t text;
    std::memcpy(&text, kDigitPairs + 2 * pairs[i], 2);
    word |= uint64_t{text} << (16 * i);
  }
  return word;
}

// Stores the last count (1 to 8) digits of an eightDigits word at p, and
// 8 - count bytes of junk after them.
inline void storeLastDigits(char* p, uint64_t word, int count) {
  const uint64_t shifted = word >> (8 * (8 - count));
  std::memcpy(p, &shifted, 8);
}

constexpr uint64_t kSignBit = uint64_t{1} << 63;
constexpr uint64_t kTwoPow52Bits = uint64_t{1075} << 52;  // the double 2^52
constexpr double kPow10Double[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

// |value| × 10^precision rounded to an integer exactly as printf rounds: the
// exact binary value, half to even. |value| = mantissa × 2^-shift with
// shift > 20 (|value| < 2^32), so the product has fewer than 83 bits.
[[gnu::noinline]] uint64_t roundScaledExact(uint64_t magnitudeBits, int precision) {
  const int biasedExponent = static_cast<int>(magnitudeBits >> 52);
  const uint64_t fractionBits = magnitudeBits & ((uint64_t{1} << 52) - 1);
  const uint64_t mantissa = biasedExponent == 0 ? fractionBits : fractionBits | (uint64_t{1} << 52);
  const int shift = biasedExponent == 0 ? 1074 : 1075 - biasedExponent;
  if (shift > 83) return 0;  // the product stays below one half
  const unsigned __int128 product = static_cast<unsigned __int128>(mantissa) * kPow10[precision];
  const int below = shift - 1;
  const uint64_t twice = static_cast<uint64_t>(product >> below);  // < 2^63
  const bool sticky = product != (static_cast<unsigned __int128>(twice) << below);
  const uint64_t scaled = twice >> 1;
  return scaled + ((twice & 1) & (static_cast<uint64_t>(sticky) | (scaled & 1)));
}

// The same in floating point where that is safe: the product y is within
// half a unit in its last place of the exact one, so when y is farther than
// that from every half-integer both round alike. Only values within a few
// units of a tie (and products of 2^49 or more) take the exact path. The
// build keeps ISO floating point (no contraction into fused multiply-adds),
// which this reasoning assumes; the tests against printf check it.
inline uint64_t roundScaled(uint64_t magnitudeBits, int precision) {
  double magnitude;
  std::memcpy(&magnitude, &magnitudeBits, sizeof magnitude);
  const double y = magnitude * kPow10Double[precision];  // < 2^62
  const uint64_t truncated = static_cast<uint64_t>(static_cast<int64_t>(y));
  const double rest = y - static_cast<double>(static_cast<int64_t>(truncated));  // exact
  if (std::fabs(rest - 0.5) > y * 0x1p-50) return truncated + (rest > 0.5 ? 1 : 0);
  return roundScaledExact(magnitudeBits, precision);
}

// Room that an integer may touch: a sign, 20 digits and the slack.
constexpr size_t kIntegerRoom = 1 + 20 + kSlack;

// Room that the common fixed-notation path may touch: the width or the text
// (a sign, eight digits and the point), and the slack of the word stores.
size_t fixedFastRoom(int width) { return static_cast<size_t>(std::max(width, 10)) + 2 * kSlack; }

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

void TextBuffer::appendTextGeneral(std::string_view text) {
  // A long text (a worker's rows) goes to the stream as it is rather than
  // through the buffer: the writer's copy is the part of a threaded run that
  // no worker can share.
  if (m_fp && text.size() >= m_cap / 4) {
    if (flush() && std::fwrite(text.data(), 1, text.size(), m_fp) != text.size()) m_failed = true;
    return;
  }
  char* p = reserve(text.size());
  std::memcpy(p, text.data(), text.size());
  m_len += text.size();
}

[[gnu::noinline]] void TextBuffer::appendUnsignedAfterMakingRoom(unsigned long long magnitude, bool negative) {
  makeRoom(kIntegerRoom);
  appendUnsigned(magnitude, negative);
}

void TextBuffer::appendUnsigned(unsigned long long magnitude, bool negative) {
  if (m_cap - m_len < kIntegerRoom) {
    appendUnsignedAfterMakingRoom(magnitude, negative);
    return;
  }
  char* p = m_data.get() + m_len;
  *p = '-';
  p += negative ? 1 : 0;
  const int digits = digitCount(magnitude);
  if (kLittleEndian && digits <= 8) {
    storeLastDigits(p, eightDigits(magnitude), digits);
  } else {
    writeDigitsBackward(p + digits, magnitude, digits);
  }
  m_len += static_cast<size_t>(digits) + (negative ? 1 : 0);
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
void TextBuffer::appendScaled(unsigned long long scaled, bool negative, int width) {
  constexpr uint64_t kScale = kPow10[P];
  const size_t sign = negative ? 1 : 0;
  uint64_t whole = 0;
  uint64_t fraction = scaled;
  if (scaled >= kScale) {
    whole = scaled / kScale;
    fraction = scaled % kScale;
  }
  const int wholeDigits = digitCount(whole);
  const size_t len = sign + static_cast<size_t>(wholeDigits) + (P > 0 ? 1 + P : 0);
  const size_t pad = width > static_cast<int>(len) ? static_cast<size_t>(width) - len : 0;
  char* p = reserve(pad + len);
  if (pad) std::memset(p, ' ', pad);
  p += pad;
  if (negative) *p++ = '-';
  writeDigitsBackward(p + wholeDigits, whole, wholeDigits);
  if constexpr (P > 0) {
    p[wholeDigits] = '.';
    writeFixedDigits<P>(p + wholeDigits + 1, fraction);
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

// Kept out of line so that the common path needs no stack frame.
[[gnu::noinline]] void TextBuffer::appendFixedGeneral(double value, int precision, int width) {
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
  const uint64_t scaled = roundScaled(bits & ~kSignBit, precision);
  switch (precision) {
    case 0: appendScaled<0>(scaled, negative, width); break;
    case 1: appendScaled<1>(scaled, negative, width); break;
    case 2: appendScaled<2>(scaled, negative, width); break;
    case 3: appendScaled<3>(scaled, negative, width); break;
    case 4: appendScaled<4>(scaled, negative, width); break;
    case 5: appendScaled<5>(scaled, negative, width); break;
    case 6: appendScaled<6>(scaled, negative, width); break;
    case 7: appendScaled<7>(scaled, negative, width); break;
    case 8: appendScaled<8>(scaled, negative, width); break;
    default: appendScaled<9>(scaled, negative, width); break;
  }
}

// Kept out of line, like the general path, so that the common path makes no
// call of its own and needs no stack frame.
[[gnu::noinline]] void TextBuffer::appendFixedAfterMakingRoom(double value, int precision, int width) {
  makeRoom(fixedFastRoom(width));
  appendFixed(value, precision, width);
}

void TextBuffer::appendFixed(double value, int precision, int width) {
  if (m_cap - m_len < fixedFastRoom(width)) {
    appendFixedAfterMakingRoom(value, precision, width);
    return;
  }
  if (precision < 0) precision = 6;  // as printf takes a negative "%.*f" precision
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  // The commonest of all, "%7.5f" of a value from 0 to below 10 (|D'|, r2 and
  // p-values of the LD reports): one digit, the point and five decimals fill
  // the width, so the text is one word store. The rounding as below; a value
  // that rounds up to 10 goes on.
  constexpr uint64_t kTenBits = 0x4024000000000000;  // the double 10
  if (kLittleEndian && precision == 5 && width <= 7 && bits < kTenBits) {
    const double y = value * 1e5;
    const double shifted = y + 0x1p52;
    uint64_t shiftedBits;
    std::memcpy(&shiftedBits, &shifted, sizeof shiftedBits);
    const uint64_t scaled = shiftedBits - kTwoPow52Bits;
    const double distance = std::fabs(y - (shifted - 0x1p52));
    if (0.5 - distance > y * 0x1p-50 && scaled < kPow10[6]) {
      const uint64_t digits = eightDigits(scaled) >> 16;  // the six digits, two zeros gone
      const uint64_t text = (digits & 0xFF) | (uint64_t{'.'} << 8) | ((digits & ~uint64_t{0xFF}) << 8);
      std::memcpy(m_data.get() + m_len, &text, 8);  // within fixedFastRoom(width)
      m_len += 7;
      return;
    }
  }
  // The common case on one straight path: a finite value below 2^32, one to
  // seven decimals, at most eight digits in all, not next to a rounding tie.
  // Everything else goes the general way.
  const uint64_t magnitudeBits = bits & ~kSignBit;
  if (!kLittleEndian || magnitudeBits >= kFastMaxMagnitudeBits || precision < 1 || precision > 7) {
    appendFixedGeneral(value, precision, width);
    return;
  }
  double magnitude;
  std::memcpy(&magnitude, &magnitudeBits, sizeof magnitude);
  // Adding 2^52 rounds y to an integer, which then stands in the low bits.
  // A rounding that y shares with the exact product, as for roundScaled.
  const double y = magnitude * kPow10Double[precision];
  const double shifted = y + 0x1p52;
  uint64_t shiftedBits;
  std::memcpy(&shiftedBits, &shifted, sizeof shiftedBits);
  const uint64_t scaled = shiftedBits - kTwoPow52Bits;
  const double distance = std::fabs(y - (shifted - 0x1p52));  // exact, at most 1/2 below 2^52
  if (!(0.5 - distance > y * 0x1p-50) || scaled >= kPow10[8]) {
    appendFixedGeneral(value, precision, width);
    return;
  }
  const size_t sign = bits >> 63;
  const int digits = scaled < kPow10[precision + 1] ? precision + 1 : digitCount(scaled);
  const int wholeDigits = digits - precision;
  const size_t len = sign + static_cast<size_t>(digits) + 1;
  const size_t pad = width > static_cast<int>(len) ? static_cast<size_t>(width) - len : 0;
  char* p = m_data.get() + m_len;  // fixedFastRoom(width) bytes are free
  for (size_t i = 0; i < pad; i += 8) std::memcpy(p + i, "        ", 8);  // within the slack
  p += pad;
  *p = '-';
  p += sign;
  const uint64_t word = eightDigits(scaled);
  storeLastDigits(p, word, digits);
  p[wholeDigits] = '.';
  storeLastDigits(p + wholeDigits + 1, word, precision);
  m_len += pad + len;
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
