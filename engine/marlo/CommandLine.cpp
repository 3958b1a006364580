#include "CommandLine.h"

#include <strings.h>

#include <cmath>
#include <climits>
#include <cstring>

#include "common_sgt/NumberParse.h"
#include "common_sgt/Settings.h"

bool optionPrefix(const char* arg, const char* option) {
  return strncasecmp(arg, option, strlen(option)) == 0;
}

bool optionExact(const char* arg, const char* option) { return strcasecmp(arg, option) == 0; }

const char* optionValue(const char* arg, const char* option) {
  size_t n = strlen(option);
  return strlen(arg) > n ? arg + n : nullptr;
}

int debugLevelOf(const char* arg) {
  const char* rest = arg + strlen("/DEBUG");
  char one[2] = {rest[0], '\0'};
  return parseDecimalInt(one);
}

void scanProcessSwitches(int argc, char** argv) {
  g_progress = false;
  for (int i = 0; i < argc; ++i) {
    if (optionPrefix(argv[i], "/PROGRESS")) g_progress = true;
    if (optionPrefix(argv[i], "/DEBUG")) g_debugLevel = debugLevelOf(argv[i]);
  }
}

namespace {

// Applies a valued double option; a bare option keeps the current value.
void setDouble(const char* arg, const char* option, double& target) {
  if (const char* v = optionValue(arg, option)) target = parseDecimalDouble(v);
}

void setText(const char* arg, const char* option, std::string& target) {
  if (const char* v = optionValue(arg, option)) target = v;
}

int truncateToInt(double v) {
  double t = std::trunc(v);
  if (t >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (t <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(t);
}

// /SEED: the reproducibility extension of the analysis commands.
void setSeed(const char* arg, SeedOption& seed) {
  if (const char* v = optionValue(arg, "/SEED")) {
    seed.given = true;
    seed.value = parseDecimalUnsigned(v);
  }
}

// /THREADS: the worker extension of the analysis commands, an unsigned
// decimal like /SEED (0: every core the process may use).
void setThreads(const char* arg, unsigned& threads) {
  if (const char* v = optionValue(arg, "/THREADS")) threads = parseDecimalUnsigned(v);
}

// /EPS of the analysis commands. An EM loop needs a positive bound; a value
// of 0 or below is refused like an unknown option.
bool setEps(const char* arg, double& target) {
  if (const char* v = optionValue(arg, "/EPS")) {
    double eps = parseDecimalDouble(v);
    if (!(eps > 0.0)) return false;
    target = eps;
  }
  return true;
}

}  // namespace

PreflagOptions parsePreflagOptions(int argc, char** argv) {
  PreflagOptions o;
  for (int i = 3; i < argc; ++i) {
    const char* a = argv[i];
    if (optionPrefix(a, "/SAMPLE") && !optionPrefix(a, "/SAMPLE_HINT:")) setDouble(a, "/SAMPLE", o.sampleMissingLimit);
    if (optionPrefix(a, "/SNP")) setDouble(a, "/SNP", o.snpMissingLimit);
    if (optionPrefix(a, "/MAF")) setDouble(a, "/MAF", o.mafLimit);
    if (optionPrefix(a, "/HWE")) setDouble(a, "/HWE", o.hweLimit);
    if (optionPrefix(a, "/MUL")) o.multipleCorrection = true;
    if (optionPrefix(a, "/OUTFILE:")) setText(a, "/OUTFILE:", o.outFile);
    if (optionPrefix(a, "/CLASS:")) setText(a, "/CLASS:", o.flagClass);
    if (optionPrefix(a, "/SAMPLE_HINT:")) setText(a, "/SAMPLE_HINT:", o.sampleHintFile);
    if (optionPrefix(a, "/PROGRESS")) o.progress = true;
    if (optionPrefix(a, "/THREADS")) setThreads(a, o.threads);
  }
  return o;
}

PreimpuOptions parsePreimpuOptions(int argc, char** argv) {
  PreimpuOptions o;
  for (int i = 3; i < argc; ++i) {
    const char* a = argv[i];
    if (optionPrefix(a, "/B")) o.mode = 0;
    if (optionPrefix(a, "/A")) o.mode = 2;
    if (optionPrefix(a, "/C")) o.mode = 1;
    if (optionPrefix(a, "/PROGRESS")) o.progress = true;
  }
  return o;
}

Tag1Options parseTag1Options(int argc, char** argv) {
  Tag1Options o;
  for (int i = 3; i < argc; ++i) {
    const char* a = argv[i];
    if (optionPrefix(a, "/R")) {
      if (const char* eq = strchr(a, '=')) o.r2Threshold = parseDecimalDouble(eq + 1);
    }
    if (optionPrefix(a, "/PROGRESS")) o.progress = true;
  }
  return o;
}

namespace {

enum class Match { kNone, kAccepted, kRejected };

// The options EM and PLEM share: /EPS, /RANDOM, /MHF, /SEED, /THREADS, and /PROGRESS
// and /DEBUG, which the start-up scan has already handled.
Match matchHaplotypeOption(const char* a, EmOptions& o) {
  if (optionPrefix(a, "/EPS")) return setEps(a, o.eps) ? Match::kAccepted : Match::kRejected;
  if (optionExact(a, "/RANDOM")) {
    o.randomInit = 1;
    return Match::kAccepted;
  }
  if (optionPrefix(a, "/MHF")) {
    setDouble(a, "/MHF", o.minHaplotypeFreq);
    return Match::kAccepted;
  }
  if (optionPrefix(a, "/SEED")) {
    setSeed(a, o.seed);
    return Match::kAccepted;
  }
  if (optionPrefix(a, "/THREADS")) {
    setThreads(a, o.threads);
    return Match::kAccepted;
  }
  if (optionPrefix(a, "/PROGRESS") || optionPrefix(a, "/DEBUG")) return Match::kAccepted;
  return Match::kNone;
}

// PLEM's own options. None of them shares a prefix with the shared ones, so
// testing them first selects the same option as any other order would.
Match matchPlemOption(const char* a, PlemOptions& o) {
  if (optionPrefix(a, "/BL")) {
    // A block length below 1 leaves the block count undefined.
    if (const char* v = optionValue(a, "/BL")) {
      int bl = parseDecimalInt(v);
      if (bl < 1) return Match::kRejected;
      o.blockLength = bl;
    }
    return Match::kAccepted;
  }
  if (optionPrefix(a, "/PLEMEPS")) {
    setDouble(a, "/PLEMEPS", o.plemEps);
    return Match::kAccepted;
  }
  return Match::kNone;
}

}  // namespace

WalkOutcome walkEmOptions(int argc, char** argv, EmOptions& o, std::string& badArgument) {
  for (int i = 3; i < argc; ++i) {
    if (matchHaplotypeOption(argv[i], o) != Match::kAccepted) {
      badArgument = argv[i];
      return WalkOutcome::kRejected;
    }
  }
  return WalkOutcome::kAccepted;
}

WalkOutcome walkPlemOptions(int argc, char** argv, PlemOptions& o, std::string& badArgument) {
  for (int i = 3; i < argc; ++i) {
    Match m = matchPlemOption(argv[i], o);
    if (m == Match::kNone) m = matchHaplotypeOption(argv[i], o.em);
    if (m != Match::kAccepted) {
      badArgument = argv[i];
      return WalkOutcome::kRejected;
    }
  }
  return WalkOutcome::kAccepted;
}

WalkOutcome walkPwldOptions(int argc, char** argv, PairwiseLDOptions& o, std::string& badArgument) {
  BlockingSettings& b = o.blockSettings;
  for (int i = 3; i < argc; ++i) {
    const char* a = argv[i];
    if (optionPrefix(a, "/CLASS:")) {
      setText(a, "/CLASS:", o.classToAnalyze);
    } else if (optionPrefix(a, "/EPS")) {
      if (!setEps(a, o.eps)) {
        badArgument = a;
        return WalkOutcome::kRejected;
      }
    } else if (optionExact(a, "/RANDOM")) {
      o.randomInit = 1;
    } else if (optionPrefix(a, "/ANNO")) {
      o.useAnno = true;
      if (const char* v = optionValue(a, "/ANNO")) o.chrPosThresh = parseDecimalInt(v);
    } else if (optionExact(a, "/SKIPANNO")) {
      o.skipByAnno = true;
    } else if (optionExact(a, "/LDBLK1")) {
      return WalkOutcome::kDeprecatedBlocking;
    } else if (optionExact(a, "/LDBLK2")) {
      o.blocking = true;
      o.blockingMethod = 2;
    } else if (optionPrefix(a, "/LDBLKM")) {
      o.blocking = true;
      o.blockingMethod = 0;
      b.manualList = a + strlen("/LDBLKM");
    } else if (optionExact(a, "/CRSOVR")) {
      o.crossOver = true;
    } else if (optionExact(a, "/MLE")) {
      o.exactMle = true;
    } else if (optionPrefix(a, "/UTH")) {
      setDouble(a, "/UTH", b.gabriel.uth);
    } else if (optionPrefix(a, "/LTH")) {
      setDouble(a, "/LTH", b.gabriel.lth);
    } else if (optionPrefix(a, "/THF")) {
      setDouble(a, "/THF", b.gabriel.thf);
    } else if (optionPrefix(a, "/E")) {
      setDouble(a, "/E", b.gabriel.e);
    } else if (optionPrefix(a, "/BST")) {
      if (const char* v = optionValue(a, "/BST")) b.bootstrap = truncateToInt(parseDecimalDouble(v));
    } else if (optionPrefix(a, "/TAG")) {
      setDouble(a, "/TAG", b.tag);
    } else if (optionPrefix(a, "/4GMT")) {
      setDouble(a, "/4GMT", o.fourGameteThreshold);
    } else if (optionPrefix(a, "/SEED")) {
      setSeed(a, o.seed);
    } else if (optionPrefix(a, "/THREADS")) {
      setThreads(a, o.threads);
    } else if (optionPrefix(a, "/PROGRESS") || optionPrefix(a, "/DEBUG")) {
    } else {
      badArgument = a;
      return WalkOutcome::kRejected;
    }
  }
  return WalkOutcome::kAccepted;
}

void applyProcessWide(const SeedOption& seed) {
  g_seedGiven = seed.given;
  g_seedValue = seed.value;
}

void applyProcessWide(const PairwiseLDOptions& o) {
  applyProcessWide(o.seed);
  g_fourGameteThreshold = o.fourGameteThreshold;
}
