#include "ld/PairwiseLD.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common_sgt/FastFormat.h"
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

// Pairs the loop will compute (and blocking will read).
int64_t computedPairCount(const GenoData& data, const PairwiseLDOptions& o) {
  const int n = data.m_nummarker;
  if (!o.useAnno) return static_cast<int64_t>(n) * (n - 1) / 2;
  int64_t count = 0;
  for (int i = 0; i + 1 < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      if (distanceOf(data, i, j) >= o.chrPosThresh) {
        if (o.skipByAnno) break;
        continue;
      }
      ++count;
    }
  }
  return count;
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
      packed = std::make_unique<PackedPairComputer>(data, o.eps);
    } catch (const std::bad_alloc&) {
      packed.reset();
    }
  }

  int64_t rows = 0;
  PairwiseValue v;
  const PairwiseValue defaults;
  for (int i = 0; i + 1 < n; ++i) {
    printf("%d ", i);
    reportValue(1, static_cast<int>(static_cast<int64_t>(i + 1) * 100 / (n - 1)));
    const bool packedI = packed && packed->usable(i);
    for (int j = i + 1; j < n; ++j) {
      const long distance = distanceOf(data, i, j);
      if (o.useAnno && distance >= o.chrPosThresh) {
        if (o.skipByAnno) break;
        // Beyond the limit: a row without values.
        ++rows;
        writePairRows(out.pwld, out.pwlds, rows, i, j, distance, defaults);
        continue;
      }
      if (packedI && packed->usable(j))
        packed->compute(i, j, v);
      else
        computePairGeneral(data, i, j, o.eps, v);
      ++rows;
      writePairRows(out.pwld, out.pwlds, rows, i, j, distance, v);
      if (o.blocking) {
        PairLDSummary s;
        s.absDprime = v.multiAllelic ? (v.multiDprime < 0.0 ? -v.multiDprime : v.multiDprime) : v.absDprime;
        s.varDprime = v.varDprime;
        s.minorFreq = v.minorFreq;
        store.add(i, j, s);
      }
    }
    // A file that can no longer be written (a full disk) ends the loop.
    if (out.pwld.failed() || out.pwlds.failed()) break;
  }
  const int64_t possible = static_cast<int64_t>(n) * (n - 1);
  printf("\n");
  printf("LD Efficiency =%lld/%lld = %f\n", static_cast<long long>(rows), static_cast<long long>(possible),
         possible == 0 ? 0.0 : static_cast<double>(rows) / static_cast<double>(possible));
  fflush(stdout);
  return !out.pwld.failed() && !out.pwlds.failed();
}

// Blocks and crossover rates of the sample type just computed. False when a
// step could not do its work.
bool blockingSteps(const GenoData& data, const PairwiseLDOptions& o, OutputFiles& out, const PairStore& store,
                   const std::string& sampleType) {
  if (o.blockingMethod == 1) {
    printf("LD Blocking Method 1 NOT ready!\n");
    fflush(stdout);
    reportError("LD Blocking Method 1 NOT ready");
    out.close(data.m_fileName);
    exit(-1);
  }
  // A fatal block-list error ends the process inside the calculator: the
  // rows so far must have reached their streams by then.
  out.pwld.flush();
  out.pwlds.flush();
  BlockingSettings settings = o.blockSettings;
  settings.blockingTask = 2;
  settings.crossoverTask = 3;
  LDBlockCalculator calculator(data, store, settings);
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
  if (blocks < 0) return false;
  if (o.crossOver && !calculator.computeCrossover(out.rblk, data.m_ChromosomeNo, sampleType)) return false;
  return true;
}

}  // namespace

void writePairRows(TextBuffer& pwld, TextBuffer& pwlds, int64_t row, int i, int j, long distance,
                   const PairwiseValue& v) {
  pwld.appendLong(static_cast<long>(row));
  pwld.appendChar('\t');
  pwld.appendInt(i);
  pwld.appendChar('\t');
  pwld.appendInt(j);
  pwld.appendChar('\t');
  pwld.appendLong(distance);
  pwld.appendChar('\t');
  pwlds.appendInt(i);
  pwlds.appendChar('\t');
  pwlds.appendInt(j);
  pwlds.appendChar('\t');
  pwlds.appendLong(distance);
  pwlds.appendChar('\t');
  if (v.multiAllelic) {
    const double d = v.multiDprime < 0.0 ? -v.multiDprime : v.multiDprime;
    pwld.appendFixed(d, 5, 7);
    pwld.appendText("\t-\t-\t-\t-\t-\tN\n");
    pwlds.appendFixed(d, 5, 7);
    pwlds.appendText("\t-\n");
    return;
  }
  pwld.appendFixed(v.absDprime, 5, 7);
  pwld.appendChar('\t');
  pwld.appendFixed(v.r2, 5, 7);
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
  pwlds.appendFixed(v.Dprime, 5, 7);
  pwlds.appendChar('\t');
  pwlds.appendFixed(v.r2, 5, 7);
  pwlds.appendChar('\n');
}

bool runPairwiseLD(GenoData& data, const std::string& inputFile, const PairwiseLDOptions& o) {
  // Every sample type reads the input again; a result that is the input
  // would wipe it when opened.
  if (!requireRegularInput(inputFile.c_str(), "Pairwise LD Analysis") ||
      !refuseResultsOverInputs({inputFile + ".pwld", inputFile + ".pwlds", o.blocking ? inputFile + ".ld.hblk" : "",
                                o.crossOver ? inputFile + ".ld.rblk" : ""},
                               {inputFile}, "Pairwise LD Analysis"))
    return false;
  OutputFiles out;
  bool opened = openText(out.pwld, inputFile + ".pwld") && openText(out.pwlds, inputFile + ".pwlds");
  if (opened && o.blocking) opened = openFile(out.hblk, inputFile + ".ld.hblk");
  // The crossover file exists whenever the step is asked for, even without
  // blocks to relate.
  if (opened && o.crossOver) opened = openFile(out.rblk, inputFile + ".ld.rblk");
  if (!opened) {
    out.close(inputFile);
    return false;
  }

  if (!data.loadHeader(inputFile.c_str())) {
    out.close(inputFile);
    return false;
  }
  const int types = data.m_SampleTypeTableSize;
  std::string tasks = "Sample Type Loop," + std::to_string(types == 1 ? 1 : types + 1) + ";Pairwise LD,100;";
  if (o.blocking) tasks += "LD Blocking,100;";
  if (o.crossOver) tasks += "LD Block Crossover Rate,100";
  reportTaskList(tasks.c_str());

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
    if (o.crossOver) reportValue(o.blocking ? 3 : 2, 0);
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
    if (!data.loadData(inputFile.c_str(), name.c_str())) {
      printf("SGManager::performLDAnalysis - loadData failed\n");
      out.close(inputFile);
      return false;
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
    if (o.blocking && !blockingSteps(data, o, out, store, name)) ok = false;
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
  return ok;
}
