// Rows per second of the pairwise LD report rows written with fprintf and
// with TextBuffer, on the same values.
//
//   bench_format [rows [printf-output [formatter-output [repeats]]]]
//
// Both outputs default to /dev/null; given two files, they must come out
// byte-identical (run_format_bench.sh compares them). With repeats > 1 every
// measurement is taken that many times and the best is shown, which is the
// fairer figure on a machine shared with other work.
#include "common_sgt/FastFormat.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

struct PairValues {
  double dPrime, r2, lod, lodP, chi, chiP, signedD;
  long distance;
  char fourGamete;
};

// A pool of plausible LD values, reused cyclically so that drawing them costs
// nothing inside the timed loops.
std::vector<PairValues> makePool(size_t n) {
  std::mt19937_64 rng(2024);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<PairValues> pool(n);
  for (PairValues& v : pool) {
    const double d = unit(rng);
    v.signedD = (rng() & 1) ? d : -d;
    v.dPrime = d;
    v.r2 = d * d * unit(rng);
    v.lod = unit(rng) * 60.0;
    v.lodP = unit(rng) * unit(rng);
    v.chi = unit(rng) * 120.0;
    v.chiP = unit(rng) * unit(rng) * unit(rng);
    v.distance = static_cast<long>(rng() % 500000);
    v.fourGamete = (rng() & 1) ? 'Y' : 'N';
  }
  return pool;
}

double seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Row i pairs markers i / 1000 and i / 1000 + 1 + i % 1000, as a pair loop
// with a distance limit would.
int marker1(long row) { return static_cast<int>(row / 1000); }
int marker2(long row) { return static_cast<int>(row / 1000 + 1 + row % 1000); }

double writePrintf(const char* path, long rows, const std::vector<PairValues>& pool, bool full) {
  FILE* fp = std::fopen(path, "w");
  if (!fp) {
    std::perror(path);
    std::exit(1);
  }
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < rows; ++i) {
    const PairValues& v = pool[static_cast<size_t>(i) % pool.size()];
    if (full) {
      std::fprintf(fp, "%d\t%d\t%d\t%ld\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%7.5f\t%c\n", static_cast<int>(i + 1),
                   marker1(i), marker2(i), v.distance, v.dPrime, v.r2, v.lod, v.lodP, v.chi, v.chiP, v.fourGamete);
    } else {
      std::fprintf(fp, "%d\t%d\t%ld\t%7.5f\t%7.5f\n", marker1(i), marker2(i), v.distance, v.signedD, v.r2);
    }
  }
  if (std::fclose(fp) != 0) {
    std::perror(path);
    std::exit(1);
  }
  return seconds(start);
}

double writeBuffer(const char* path, long rows, const std::vector<PairValues>& pool, bool full) {
  TextBuffer out;
  if (!out.open(path)) {
    std::perror(path);
    std::exit(1);
  }
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < rows; ++i) {
    const PairValues& v = pool[static_cast<size_t>(i) % pool.size()];
    if (full) {
      out.appendInt(static_cast<int>(i + 1));
      out.appendChar('\t');
    }
    out.appendInt(marker1(i));
    out.appendChar('\t');
    out.appendInt(marker2(i));
    out.appendChar('\t');
    out.appendLong(v.distance);
    if (full) {
      for (double x : {v.dPrime, v.r2, v.lod, v.lodP, v.chi, v.chiP}) {
        out.appendChar('\t');
        out.appendFixed(x, 5, 7);
      }
      out.appendChar('\t');
      out.appendChar(v.fourGamete);
      out.appendChar('\n');
    } else {
      out.appendChar('\t');
      out.appendFixed(v.signedD, 5, 7);
      out.appendChar('\t');
      out.appendFixed(v.r2, 5, 7);
      out.appendChar('\n');
    }
  }
  if (!out.close()) {
    std::fprintf(stderr, "%s: write failed\n", path);
    std::exit(1);
  }
  return seconds(start);
}

void report(const char* name, long rows, double printfSeconds, double bufferSeconds) {
  std::printf("%-6s %ld rows: printf %.3f s (%.2f M rows/s), TextBuffer %.3f s (%.2f M rows/s), speed-up %.1fx\n",
              name, rows, printfSeconds, rows / printfSeconds / 1e6, bufferSeconds, rows / bufferSeconds / 1e6,
              printfSeconds / bufferSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 10'000'000;
  const char* printfPath = argc > 2 ? argv[2] : "/dev/null";
  const char* bufferPath = argc > 3 ? argv[3] : "/dev/null";
  const int repeats = argc > 4 ? std::atoi(argv[4]) : 1;
  if (rows <= 0 || repeats <= 0) {
    std::fprintf(stderr, "usage: %s [rows [printf-output [formatter-output [repeats]]]]\n", argv[0]);
    return 2;
  }
  const std::vector<PairValues> pool = makePool(1 << 20);
  std::string printfPwlds = std::string(printfPath) == "/dev/null" ? printfPath : std::string(printfPath) + "s";
  std::string bufferPwlds = std::string(bufferPath) == "/dev/null" ? bufferPath : std::string(bufferPath) + "s";
  for (bool full : {true, false}) {
    const char* printfOut = full ? printfPath : printfPwlds.c_str();
    const char* bufferOut = full ? bufferPath : bufferPwlds.c_str();
    double printfBest = 0;
    double bufferBest = 0;
    for (int r = 0; r < repeats; ++r) {
      const double printfSeconds = writePrintf(printfOut, rows, pool, full);
      const double bufferSeconds = writeBuffer(bufferOut, rows, pool, full);
      if (r == 0 || printfSeconds < printfBest) printfBest = printfSeconds;
      if (r == 0 || bufferSeconds < bufferBest) bufferBest = bufferSeconds;
    }
    report(full ? "pwld" : "pwlds", rows, printfBest, bufferBest);
  }
  return 0;
}
