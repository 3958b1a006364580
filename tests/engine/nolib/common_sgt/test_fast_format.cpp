#include "common_sgt/FastFormat.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

// Every append must give exactly the bytes of printf. The comparisons below
// run snprintf beside the buffer on millions of values chosen to hit the hard
// cases: exact rounding ties, neighbours of ties, carries into the integer
// part, the edges of the exact integer path, and the values printf spells out.

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr long kCountDivisor = 5;  // sanitized builds check a sample only
#else
constexpr long kCountDivisor = 1;
#endif

constexpr long scaled(long count) { return count / kCountDivisor; }

double fromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

// Reports the first few mismatches with the value in hexadecimal, so that a
// failure can be reproduced exactly.
class Comparison {
 public:
  explicit Comparison(std::string format) : m_format(std::move(format)) {}

  // The value's text is only made for a mismatch: Describe is called then.
  template <class Describe>
  void compare(std::string_view got, const char* expected, Describe describe) {
    ++m_checked;
    if (got == expected) return;
    if (++m_mismatches <= 10) {
      const std::string value = describe();
      m_report += "  " + m_format + " of " + value + ": got \"" + std::string(got) + "\", printf \"" +
                  expected + "\"\n";
    }
  }
  long checked() const { return m_checked; }
  long mismatches() const { return m_mismatches; }
  const std::string& report() const { return m_report; }

 private:
  std::string m_format;
  std::string m_report;
  long m_checked = 0;
  long m_mismatches = 0;
};

std::string hexValue(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%a", v);
  return text;
}

// A stream of doubles mixing many magnitudes with values that sit exactly on,
// or one to three units in the last place beside, a rounding tie of the
// precision being tested.
class DoubleSource {
 public:
  DoubleSource(uint64_t seed, int precision) : m_rng(seed), m_scale(std::pow(10.0, precision)) {}

  double next() {
    const double v = draw();
    return (m_rng() & 1) ? -v : v;
  }

 private:
  uint64_t bitsBelow(uint64_t limit) { return m_rng() % limit; }
  double unit() { return static_cast<double>(m_rng() >> 11) * 0x1p-53; }
  // Moves v by up to three representable steps either way.
  double nudge(double v) {
    const int steps = static_cast<int>(bitsBelow(7)) - 3;
    for (int i = 0; i < steps; ++i) v = std::nextafter(v, INFINITY);
    for (int i = 0; i > steps; --i) v = std::nextafter(v, 0.0);
    return v;
  }
  double pow10(int e) { return std::pow(10.0, e); }

  double draw() {
    const double scale = m_scale;
    switch (bitsBelow(32)) {
      case 0:  // any bit pattern: huge, tiny, denormal, NaN and infinity alike
        return fromBits(m_rng());
      case 1:
      case 2:
      case 3:
      case 4:
      case 29:  // frequencies and p-values
        return unit();
      case 5:
      case 6:  // correlation-like values (the sign is added by next())
        return unit() * (bitsBelow(2) ? 1.0 : 0.5);
      case 7:
      case 8:  // test statistics
        return unit() * 100.0;
      case 9:
      case 10: {  // a random mantissa at a binary exponent from 2^-70 to 2^45
        const uint64_t mantissa = (uint64_t{1} << 52) | bitsBelow(uint64_t{1} << 52);
        return std::ldexp(static_cast<double>(mantissa), static_cast<int>(bitsBelow(116)) - 70 - 52);
      }
      case 11:
      case 12:
      case 13: {  // k / 2^m: exact binary fractions, among them exact decimal ties
        const int m = static_cast<int>(bitsBelow(31));
        return std::ldexp(static_cast<double>(bitsBelow((uint64_t{16} << m) + 1)), -m);
      }
      case 14:
      case 15:
      case 16:
      case 17: {  // the double nearest to a decimal tie (j + 1/2) / 10^p, and its neighbours
        const uint64_t j = bitsBelow(static_cast<uint64_t>(scale) * 10 + 1);
        return nudge((static_cast<double>(j) + 0.5) / scale);
      }
      case 18:
      case 19: {  // k × 10^-(p+1) (e.g. k × 0.000001 at five decimals), a little off
        const uint64_t k = bitsBelow(static_cast<uint64_t>(scale) * 100 + 1);
        return nudge(static_cast<double>(k) / (scale * 10.0));
      }
      case 20:
      case 21: {  // just below a unit that rounds up into the next integer: 0.999995, 9.999995
        const uint64_t i = 1 + bitsBelow(100000);
        return nudge((static_cast<double>(i) * scale - 0.5) / scale);
      }
      case 22: {  // around the magnitude 2^32 and far above it
        const double base = std::ldexp(1.0, 28 + static_cast<int>(bitsBelow(10)));
        return nudge(base + (unit() - 0.5) * static_cast<double>(bitsBelow(4) == 0 ? 0 : 1 << bitsBelow(20)));
      }
      case 23: {  // just around half a unit of the last digit, the edge of printing zero
        return nudge(0.5 / scale * (1.0 + (unit() - 0.5) * (bitsBelow(2) ? 1e-12 : 1e-3)));
      }
      case 24:  // denormals
        return fromBits(bitsBelow(uint64_t{1} << 52));
      case 25: {  // integers and half-integers up to 2^53
        const int bits = 1 + static_cast<int>(bitsBelow(53));
        return static_cast<double>(bitsBelow(uint64_t{1} << bits)) + (bitsBelow(2) ? 0.5 : 0.0);
      }
      case 26: {  // decimal significands with a tie in the eighth digit (exact below 2^53)
        const uint64_t j = 1000000 + bitsBelow(9000000);
        return static_cast<double>(j * 10 + 5) * pow10(static_cast<int>(bitsBelow(8)));
      }
      case 27: {  // decimal values of every exponent
        return nudge((1.0 + 9.0 * unit()) * pow10(static_cast<int>(bitsBelow(617)) - 308));
      }
      case 28: {  // tiny p-values
        return unit() * pow10(-static_cast<int>(bitsBelow(300)));
      }
      default: {
        static constexpr double kSpecial[] = {
            0.0,       DBL_MIN,  DBL_MAX,  DBL_TRUE_MIN, DBL_EPSILON, INFINITY, NAN, 1e300,
            1e-300,    0.5,      1.5,      2.5,          0.125,       0.015625, 0.000005, 2.5e-06,
            0.999995,  1.000005, 0.0005,   0.9995,       4294967295.5, 4294967296.0, 1e22, 9007199254740993.0,
        };
        return kSpecial[bitsBelow(std::size(kSpecial))];
      }
    }
  }

  std::mt19937_64 m_rng;
  double m_scale;  // 10^precision
};

// "%<width>.<precision>f" over count values of the mixed source.
void expectFixedMatchesPrintf(int precision, int width, long count, uint64_t seed, Comparison& cmp) {
  char format[32];
  std::snprintf(format, sizeof format, "%%%d.%df", width, precision);
  DoubleSource source(seed, precision);
  TextBuffer buffer;
  std::vector<char> expected(400 + static_cast<size_t>(precision + width));
  for (long i = 0; i < count; ++i) {
    const double v = source.next();
    buffer.clear();
    buffer.appendFixed(v, precision, width);
    std::snprintf(expected.data(), expected.size(), format, v);
    cmp.compare(buffer.view(), expected.data(), [v] { return hexValue(v); });
  }
}

void expectExpMatchesPrintf(int precision, long count, uint64_t seed, Comparison& cmp) {
  char format[32];
  std::snprintf(format, sizeof format, "%%.%de", precision);
  DoubleSource source(seed, precision);
  TextBuffer buffer;
  std::vector<char> expected(64 + static_cast<size_t>(precision));
  for (long i = 0; i < count; ++i) {
    const double v = source.next();
    buffer.clear();
    buffer.appendExp(v, precision);
    std::snprintf(expected.data(), expected.size(), format, v);
    cmp.compare(buffer.view(), expected.data(), [v] { return hexValue(v); });
  }
}

std::string fixedText(double v, int precision, int width = 0) {
  TextBuffer buffer;
  buffer.appendFixed(v, precision, width);
  return std::string(buffer.view());
}

std::string expText(double v, int precision = 6) {
  TextBuffer buffer;
  buffer.appendExp(v, precision);
  return std::string(buffer.view());
}

std::string readFile(const std::string& path) {
  std::string text;
  FILE* fp = std::fopen(path.c_str(), "rb");
  if (!fp) return text;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, fp)) > 0) text.append(chunk, n);
  std::fclose(fp);
  return text;
}

std::string tempPath(const char* name) {
  return ::testing::TempDir() + "fast_format_" + std::to_string(getpid()) + "_" + name;
}

}  // namespace

// The six LD values of every report row.
TEST(FastFormat, SevenFiveFixedMatchesPrintfOnTenMillionValues) {
  Comparison cmp("%7.5f");
  expectFixedMatchesPrintf(5, 7, scaled(10'000'000), 1, cmp);
  EXPECT_EQ(cmp.checked(), scaled(10'000'000));
  EXPECT_EQ(cmp.mismatches(), 0) << cmp.report();
}

TEST(FastFormat, PointThreeFixedMatchesPrintf) {
  Comparison cmp("%.3f");
  expectFixedMatchesPrintf(3, 0, scaled(1'000'000), 2, cmp);
  EXPECT_EQ(cmp.checked(), scaled(1'000'000));
  EXPECT_EQ(cmp.mismatches(), 0) << cmp.report();
}

TEST(FastFormat, OneSixFixedMatchesPrintf) {
  Comparison cmp("%1.6f");
  expectFixedMatchesPrintf(6, 1, scaled(1'000'000), 3, cmp);
  EXPECT_EQ(cmp.checked(), scaled(1'000'000));
  EXPECT_EQ(cmp.mismatches(), 0) << cmp.report();
}

TEST(FastFormat, ExpMatchesPrintf) {
  Comparison cmp("%e");
  expectExpMatchesPrintf(6, scaled(1'000'000), 4, cmp);
  EXPECT_EQ(cmp.checked(), scaled(1'000'000));
  EXPECT_EQ(cmp.mismatches(), 0) << cmp.report();
}

// Every precision of both paths (the exact integer one stops at nine digits)
// and widths below, at and above the length of the text.
TEST(FastFormat, EveryPrecisionAndWidthMatchesPrintf) {
  Comparison cmp("%W.Pf");
  long expectedCount = 0;
  for (int precision = 0; precision <= 20; ++precision) {
    for (int width : {0, 1, 3, 7, 10, 12, 25, 40}) {
      expectFixedMatchesPrintf(precision, width, scaled(5'000), 100 + precision * 64 + width, cmp);
      expectedCount += scaled(5'000);
    }
  }
  EXPECT_EQ(cmp.checked(), expectedCount);
  EXPECT_EQ(cmp.mismatches(), 0) << cmp.report();
}

// Every digit string of "%7.5f" below 10: each value sits a quarter unit above
// k / 10^5, far from any tie, so it shows the digits of k. Then a sample of
// the eight-digit numbers, which take the one-word digit path at two
// decimals.
TEST(FastFormat, EveryDigitPatternMatchesPrintf) {
  Comparison cmp("digits");
  TextBuffer buffer;
  char expected[64];
  const long step = kCountDivisor;
  long expectedCount = 0;
  for (long k = 0; k < 1'000'000; k += step) {
    const double v = (static_cast<double>(k) + 0.25) / 1e5;
    buffer.clear();
    buffer.appendFixed(v, 5, 7);
    std::snprintf(expected, sizeof expected, "%7.5f", v);
    cmp.compare(buffer.view(), expected, [v] { return hexValue(v); });
    ++expectedCount;
  }
  for (long k = 0; k < 100'000'000; k += 331 * step) {
    const double v = (static_cast<double>(k) + 0.25) / 100.0;
    buffer.clear();
    buffer.appendFixed(v, 2, 0);
    std::snprintf(expected, sizeof expected, "%.2f", v);
    cmp.compare(buffer.view(), expected, [v] { return hexValue(v); });
    ++expectedCount;
  }
  EXPECT_EQ(cmp.checked(), expectedCount);
  EXPECT_EQ(cmp.mismatches(), 0) << cmp.report();
}

TEST(FastFormat, EveryExpPrecisionMatchesPrintf) {
  Comparison cmp("%.Pe");
  long expectedCount = 0;
  for (int precision = 0; precision <= 30; ++precision) {
    expectExpMatchesPrintf(precision, scaled(20'000), 5000 + precision, cmp);
    expectedCount += scaled(20'000);
  }
  EXPECT_EQ(cmp.checked(), expectedCount);
  EXPECT_EQ(cmp.mismatches(), 0) << cmp.report();
}

TEST(FastFormat, IntMatchesPrintf) {
  Comparison cmp("%d");
  std::mt19937_64 rng(6);
  TextBuffer buffer;
  char expected[32];
  const int fixed[] = {0, 1, -1, 9, 10, -10, 99, 100, 999999999, 1000000000, -1000000000, INT_MAX, INT_MIN,
                       INT_MIN + 1};
  for (int v : fixed) {
    buffer.clear();
    buffer.appendInt(v);
    std::snprintf(expected, sizeof expected, "%d", v);
    cmp.compare(buffer.view(), expected, [v] { return std::to_string(v); });
  }
  const long count = scaled(1'000'000);
  for (long i = 0; i < count; ++i) {
    const uint64_t r = rng();
    // Uniform bits, or a value of a random number of digits.
    int v = static_cast<int>(static_cast<uint32_t>(r));
    if (r >> 63) v = static_cast<int>((r >> 32) % 10'000'000ull) >> ((r >> 56) % 24);
    if ((r >> 62) & 1) v = -v;
    buffer.clear();
    buffer.appendInt(v);
    std::snprintf(expected, sizeof expected, "%d", v);
    cmp.compare(buffer.view(), expected, [v] { return std::to_string(v); });
  }
  EXPECT_EQ(cmp.checked(), count + static_cast<long>(std::size(fixed)));
  EXPECT_EQ(cmp.mismatches(), 0) << cmp.report();
}

TEST(FastFormat, LongMatchesPrintf) {
  Comparison cmp("%ld");
  std::mt19937_64 rng(7);
  TextBuffer buffer;
  char expected[32];
  std::vector<long> fixed = {0, 1, -1, LONG_MAX, LONG_MIN, LONG_MIN + 1, INT_MAX, INT_MIN, 4294967296L};
  long power = 1;
  for (int digits = 1; digits <= 18; ++digits) {
    power *= 10;
    for (long v : {power - 1, power, power + 1}) {
      fixed.push_back(v);
      fixed.push_back(-v);
    }
  }
  for (long v : fixed) {
    buffer.clear();
    buffer.appendLong(v);
    std::snprintf(expected, sizeof expected, "%ld", v);
    cmp.compare(buffer.view(), expected, [v] { return std::to_string(v); });
  }
  const long count = scaled(1'000'000);
  for (long i = 0; i < count; ++i) {
    const uint64_t r = rng();
    long v = static_cast<long>(r);
    if (i & 1) v >>= rng() % 64;  // every number of digits
    buffer.clear();
    buffer.appendLong(v);
    std::snprintf(expected, sizeof expected, "%ld", v);
    cmp.compare(buffer.view(), expected, [v] { return std::to_string(v); });
  }
  EXPECT_EQ(cmp.checked(), count + static_cast<long>(fixed.size()));
  EXPECT_EQ(cmp.mismatches(), 0) << cmp.report();
}

// The cases worked out by hand from the exact binary values.
TEST(FastFormat, RoundsTheExactBinaryValueHalfToEven) {
  EXPECT_EQ(fixedText(0.015625, 5, 7), "0.01562");  // 1562.5 exactly: to even
  EXPECT_EQ(fixedText(0.046875, 5, 7), "0.04688");  // 4687.5 exactly: to even
  EXPECT_EQ(fixedText(0.125, 2), "0.12");
  EXPECT_EQ(fixedText(0.375, 2), "0.38");
  EXPECT_EQ(fixedText(2.5, 0), "2");
  EXPECT_EQ(fixedText(3.5, 0), "4");
  EXPECT_EQ(fixedText(0.5, 0), "0");
  // 0.000005 is stored a little above the tie, 0.000035 a little below.
  EXPECT_EQ(fixedText(0.000005, 5, 7), "0.00001");
  EXPECT_EQ(fixedText(0.000035, 5, 7), "0.00003");
  EXPECT_EQ(fixedText(0.999995, 5, 7), "0.99999");  // stored below the tie
  EXPECT_EQ(fixedText(0.9999951, 5, 7), "1.00000");
  EXPECT_EQ(fixedText(9.999996, 5, 7), "10.00000");
  EXPECT_EQ(fixedText(1.000005, 5, 7), "1.00001");  // stored above the tie
  EXPECT_EQ(fixedText(2.5e-06, 5, 7), "0.00000");
  EXPECT_EQ(fixedText(0.0005, 3), "0.001");  // stored above the tie
  EXPECT_EQ(fixedText(0.0015, 3), "0.002");  // stored above the tie
  EXPECT_EQ(fixedText(0.0025, 3), "0.003");  // stored above the tie
  EXPECT_EQ(fixedText(1e-7, 6, 1), "0.000000");
  EXPECT_EQ(fixedText(0.5e-6, 6, 1), "0.000000");  // stored below the tie
  EXPECT_EQ(expText(12345675.0), "1.234568e+07");  // exact tie, 7 is odd: up
  EXPECT_EQ(expText(12345665.0), "1.234566e+07");  // exact tie, 6 is even: down
  EXPECT_EQ(expText(0.0), "0.000000e+00");
  EXPECT_EQ(expText(1e-5), "1.000000e-05");
  EXPECT_EQ(expText(0.05), "5.000000e-02");
  EXPECT_EQ(expText(DBL_TRUE_MIN), "4.940656e-324");
  EXPECT_EQ(expText(DBL_MAX), "1.797693e+308");
  EXPECT_EQ(expText(9.9999996), "1.000000e+01");
}

TEST(FastFormat, WidthPadsOnTheLeftAndNeverCuts) {
  EXPECT_EQ(fixedText(0.5, 5, 7), "0.50000");
  EXPECT_EQ(fixedText(0.5, 5, 9), "  0.50000");
  EXPECT_EQ(fixedText(-0.5, 5, 9), " -0.50000");
  EXPECT_EQ(fixedText(123.456789, 5, 7), "123.45679");
  EXPECT_EQ(fixedText(1.0, 1, 3), "1.0");
  EXPECT_EQ(fixedText(500.0, 1, 3), "500.0");
  EXPECT_EQ(fixedText(7.0, 0, 4), "   7");
  EXPECT_EQ(fixedText(1e20, 1, 25), "  100000000000000000000.0");
  EXPECT_EQ(fixedText(0.25, -1), "0.250000");  // a negative precision means the default
}

TEST(FastFormat, SignsOfZeroAndOfValuesRoundingToZero) {
  EXPECT_EQ(fixedText(0.0, 5, 7), "0.00000");
  EXPECT_EQ(fixedText(-0.0, 5, 7), "-0.00000");
  EXPECT_EQ(fixedText(-0.0, 0), "-0");
  EXPECT_EQ(fixedText(-1e-9, 5, 7), "-0.00000");
  EXPECT_EQ(fixedText(-4e-6, 5, 7), "-0.00000");
  EXPECT_EQ(fixedText(-DBL_TRUE_MIN, 3), "-0.000");
  EXPECT_EQ(fixedText(DBL_MIN, 5, 7), "0.00000");
  EXPECT_EQ(expText(-0.0), "-0.000000e+00");
}

TEST(FastFormat, NanAndInfinitySpelledAsPrintfDoes) {
  EXPECT_EQ(fixedText(NAN, 5, 7), "    nan");
  EXPECT_EQ(fixedText(-NAN, 5, 7), "   -nan");
  EXPECT_EQ(fixedText(INFINITY, 5, 7), "    inf");
  EXPECT_EQ(fixedText(-INFINITY, 5, 7), "   -inf");
  EXPECT_EQ(fixedText(INFINITY, 3), "inf");
  EXPECT_EQ(fixedText(-INFINITY, 6, 1), "-inf");
  EXPECT_EQ(fixedText(fromBits(0x7ff0000000000001ull), 5, 2), "nan");  // signalling NaN
  EXPECT_EQ(expText(NAN), "nan");
  EXPECT_EQ(expText(-NAN), "-nan");
  EXPECT_EQ(expText(-INFINITY), "-inf");
}

TEST(FastFormat, VeryLongFixedTexts) {
  char expected[400];
  for (double v : {1e300, -1e300, DBL_MAX, -DBL_MAX, 1e22, 1.8446744073709552e19, 4294967296.0}) {
    std::snprintf(expected, sizeof expected, "%.5f", v);
    EXPECT_EQ(fixedText(v, 5), expected) << hexValue(v);
    std::snprintf(expected, sizeof expected, "%7.5f", v);
    EXPECT_EQ(fixedText(v, 5, 7), expected) << hexValue(v);
  }
  EXPECT_EQ(fixedText(DBL_MAX, 5).size(), 309u + 6u);
  EXPECT_EQ(fixedText(1e300, 5).substr(0, 12), "100000000000");
  // Text beyond two hundred digits after the point.
  std::string longExpected(1200, '\0');
  const int n = std::snprintf(longExpected.data(), longExpected.size(), "%.1000f", DBL_TRUE_MIN);
  longExpected.resize(static_cast<size_t>(n));
  EXPECT_EQ(fixedText(DBL_TRUE_MIN, 1000), longExpected);
}

TEST(FastFormat, TextCharsAndNumbersFormARow) {
  TextBuffer buffer;
  buffer.appendInt(12);
  buffer.appendChar('\t');
  buffer.appendInt(0);
  buffer.appendChar('\t');
  buffer.appendLong(-4000000000L);
  buffer.appendChar('\t');
  buffer.appendFixed(0.123456, 5, 7);
  buffer.appendText("\t-\t");
  buffer.appendExp(0.000123);
  buffer.appendText("");
  buffer.appendChar('\n');
  EXPECT_EQ(buffer.view(), "12\t0\t-4000000000\t0.12346\t-\t1.230000e-04\n");
  EXPECT_TRUE(buffer.flush());  // no stream: nothing to do
  EXPECT_EQ(buffer.size(), 40u);
  buffer.clear();
  EXPECT_EQ(buffer.view(), "");
}

// Without a stream the buffer grows past its starting capacity.
TEST(FastFormat, BufferWithoutStreamGrows) {
  TextBuffer buffer(64);
  std::string expected;
  char row[128];
  for (int i = 0; i < 20000; ++i) {
    buffer.appendInt(i);
    buffer.appendChar('\t');
    buffer.appendFixed(i / 7.0, 5, 7);
    buffer.appendChar('\n');
    std::snprintf(row, sizeof row, "%d\t%7.5f\n", i, i / 7.0);
    expected += row;
  }
  const std::string big(100000, 'x');
  buffer.appendText(big);
  expected += big;
  EXPECT_EQ(buffer.view(), expected);
}

// A pairwise LD report written through a small buffer reaches the file whole
// and in order, also around direct writes to the stream after a flush.
TEST(FastFormat, StreamReceivesEveryByteInOrder) {
  const std::string path = tempPath("rows.txt");
  TextBuffer buffer(100);
  ASSERT_TRUE(buffer.open(path.c_str()));
  std::string expected;
  char row[256];
  std::mt19937_64 rng(8);
  for (int i = 1; i <= 30000; ++i) {
    const double d = static_cast<double>(rng() >> 11) * 0x1p-53;
    const double chi = d * 40.0;
    buffer.appendInt(i);
    buffer.appendChar('\t');
    buffer.appendInt(i / 100);
    buffer.appendChar('\t');
    buffer.appendInt(i % 100 + 1);
    buffer.appendChar('\t');
    buffer.appendLong(i * 37L);
    for (double v : {d, d * d, chi, 1.0 - d, chi / 3.0, d / 2.0}) {
      buffer.appendChar('\t');
      buffer.appendFixed(v, 5, 7);
    }
    buffer.appendText("\tY\n");
    std::snprintf(row, sizeof row, "%d\t%d\t%d\t%ld\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%c\n", i, i / 100,
                  i % 100 + 1, i * 37L, d, d * d, chi, 1.0 - d, chi / 3.0, d / 2.0, 'Y');
    expected += row;
    if (i == 15000) {
      ASSERT_TRUE(buffer.flush());
      std::fputs("!Sample_Type:M\n", buffer.stream());
      expected += "!Sample_Type:M\n";
    }
  }
  const std::string big(50000, 'z');  // one append larger than the buffer
  buffer.appendText(big);
  expected += big;
  EXPECT_TRUE(buffer.close());
  EXPECT_EQ(buffer.stream(), nullptr);
  EXPECT_EQ(readFile(path), expected);
  std::remove(path.c_str());
}

TEST(FastFormat, AttachedStreamStaysOpen) {
  const std::string path = tempPath("attached.txt");
  FILE* fp = std::fopen(path.c_str(), "wb");
  ASSERT_NE(fp, nullptr);
  std::fputs("head\n", fp);
  {
    TextBuffer buffer;
    buffer.attach(fp);
    buffer.appendFixed(0.5, 3);
    buffer.appendChar('\n');
    EXPECT_TRUE(buffer.close());
  }
  std::fputs("tail\n", fp);  // still open after close()
  ASSERT_EQ(std::fclose(fp), 0);
  EXPECT_EQ(readFile(path), "head\n0.500\ntail\n");
  std::remove(path.c_str());
}

TEST(FastFormat, DestructorWritesWhatIsLeft) {
  const std::string path = tempPath("destructor.txt");
  {
    TextBuffer buffer;
    ASSERT_TRUE(buffer.open(path.c_str()));
    buffer.appendText("last line\n");
  }
  EXPECT_EQ(readFile(path), "last line\n");
  std::remove(path.c_str());
}

TEST(FastFormat, OpenFailureIsReported) {
  TextBuffer buffer;
  errno = 0;
  EXPECT_FALSE(buffer.open("/nonexistent-directory/out.pwld"));
  EXPECT_NE(errno, 0);
  EXPECT_EQ(buffer.stream(), nullptr);
}

// A full disk must not pass for a written report.
TEST(FastFormat, WriteFailureIsReported) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  {
    TextBuffer buffer(64);
    ASSERT_TRUE(buffer.open("/dev/full"));
    for (int i = 0; i < 1000; ++i) buffer.appendFixed(i * 0.25, 5, 7);
    EXPECT_TRUE(buffer.failed());
    EXPECT_FALSE(buffer.flush());
    EXPECT_FALSE(buffer.close());
  }
  {
    // Even a few bytes that only go out at close.
    TextBuffer buffer;
    ASSERT_TRUE(buffer.open("/dev/full"));
    buffer.appendText("x\n");
    EXPECT_FALSE(buffer.failed());
    EXPECT_FALSE(buffer.close());
  }
  {
    FILE* fp = std::fopen("/dev/full", "wb");
    ASSERT_NE(fp, nullptr);
    TextBuffer buffer;
    buffer.attach(fp);
    buffer.appendText("x\n");
    EXPECT_FALSE(buffer.close());
    std::fclose(fp);
  }
}
