#include "ld/PairwiseLD.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "common_sgt/FastFormat.h"
#include "common_sgt/Parallel.h"
#include "common_sgt/SafeFiles.h"
#include "common_sgt/Settings.h"
#include "common_sgt/StatusReport.h"
#include "ld/PackedPairComputer.h"
#include "ld/PairComputation.h"
#include "ld/PairStore.h"
#include "ld/PairwiseValue.h"

namespace {

// Result files of one command; each holds the sections of every analysed
// sample type.
struct OutputFiles {
  TextBuffer pwld;
  TextBuffer pwlds;
  FILE* hblk = nullptr;
  FILE* rblk = nullptr;

  // Closes everything; false when a write failed.
  bool close(const std::string& base) {
    bool ok = true;
    if (pwld.stream() && !pwld.close()) {
      printf("Pairwise LD Analysis: writing %s.pwld failed\n", base.c_str());
      ok = false;
    }
    if (pwlds.stream() && !pwlds.close()) {
      printf("Pairwise LD Analysis: writing %s.pwlds failed\n", base.c_str());
      ok = false;
    }
    for (FILE** fp : {&hblk, &rblk}) {
      if (!*fp) continue;
      if (ferror(*fp) || fclose(*fp) != 0) {
        printf("Pairwise LD Analysis: writing %s failed\n", fp == &hblk ? (base + ".ld.hblk").c_str()
                                                                       : (base + ".ld.rblk").c_str());
        ok = false;
      }
      *fp = nullptr;
    }
    fflush(stdout);
    return ok;
  }
};

bool openText(TextBuffer& buffer, const std::string& name) {
  if (buffer.open(name.c_str())) return true;
  printf("Pairwise LD Analysis: cannot open %s for writing: %s\n", name.c_str(), strerror(errno));
  return false;
}

bool openFile(FILE*& fp, const std::string& name) {
  fp = fopen(name.c_str(), "w");
  if (fp) return true;
  printf("Pairwise LD Analysis: cannot open %s for writing: %s\n", name.c_str(), strerror(errno));
  return false;
}

void writeSectionHeader(TextBuffer& out, const GenoData& data, int limit, const std::string& sampleType) {
  char kb[64];
  snprintf(kb, sizeof kb, "%3.1f", limit * 0.001);
  out.appendText("!Chromosome_No:");
  out.appendText(data.m_ChromosomeNo);
  out.appendText("\n!Region_Limit:");
  out.appendText(kb);
  out.appendText("Kb\n!Sample_Type:");
  out.appendText(sampleType);
  out.appendChar('\n');
}

long distanceOf(const GenoData& data, int i, int j) {
  const long d = static_cast<long>(data.positions[j]) - static_cast<long>(data.positions[i]);
  return d < 0 ? -d : d;
}

// The distance rule: a pair at or beyond the limit (when /ANNO applies it)
// gets a row without values, or ends its row under /SKIPANNO.
enum class PairReach { kComputed, kBeyondLimit, kEndOfRow };

PairReach reachOf(long distance, const PairwiseLDOptions& o) {
  if (!o.useAnno || distance < o.chrPosThresh) return PairReach::kComputed;
  return o.skipByAnno ? PairReach::kEndOfRow : PairReach::kBeyondLimit;
}

// Pairs the loop will compute (and blocking will read).
int64_t computedPairCount(const GenoData& data, const PairwiseLDOptions& o) {
  const int n = data.m_nummarker;
  if (!o.useAnno) return static_cast<int64_t>(n) * (n - 1) / 2;
  int64_t count = 0;
  for (int i = 0; i + 1 < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const PairReach reach = reachOf(distanceOf(data, i, j), o);
      if (reach == PairReach::kEndOfRow) break;
      if (reach == PairReach::kComputed) ++count;
    }
  }
  return count;
}

// Rows of the pair files that first SNP i writes.
int64_t rowsOf(const GenoData& data, const PairwiseLDOptions& o, int i) {
  const int n = data.m_nummarker;
  if (!(o.useAnno && o.skipByAnno)) return n - 1 - i;
  int j = i + 1;
  while (j < n && reachOf(distanceOf(data, i, j), o) != PairReach::kEndOfRow) ++j;
  return j - i - 1;
}

// A computed pair as the store receives it.
struct StoredPair {
  int i;
  int j;
  PairLDSummary summary;
};

// The rows of consecutive first SNPs, computed by one worker: the text of
// both files, the console text and the pairs for blocking, with where each
// first SNP's share ends, so that the writer can hand them on row by row
// exactly as a single loop would.
struct PairChunk {
  TextBuffer pwld{1 << 16};
  TextBuffer pwlds{1 << 16};
  std::string console;
  std::vector<StoredPair> pairs;
  std::vector<size_t> consoleEnd, pairsEnd;

  void clear() {
    pwld.clear();
    pwlds.clear();
    console.clear();
    pairs.clear();
    consoleEnd.clear();
    pairsEnd.clear();
  }
};

// Rows of one chunk: enough pairs to make handing a chunk over cheap against
// computing it, few enough for the buffering limit and an even spread.
constexpr int64_t kChunkRows = 4096;
// Bytes a written row takes in a chunk at most (both files' text and the
// stored pair), for the buffering limit.
constexpr size_t kChunkBytesPerRow = 160;

// The rows of first SNP i, from row number firstRow on.
void computeRowsOf(const GenoData& data, const PairwiseLDOptions& o, int i, int64_t firstRow,
                   PackedPairComputer* packed, PairChunk& c) {
  const int n = data.m_nummarker;
  int64_t rows = firstRow;
  PairwiseValue v;
  const PairwiseValue defaults;
  const bool packedI = packed && packed->usable(i);
  for (int j = i + 1; j < n; ++j) {
    const long distance = distanceOf(data, i, j);
    const PairReach reach = reachOf(distance, o);
    if (reach == PairReach::kEndOfRow) break;
    if (reach == PairReach::kBeyondLimit) {
      // Beyond the limit: a row without values.
      ++rows;
      writePairRows(c.pwld, c.pwlds, rows, i, j, distance, defaults);
      continue;
    }
    if (packedI && packed->usable(j))
      packed->compute(i, j, v);
    else
      computePairGeneral(data, i, j, o.eps, v, o.exactMle);
    ++rows;
    writePairRows(c.pwld, c.pwlds, rows, i, j, distance, v);
    if (o.blocking) {
      PairLDSummary s;
      s.absDprime = v.multiAllelic ? (v.multiDprime < 0.0 ? -v.multiDprime : v.multiDprime) : v.absDprime;
      s.varDprime = v.varDprime;
      s.minorFreq = v.minorFreq;
      c.pairs.push_back({i, j, s});
    }
  }
}

// The distance limit assumes positions in order along the chromosome; pairs
// are still selected by their distance, but the user should know the file
// breaks that assumption. True once the warning is printed.
bool warnPositionOrder(const GenoData& data, const std::string& inputFile) {
  for (int k = 1; k < data.m_nummarker; ++k) {
    if (data.positions[k] < data.positions[k - 1]) {
      printf("Warning: %s: the position of marker %s (%d) is smaller than that of the marker before it (%d); "
             "/ANNO expects positions in ascending order\n",
             inputFile.c_str(), data.markerIds[k].c_str(), data.positions[k], data.positions[k - 1]);
      fflush(stdout);
      return true;
    }
  }
  return false;
}

// The pair loop of one sample type. False when its rows could not be
// produced (the message has been printed).
//
// Workers compute chunks of consecutive first SNPs; the writer takes them in
// order and prints, writes and stores each first SNP's share as the single
// loop did, so the files, the console and the pair store are the same for
// every thread count (one thread runs the same steps without a worker).
bool pairLoop(const GenoData& data, const PairwiseLDOptions& o, OutputFiles& out, PairStore& store) {
  const int n = data.m_nummarker;
  printf("Allocating pwvs[%d][%d]\n", n, n);
  store.reset(o.blocking ? n : 0);
  if (o.blocking) {
    try {
      store.reserve(computedPairCount(data, o));
    } catch (const std::bad_alloc&) {
      printf("Error: Cannot allocation memory for pwvs[%d]\n", 0);
      fflush(stdout);
      store.reset(0);
      return false;
    }
  }
  printf("Allocating pwvs complete, size=%lld\n", static_cast<long long>(store.reservedBytes()));
  printf("Calculating LD values for...[COUNT:%d]\n", n - 1);
  fflush(stdout);

  // The packed computation serves every SNP it can hold; the debug traces
  // come from the general one.
  // Without memory for the planes every pair takes the general route.
  std::unique_ptr<PackedPairComputer> packed;
  if (g_debugLevel == 0) {
    try {
      packed = std::make_unique<PackedPairComputer>(data, o.eps, o.exactMle, resolveThreadCount(o.threads));
    } catch (const std::bad_alloc&) {
      packed.reset();
    }
  }

  const unsigned workers = resolveThreadCount(o.threads);
  // Row numbers before each first SNP (the last entry: all rows), and the
  // chunks of first SNPs: at least eight per worker where the rows allow,
  // so that uneven rows even out.
  std::vector<int64_t> rowsBefore(static_cast<size_t>(n > 0 ? n : 1), 0);
  for (int i = 0; i + 1 < n; ++i) rowsBefore[i + 1] = rowsBefore[i] + rowsOf(data, o, i);
  const int64_t chunkRows = std::clamp<int64_t>(rowsBefore.back() / (int64_t{8} * workers), 1, kChunkRows);
  std::vector<int> chunkFirst;
  int64_t chunkRowsMax = 0;
  for (int i = 0; i + 1 < n; ++i) {
    if (chunkFirst.empty() || rowsBefore[i] - rowsBefore[chunkFirst.back()] >= chunkRows) chunkFirst.push_back(i);
    chunkRowsMax = std::max(chunkRowsMax, rowsBefore[i + 1] - rowsBefore[chunkFirst.back()]);
  }
  const int64_t chunks = static_cast<int64_t>(chunkFirst.size());
  chunkFirst.push_back(n > 0 ? n - 1 : 0);

  const size_t window = orderedWindow(workers, static_cast<size_t>(chunkRowsMax) * kChunkBytesPerRow);
  std::vector<PairChunk> slots(window);
  // One packed computer per worker, copied by the worker from the untouched
  // original on its first chunk: the tables are shared, the scratch (a few
  // kilobytes) is not. A single worker uses the original.
  std::vector<std::unique_ptr<PackedPairComputer>> perWorker(workers);
  if (workers == 1) perWorker[0] = std::move(packed);

  auto compute = [&](int64_t chunk, unsigned worker) {
    PairChunk& c = slots[static_cast<size_t>(chunk % static_cast<int64_t>(window))];
    c.clear();
    ConsoleCapture capture(c.console);
    if (packed && !perWorker[worker]) perWorker[worker] = std::make_unique<PackedPairComputer>(*packed);
    for (int i = chunkFirst[chunk]; i < chunkFirst[chunk + 1]; ++i) {
      computeRowsOf(data, o, i, rowsBefore[i], perWorker[worker].get(), c);
      c.consoleEnd.push_back(c.console.size());
      c.pairsEnd.push_back(c.pairs.size());
    }
  };
  int64_t rows = 0;
  auto emit = [&](int64_t chunk) {
    const PairChunk& c = slots[static_cast<size_t>(chunk % static_cast<int64_t>(window))];
    size_t t = 0, p = 0;
    for (int i = chunkFirst[chunk], r = 0; i < chunkFirst[chunk + 1]; ++i, ++r) {
      printf("%d ", i);
      reportValue(1, static_cast<int>(static_cast<int64_t>(i + 1) * 100 / (n - 1)));
      fwrite(c.console.data() + t, 1, c.consoleEnd[r] - t, stdout);
      t = c.consoleEnd[r];
      for (; p < c.pairsEnd[r]; ++p) store.add(c.pairs[p].i, c.pairs[p].j, c.pairs[p].summary);
      rows = rowsBefore[i + 1];
    }
    // The chunk's rows in one piece each (a long text is written without
    // another copy); a file that can no longer be written (a full disk)
    // ends the loop.
    out.pwld.appendText(c.pwld.view());
    out.pwlds.appendText(c.pwlds.view());
    return !out.pwld.failed() && !out.pwlds.failed();
  };
  runOrdered(workers, chunks, window, compute, emit);

  const int64_t possible = static_cast<int64_t>(n) * (n - 1);
  printf("\n");
  printf("LD Efficiency =%lld/%lld = %f\n", static_cast<long long>(rows), static_cast<long long>(possible),
         possible == 0 ? 0.0 : static_cast<double>(rows) / static_cast<double>(possible));
  fflush(stdout);
  return !out.pwld.failed() && !out.pwlds.failed();
}

// Blocks and crossover rates of the sample type just computed. kFailed when
// a step could not do its work.
PairwiseLDStatus blockingSteps(const GenoData& data, const PairwiseLDOptions& o, OutputFiles& out,
                               const PairStore& store, const std::string& sampleType, BlockingTasks tasks) {
  // A fatal block-list error ends the command: the rows so far must have
  // reached their streams by then.
  out.pwld.flush();
  out.pwlds.flush();
  LDBlockCalculator calculator(data, store, o.blockSettings, tasks, resolveThreadCount(o.threads));
  int blocks;
  if (o.blockingMethod == 0) {
    printf("LD Blocking Method :Manual\n");
    fflush(stdout);
    blocks = calculator.buildManualBlocks(out.hblk, data.m_ChromosomeNo, sampleType);
  } else {
    printf("LD Blocking Method 2(Gabriel's)\n");
    fflush(stdout);
    blocks = calculator.buildGabrielBlocks(out.hblk, data.m_ChromosomeNo, sampleType);
  }
  if (blocks == LDBlockCalculator::kListAborted) return PairwiseLDStatus::kAborted;
  if (blocks < 0) return PairwiseLDStatus::kFailed;
  if (o.crossOver && !calculator.computeCrossover(out.rblk, data.m_ChromosomeNo, sampleType))
    return PairwiseLDStatus::kFailed;
  return PairwiseLDStatus::kDone;
}

}  // namespace

namespace {

// Room for the numbers that begin a row (a row number, two SNP numbers and a
// distance with their tabs), and the margin an append of a number keeps.
constexpr size_t kRowStartRoom = 20 + 11 + 11 + 20 + 4 + 32;
// Room for a "%7.5f" value below 10^6 ("-999999.99999") and that margin.
constexpr size_t kSmallValueRoom = 16 + 32;

// Whether "%7.5f" of x is at most 13 characters and needs no padding to 7
// (every such text has at least one digit, the point and five decimals), so
// that the text of -x is "-" followed by that of x: printf rounds the
// magnitude alone.
inline bool isSmallValue(double x) { return std::fabs(x) < 1e6; }

// The text of the last append, whose start was at start.
inline std::string_view lastText(const TextBuffer& b, size_t start) { return b.view().substr(start); }

}  // namespace

// Both files' rows begin with the same numbers and share the text of r2, and
// the signed D' of ".pwlds" is |D'| of ".pwld" with its sign: those texts are
// formatted once and copied, which the formatter's rounding (the magnitude
// alone, half to even) makes the same bytes as formatting them again. A value
// that is not finite, is large or whose |D'| is not exactly the magnitude of
// D' is formatted on its own.
void writePairRows(TextBuffer& pwld, TextBuffer& pwlds, int64_t row, int i, int j, long distance,
                   const PairwiseValue& v) {
  pwld.reserveRoom(kRowStartRoom);
  pwld.appendLong(static_cast<long>(row));
  pwld.appendChar('\t');
  const size_t shared = pwld.size();
  pwld.appendInt(i);
  pwld.appendChar('\t');
  pwld.appendInt(j);
  pwld.appendChar('\t');
  pwld.appendLong(distance);
  pwld.appendChar('\t');
  pwlds.appendText(lastText(pwld, shared));
  if (v.multiAllelic) {
    const double d = v.multiDprime < 0.0 ? -v.multiDprime : v.multiDprime;
    pwld.appendFixed(d, 5, 7);
    pwld.appendText("\t-\t-\t-\t-\t-\tN\n");
    pwlds.appendFixed(d, 5, 7);
    pwlds.appendText("\t-\n");
    return;
  }
  uint64_t absBits, signedBits;
  std::memcpy(&absBits, &v.absDprime, sizeof absBits);
  std::memcpy(&signedBits, &v.Dprime, sizeof signedBits);
  const bool dprimeShared = isSmallValue(v.absDprime) && absBits == (signedBits & ~(uint64_t{1} << 63));
  pwld.reserveRoom(kSmallValueRoom);
  const size_t dprimeStart = pwld.size();
  pwld.appendFixed(v.absDprime, 5, 7);
  if (dprimeShared) {
    if (signedBits >> 63) pwlds.appendChar('-');
    pwlds.appendText(lastText(pwld, dprimeStart));
  } else {
    pwlds.appendFixed(v.Dprime, 5, 7);
  }
  pwld.appendChar('\t');
  pwlds.appendChar('\t');
  pwld.reserveRoom(kSmallValueRoom);
  const size_t r2Start = pwld.size();
  pwld.appendFixed(v.r2, 5, 7);
  if (isSmallValue(v.r2))
    pwlds.appendText(lastText(pwld, r2Start));
  else
    pwlds.appendFixed(v.r2, 5, 7);
  pwlds.appendChar('\n');
  pwld.appendChar('\t');
  pwld.appendFixed(v.lodStatistic, 5, 7);
  pwld.appendChar('\t');
  pwld.appendFixed(v.lodP, 5, 7);
  pwld.appendChar('\t');
  pwld.appendFixed(v.chiSquare, 5, 7);
  pwld.appendChar('\t');
  pwld.appendFixed(v.chiSquareP, 5, 7);
  pwld.appendChar('\t');
  pwld.appendChar(v.fourGamete);
  pwld.appendChar('\n');
}

PairwiseLDStatus runPairwiseLD(GenoData& data, const std::string& inputFile, const PairwiseLDOptions& o) {
  // Every sample type reads the input again; a result that is the input
  // would wipe it when opened.
  if (!requireRegularInput(inputFile.c_str(), "Pairwise LD Analysis") ||
      !refuseResultsOverInputs({inputFile + ".pwld", inputFile + ".pwlds", o.blocking ? inputFile + ".ld.hblk" : "",
                                o.crossOver ? inputFile + ".ld.rblk" : ""},
                               {inputFile}, "Pairwise LD Analysis"))
    return PairwiseLDStatus::kFailed;
  OutputFiles out;
  bool opened = openText(out.pwld, inputFile + ".pwld") && openText(out.pwlds, inputFile + ".pwlds");
  if (opened && o.blocking) opened = openFile(out.hblk, inputFile + ".ld.hblk");
  // The crossover file exists whenever the step is asked for, even without
  // blocks to relate.
  if (opened && o.crossOver) opened = openFile(out.rblk, inputFile + ".ld.rblk");
  if (!opened) {
    out.close(inputFile);
    return PairwiseLDStatus::kFailed;
  }

  if (!data.loadHeader(inputFile.c_str())) {
    out.close(inputFile);
    return PairwiseLDStatus::kFailed;
  }
  const int types = data.m_SampleTypeTableSize;
  std::string tasks = "Sample Type Loop," + std::to_string(types == 1 ? 1 : types + 1) + ";Pairwise LD,100;";
  if (o.blocking) tasks += "LD Blocking,100;";
  if (o.crossOver) tasks += "LD Block Crossover Rate,100";
  reportTaskList(tasks.c_str());
  BlockingTasks blockingTasks;
  blockingTasks.blocking = 2;
  blockingTasks.crossover = o.blocking ? 3 : 2;

  bool ok = true;
  bool classFound = false;
  bool warnedOrder = false;
  PairStore store;
  for (int p = 0; p <= types; ++p) {
    const std::string name = data.sampleTypeTable[p].name;
    if (o.classToAnalyze.empty() && types == 1 && p == 1) break;
    reportValue(0, p + 1);
    reportValue(1, 0);
    if (o.blocking) reportValue(2, 0);
    if (o.crossOver) reportValue(blockingTasks.crossover, 0);
    if (!o.classToAnalyze.empty()) {
      if (name != o.classToAnalyze) {
        printf("skip class [%s]\n", name.c_str());
        continue;
      }
      printf("calc class [%s]\n", name.c_str());
      classFound = true;
    }
    printf("Pairwise LD Analysis. %s\n", name.c_str());
    fflush(stdout);
    data.setWorkers(resolveThreadCount(o.threads));
    if (!data.loadData(inputFile.c_str(), name.c_str())) {
      printf("SGManager::performLDAnalysis - loadData failed\n");
      out.close(inputFile);
      return PairwiseLDStatus::kFailed;
    }
    if (data.m_nummarker < 1 || data.m_numindiv < 1) continue;
    if (o.useAnno && !warnedOrder) warnedOrder = warnPositionOrder(data, inputFile);

    writeSectionHeader(out.pwld, data, o.chrPosThresh, name);
    out.pwld.appendText("No\tMarker1\tMarker2\tDistance\t|D'|\tr2\tLOD\tLOD_p_value\tChi_square\tp_value\tFour_gamete\n");
    writeSectionHeader(out.pwlds, data, o.chrPosThresh, name);
    out.pwlds.appendText("Marker1\tMarker2\tDistance\tD'\tr2\n");

    if (!pairLoop(data, o, out, store)) {
      ok = false;
      if (out.pwld.failed() || out.pwlds.failed()) break;
      continue;
    }
    if (o.blocking) {
      const PairwiseLDStatus step = blockingSteps(data, o, out, store, name, blockingTasks);
      if (step == PairwiseLDStatus::kAborted) {
        out.close(inputFile);
        return step;
      }
      if (step == PairwiseLDStatus::kFailed) ok = false;
    }
    store.reset(0);
  }
  // A class name that is no sample type of the file analyses nothing: the
  // empty reports must not pass for a result.
  if (!o.classToAnalyze.empty() && !classFound) {
    printf("PWLD: no sample type \"%s\" in %s\n", o.classToAnalyze.c_str(), inputFile.c_str());
    fflush(stdout);
    ok = false;
  }
  if (!out.close(inputFile)) ok = false;
  return ok ? PairwiseLDStatus::kDone : PairwiseLDStatus::kFailed;
}
