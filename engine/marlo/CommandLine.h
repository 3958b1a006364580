#pragma once
#include <string>

#include "ld/PairwiseLD.h"
#include "marlo/EstimatorOptions.h"

// Option matching: a prefix option matches when the argument begins with the
// option text (case-insensitive); an exact option must equal it as a whole.
bool optionPrefix(const char* arg, const char* option);
bool optionExact(const char* arg, const char* option);
// The text glued to the option, or nullptr when nothing follows it.
const char* optionValue(const char* arg, const char* option);

// Scans every argument for /PROGRESS and /DEBUG and sets the process-wide
// switches.
void scanProcessSwitches(int argc, char** argv);
// Debug level of one "/DEBUG..." argument: the single character after it.
int debugLevelOf(const char* arg);

struct PreflagOptions {
  double sampleMissingLimit = 0.1;
  double snpMissingLimit = 0.3;
  double mafLimit = 0.05;
  double hweLimit = 0.05;
  bool multipleCorrection = false;
  std::string outFile;
  std::string flagClass = "M";
  std::string sampleHintFile;
  bool progress = false;
  unsigned threads = 1;  // more than one: the input is read ahead; 0: every core
};
PreflagOptions parsePreflagOptions(int argc, char** argv);

struct PreimpuOptions {
  int mode = 0;
  bool progress = false;
};
PreimpuOptions parsePreimpuOptions(int argc, char** argv);

struct Tag1Options {
  double r2Threshold = 0.8;
  bool progress = false;
};
Tag1Options parseTag1Options(int argc, char** argv);

enum class WalkOutcome { kAccepted, kRejected, kDeprecatedBlocking };

// The first-match walks of the analysis commands, each filling its command's
// options. On kRejected, badArgument holds the argument that stopped the walk.
WalkOutcome walkEmOptions(int argc, char** argv, EmOptions& options, std::string& badArgument);
WalkOutcome walkPlemOptions(int argc, char** argv, PlemOptions& options, std::string& badArgument);
WalkOutcome walkPwldOptions(int argc, char** argv, PairwiseLDOptions& options, std::string& badArgument);

// The one place where the options that the rules make process-wide (the
// generator's seed, the four-gamete threshold) reach the process settings.
void applyProcessWide(const SeedOption& seed);
void applyProcessWide(const PairwiseLDOptions& options);
