#include "common_sgt/FastFormat.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

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

// Counts the comparisons and reports the first mismatches with the value in
// hexadecimal (or decimal for integers), so that a failure can be reproduced.
struct Comparison {
  long checked = 0;
  long mismatches = 0;
  std::string report;

  template <class T>
  void compare(std::string_view got, const char* format, T value) {
    char expected[1200];
    std::snprintf(expected, sizeof expected, format, value);
    ++checked;
    if (got == expected || ++mismatches > 10) return;
    char shown[64];
    if constexpr (std::is_floating_point_v<T>)
      std::snprintf(shown, sizeof shown, "%a", value);
    else
      std::snprintf(shown, sizeof shown, "%lld", static_cast<long long>(value));
    report += std::string("  ") + format + " of " + shown + ": got \"" + std::string(got) + "\", printf \"" +
              expected + "\"\n";
  }
};

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
  uint64_t below(uint64_t limit) { return m_rng() % limit; }
  double unit() { return static_cast<double>(m_rng() >> 11) * 0x1p-53; }
  // Moves v by up to three representable steps either way.
  double nudge(double v) {
    const int steps = static_cast<int>(below(7)) - 3;
    for (int i = 0; i < steps; ++i) v = std::nextafter(v, INFINITY);
    for (int i = 0; i > steps; --i) v = std::nextafter(v, 0.0);
    return v;
  }

  double draw() {
    const double scale = m_scale;
    switch (below(32)) {
      case 0:  // any bit pattern: huge, tiny, denormal, NaN and infinity alike
        return fromBits(m_rng());
      case 1: case 2: case 3: case 4: case 29:  // frequencies and p-values
        return unit();
      case 5: case 6:  // correlation-like values (the sign is added by next())
        return unit() * (below(2) ? 1.0 : 0.5);
      case 7: case 8:  // test statistics
        return unit() * 100.0;
      case 9: case 10:  // a random mantissa at a binary exponent from 2^-70 to 2^45
        return std::ldexp(static_cast<double>((uint64_t{1} << 52) | below(uint64_t{1} << 52)),
                          static_cast<int>(below(116)) - 70 - 52);
      case 11: case 12: case 13: {  // k / 2^m: exact binary fractions, among them exact decimal ties
        const int m = static_cast<int>(below(31));
        return std::ldexp(static_cast<double>(below((uint64_t{16} << m) + 1)), -m);
      }
      case 14: case 15: case 16: case 17:  // the double nearest to a decimal tie (j + 1/2) / 10^p
        return nudge((static_cast<double>(below(static_cast<uint64_t>(scale) * 10 + 1)) + 0.5) / scale);
      case 18: case 19:  // k × 10^-(p+1) (e.g. k × 0.000001 at five decimals), a little off
        return nudge(static_cast<double>(below(static_cast<uint64_t>(scale) * 100 + 1)) / (scale * 10.0));
      case 20: case 21:  // just below a unit that rounds up into the next integer: 0.999995, 9.999995
        return nudge((static_cast<double>(1 + below(100000)) * scale - 0.5) / scale);
      case 22: {  // around the magnitude 2^32 and far above it
        const double base = std::ldexp(1.0, 28 + static_cast<int>(below(10)));
        return nudge(base + (unit() - 0.5) * static_cast<double>(below(4) == 0 ? 0 : 1 << below(20)));
      }
      case 23:  // just around half a unit of the last digit, the edge of printing zero
        return nudge(0.5 / scale * (1.0 + (unit() - 0.5) * (below(2) ? 1e-12 : 1e-3)));
      case 24:  // denormals
        return fromBits(below(uint64_t{1} << 52));
      case 25: {  // integers and half-integers up to 2^53
        const int bits = 1 + static_cast<int>(below(53));
        return static_cast<double>(below(uint64_t{1} << bits)) + (below(2) ? 0.5 : 0.0);
      }
      case 26:  // decimal significands with a tie in the eighth digit (exact below 2^53)
        return static_cast<double>((1000000 + below(9000000)) * 10 + 5) * std::pow(10.0, static_cast<int>(below(8)));
      case 27:  // decimal values of every exponent
        return nudge((1.0 + 9.0 * unit()) * std::pow(10.0, static_cast<int>(below(617)) - 308));
      case 28:  // tiny p-values
        return unit() * std::pow(10.0, -static_cast<int>(below(300)));
      default: {
        static constexpr double kSpecial[] = {
            0.0,      DBL_MIN,  DBL_MAX, DBL_TRUE_MIN, DBL_EPSILON,  INFINITY,     NAN,  1e300,
            1e-300,   0.5,      1.5,     2.5,          0.125,        0.015625,     5e-6, 2.5e-06,
            0.999995, 1.000005, 0.0005,  0.9995,       4294967295.5, 4294967296.0, 1e22, 9007199254740993.0,
        };
        return kSpecial[below(std::size(kSpecial))];
      }
    }
  }

  std::mt19937_64 m_rng;
  double m_scale;  // 10^precision
};

// "%<width>.<precision>f" (width < 0: "%.<precision>e") over count values of
// the mixed source.
void compareDoubles(int precision, int width, long count, uint64_t seed, Comparison& cmp) {
  char format[32];
  if (width < 0)
    std::snprintf(format, sizeof format, "%%.%de", precision);
  else
    std::snprintf(format, sizeof format, "%%%d.%df", width, precision);
  DoubleSource source(seed, precision);
  TextBuffer buffer;
  for (long i = 0; i < count; ++i) {
    const double v = source.next();
    buffer.clear();
    if (width < 0)
      buffer.appendExp(v, precision);
    else
      buffer.appendFixed(v, precision, width);
    cmp.compare(buffer.view(), format, v);
  }
}

void expectMatchesPrintf(int precision, int width, long count, uint64_t seed) {
  Comparison cmp;
  compareDoubles(precision, width, count, seed, cmp);
  EXPECT_EQ(cmp.checked, count);
  EXPECT_EQ(cmp.mismatches, 0) << cmp.report;
}

std::string fixedText(double v, int precision, int width = 0) {
  TextBuffer buffer;
  buffer.appendFixed(v, precision, width);
  return std::string(buffer.view());
}

std::string expText(double v) {
  TextBuffer buffer;
  buffer.appendExp(v);
  return std::string(buffer.view());
}

std::string readFile(const std::string& path) {
  std::string text;
  if (FILE* fp = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(fp)) != EOF;) text += static_cast<char>(c);
    std::fclose(fp);
  }
  return text;
}

std::string tempPath(const char* name) {
  return ::testing::TempDir() + "fast_format_" + std::to_string(getpid()) + "_" + name;
}

}  // namespace

// The six LD values of every report row.
TEST(FastFormat, SevenFiveFixedMatchesPrintfOnTenMillionValues) { expectMatchesPrintf(5, 7, scaled(10'000'000), 1); }
TEST(FastFormat, PointThreeFixedMatchesPrintf) { expectMatchesPrintf(3, 0, scaled(1'000'000), 2); }
TEST(FastFormat, OneSixFixedMatchesPrintf) { expectMatchesPrintf(6, 1, scaled(1'000'000), 3); }
TEST(FastFormat, ExpMatchesPrintf) { expectMatchesPrintf(6, -1, scaled(1'000'000), 4); }

// Every precision of both fixed paths (the exact integer one stops at nine
// digits) with widths below, at and above the length of the text, and every
// exponent precision.
TEST(FastFormat, EveryPrecisionAndWidthMatchesPrintf) {
  Comparison cmp;
  long expected = 0;
  for (int precision = 0; precision <= 30; ++precision) {
    for (int width : {-1, 0, 1, 3, 7, 10, 12, 25, 40}) {
      if (width >= 0 && precision > 20) continue;
      const long count = scaled(width < 0 ? 20'000 : 5'000);
      compareDoubles(precision, width, count, 100 + precision * 64 + width, cmp);
      expected += count;
    }
  }
  EXPECT_EQ(cmp.checked, expected);
  EXPECT_EQ(cmp.mismatches, 0) << cmp.report;
}

// Every digit string of "%7.5f" below 10: each value sits a quarter unit above
// k / 10^5, far from any tie, so it shows the digits of k. Then a sample of
// the eight-digit numbers, which take the one-word digit path at two decimals.
TEST(FastFormat, EveryDigitPatternMatchesPrintf) {
  Comparison cmp;
  TextBuffer buffer;
  long expected = 0;
  for (long k = 0; k < 1'000'000; k += kCountDivisor, ++expected) {
    const double v = (static_cast<double>(k) + 0.25) / 1e5;
    buffer.clear();
    buffer.appendFixed(v, 5, 7);
    cmp.compare(buffer.view(), "%7.5f", v);
  }
  for (long k = 0; k < 100'000'000; k += 331 * kCountDivisor, ++expected) {
    const double v = (static_cast<double>(k) + 0.25) / 100.0;
    buffer.clear();
    buffer.appendFixed(v, 2, 0);
    cmp.compare(buffer.view(), "%.2f", v);
  }
  EXPECT_EQ(cmp.checked, expected);
  EXPECT_EQ(cmp.mismatches, 0) << cmp.report;
}

TEST(FastFormat, IntAndLongMatchPrintf) {
  Comparison cmp;
  std::mt19937_64 rng(6);
  TextBuffer buffer;
  auto checkInt = [&](int v) {
    buffer.clear();
    buffer.appendInt(v);
    cmp.compare(buffer.view(), "%d", v);
  };
  auto checkLong = [&](long v) {
    buffer.clear();
    buffer.appendLong(v);
    cmp.compare(buffer.view(), "%ld", v);
  };
  for (int v : {0, 1, -1, 9, 10, -10, 99, 100, 999999999, 1000000000, -1000000000, INT_MAX, INT_MIN, INT_MIN + 1})
    checkInt(v);
  for (long v : {0L, LONG_MAX, LONG_MIN, LONG_MIN + 1, 4294967296L}) checkLong(v);
  long power = 1;
  for (int digits = 1; digits <= 18; ++digits) {
    power *= 10;
    for (long v : {power - 1, power, power + 1}) {
      checkLong(v);
      checkLong(-v);
    }
  }
  const long fixedChecks = cmp.checked;
  const long count = scaled(1'000'000);
  for (long i = 0; i < count; ++i) {
    const uint64_t r = rng();
    // Uniform bits, or a value of a random number of digits.
    int v = static_cast<int>(static_cast<uint32_t>(r));
    if (r >> 63) v = static_cast<int>((r >> 32) % 10'000'000ull) >> ((r >> 56) % 24);
    checkInt((r >> 62) & 1 ? -v : v);
    const long w = static_cast<long>(rng());
    checkLong(i & 1 ? w >> (rng() % 64) : w);  // every number of digits
  }
  EXPECT_EQ(cmp.checked, fixedChecks + 2 * count);
  EXPECT_EQ(cmp.mismatches, 0) << cmp.report;
}

// Cases worked out by hand from the exact binary values: ties round half to
// even, the sign of zero and of values that round to zero stays, widths pad
// on the left and never cut, and nan and inf are spelled as printf does.
TEST(FastFormat, HandWorkedTexts) {
  const struct {
    double v;
    int precision, width;
    const char* text;
  } fixed[] = {
      {0.015625, 5, 7, "0.01562"},  // 1562.5 exactly: to even
      {0.046875, 5, 7, "0.04688"},  // 4687.5 exactly: to even
      {0.125, 2, 0, "0.12"},     {0.375, 2, 0, "0.38"},   {2.5, 0, 0, "2"},      {3.5, 0, 0, "4"},
      {0.5, 0, 0, "0"},
      {0.000005, 5, 7, "0.00001"},   // stored a little above the tie
      {0.000035, 5, 7, "0.00003"},   // stored a little below
      {0.999995, 5, 7, "0.99999"},   // stored below the tie
      {0.9999951, 5, 7, "1.00000"},  {9.999996, 5, 7, "10.00000"},
      {1.000005, 5, 7, "1.00001"},   // stored above the tie
      {2.5e-06, 5, 7, "0.00000"},    {0.0005, 3, 0, "0.001"},  {0.0015, 3, 0, "0.002"},
      {0.0025, 3, 0, "0.003"},       {1e-7, 6, 1, "0.000000"},
      {0.5e-6, 6, 1, "0.000000"},    // stored below the tie
      {0.5, 5, 9, "  0.50000"},      {-0.5, 5, 9, " -0.50000"}, {123.456789, 5, 7, "123.45679"},
      {500.0, 1, 3, "500.0"},        {7.0, 0, 4, "   7"},     {1e20, 1, 25, "  100000000000000000000.0"},
      {0.25, -1, 0, "0.250000"},     // a negative precision means the default
      {-0.0, 5, 7, "-0.00000"},      {-0.0, 0, 0, "-0"},      {-4e-6, 5, 7, "-0.00000"},
      {-DBL_TRUE_MIN, 3, 0, "-0.000"}, {DBL_MIN, 5, 7, "0.00000"},
      {NAN, 5, 7, "    nan"},        {-NAN, 5, 7, "   -nan"}, {INFINITY, 5, 7, "    inf"},
      {-INFINITY, 6, 1, "-inf"},     {fromBits(0x7ff0000000000001ull), 5, 2, "nan"},  // signalling NaN
  };
  for (const auto& c : fixed) EXPECT_EQ(fixedText(c.v, c.precision, c.width), c.text) << c.v;
  const std::pair<double, const char*> exp[] = {
      {12345675.0, "1.234568e+07"},  // exact tie, 7 is odd: up
      {12345665.0, "1.234566e+07"},  // exact tie, 6 is even: down
      {0.0, "0.000000e+00"},         {-0.0, "-0.000000e+00"},         {1e-5, "1.000000e-05"},
      {DBL_TRUE_MIN, "4.940656e-324"}, {DBL_MAX, "1.797693e+308"},    {9.9999996, "1.000000e+01"},
      {NAN, "nan"},                  {-NAN, "-nan"},                  {-INFINITY, "-inf"},
  };
  for (const auto& [v, text] : exp) EXPECT_EQ(expText(v), text) << v;
  // 2^64 and a thousand digits after the point (1e300, DBL_MAX, 1e22 and 2^32
  // are among the specials the printf runs draw).
  Comparison cmp;
  cmp.compare(fixedText(1.8446744073709552e19, 5, 7), "%7.5f", 1.8446744073709552e19);
  cmp.compare(fixedText(DBL_TRUE_MIN, 1000), "%.1000f", DBL_TRUE_MIN);
  EXPECT_EQ(cmp.mismatches, 0) << cmp.report;
}

// Report rows written through a small buffer reach the file whole and in
// order, also around direct writes to the stream after a flush; without a
// stream the buffer grows past its starting capacity and holds them all.
TEST(FastFormat, RowsReachTheFileOrTheGrowingBufferWhole) {
  const std::string path = tempPath("rows.txt");
  TextBuffer toFile(100), grown(64);
  ASSERT_TRUE(toFile.open(path.c_str()));
  std::string expected;
  char row[256];
  std::mt19937_64 rng(8);
  for (int i = 1; i <= 30000; ++i) {
    const double d = static_cast<double>(rng() >> 11) * 0x1p-53;
    for (TextBuffer* b : {&toFile, &grown}) {
      b->appendInt(i);
      b->appendChar('\t');
      b->appendLong(-i * 37L);
      for (double v : {d, d * d, d * 40.0, 1.0 - d}) {
        b->appendChar('\t');
        b->appendFixed(v, 5, 7);
      }
      b->appendText("\t");
      b->appendExp(d * 1e-3);
      b->appendText("");
      b->appendText("\tY\n");
    }
    std::snprintf(row, sizeof row, "%d\t%ld\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%e\tY\n", i, -i * 37L, d, d * d, d * 40.0,
                  1.0 - d, d * 1e-3);
    expected += row;
    if (i == 15000) {
      ASSERT_TRUE(toFile.flush());
      std::fputs("!Sample_Type:M\n", toFile.stream());
      grown.appendText("!Sample_Type:M\n");
      expected += "!Sample_Type:M\n";
    }
  }
  const std::string big(100000, 'z');  // one append larger than the buffer
  toFile.appendText(big);
  grown.appendText(big);
  expected += big;
  EXPECT_TRUE(toFile.close());
  EXPECT_EQ(toFile.stream(), nullptr);
  EXPECT_EQ(readFile(path), expected);
  std::remove(path.c_str());
  EXPECT_TRUE(grown.flush());  // no stream: nothing to do
  EXPECT_EQ(grown.view(), expected);
  EXPECT_EQ(grown.size(), expected.size());
  grown.clear();
  EXPECT_EQ(grown.view(), "");
}

// What is left in a buffer going out of scope reaches its file; a full disk
// is reported as soon as a write fails. (A file that cannot be opened, a
// failure at close and an attached stream kept open across sections are
// pinned by the pwld and ldblock command runs.)
TEST(FastFormat, DestructorWritesAndWriteFailureIsReported) {
  const std::string path = tempPath("destructor.txt");
  {
    TextBuffer buffer;
    ASSERT_TRUE(buffer.open(path.c_str()));
    buffer.appendText("last line\n");
  }
  EXPECT_EQ(readFile(path), "last line\n");
  std::remove(path.c_str());
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TextBuffer buffer(64);
  ASSERT_TRUE(buffer.open("/dev/full"));
  for (int i = 0; i < 1000; ++i) buffer.appendFixed(i * 0.25, 5, 7);
  EXPECT_TRUE(buffer.failed());
  EXPECT_FALSE(buffer.flush());
  EXPECT_FALSE(buffer.close());
}
