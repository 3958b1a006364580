// marlo: the analysis engine. Reads a command word, an input file and slash
// options, runs the command once and reports its outcome.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "AnalysisTask.h"
#include "CommandLine.h"
#include "Usage.h"
#include "common_sgt/Parallel.h"
#include "common_sgt/RunTimer.h"
#include "common_sgt/Settings.h"
#include "common_sgt/StatusReport.h"
#include "hwe/Hwe.h"
#include "impu/Impu.h"
#include "simple_tagger/SimpleTagger.h"

namespace {

bool isCommand(const char* word, const char* command) { return strcasecmp(word, command) == 0; }

// PREIMPU's /RESTORE: exact, case-insensitive, anywhere after the file.
bool hasRestoreSwitch(int argc, char** argv) {
  for (int i = 3; i < argc; ++i)
    if (strcasecmp(argv[i], "/RESTORE") == 0) return true;
  return false;
}

// The fixed self-test: PWLD on TEST_#LOCATION.geno of the working directory
// with the distance limit 500000 and the skip switch on.
void runSelfTest() {
  auto task = std::make_unique<AnalysisTask>();
  task->setInputFile("TEST_#LOCATION.geno");
  PairwiseLDOptions o;
  o.useAnno = true;
  o.chrPosThresh = 500000;
  o.skipByAnno = true;
  applyProcessWide(o);
  task->runLdTask(o);
}

void runPreflag(int argc, char** argv, const char* inputFile) {
  PreflagOptions o = parsePreflagOptions(argc, argv);
  printf(
      "sampleMissingLimit     (%f)\nsnpMissingLimit        (%f)\nmafLimit               (%f)\nhweLimit\t        "
      "    (%f)\nisMultipleCorrection   (%d)\n",
      o.sampleMissingLimit, o.snpMissingLimit, o.mafLimit, o.hweLimit, o.multipleCorrection ? 1 : 0);
  fflush(stdout);
  auto hwe = std::make_unique<Hwe>(o.sampleMissingLimit, o.snpMissingLimit, o.mafLimit, o.hweLimit,
                                   o.multipleCorrection, o.outFile.c_str(), o.sampleHintFile.c_str());
  if (o.progress) hwe->progress().setEnabled(true);
  if (resolveThreadCount(o.threads) > 1) hwe->setReadAhead(true);
  hwe->setFlagClass(o.flagClass.c_str());
  if (!hwe->run(inputFile)) {
    printf("Pre-process: Flagging failed!\n");
    fflush(stdout);
    reportError("Flagging (Unknown) error");
  } else {
    char text[64];
    snprintf(text, sizeof text, "total snp=%d", hwe->getTotalCount());
    reportResult("%s", text);
    snprintf(text, sizeof text, "valid snp=%d", hwe->getValidCount());
    reportResult("%s", text);
    reportSuccess("Flagging success");
  }
}

void runPreimpu(int argc, char** argv, const char* inputFile) {
  auto impu = std::make_unique<Impu>();
  PreimpuOptions o = parsePreimpuOptions(argc, argv);
  if (o.progress) impu->progress().setEnabled(true);
  if (hasRestoreSwitch(argc, argv)) {
    // Undoes a run from its position file, e.g. after one that failed.
    if (!impu->restore(inputFile)) {
      printf("Pre-process: Restoring failed!\n");
      fflush(stdout);
      reportError("Restoring (Unknown) error");
    } else {
      reportSuccess("Restoring success");
    }
    return;
  }
  if (!impu->impute(inputFile, o.mode)) {
    printf("Pre-process: Imputation failed!\n");
    fflush(stdout);
    reportError("Imputation (Unknown) error");
  } else {
    reportSuccess("Imputation success");
  }
}

// Returns false when the tagger failed; the process then ends at once.
bool runTag1(int argc, char** argv, const char* inputFile) {
  auto tagger = std::make_unique<SimpleTagger>();
  Tag1Options o = parseTag1Options(argc, argv);
  if (o.progress) tagger->progress().setEnabled(true);
  if (!tagger->run(inputFile, o.r2Threshold)) {
    printf("LD based tagging : Unknown error\n");
    fflush(stdout);
    reportError("LD based tagging (Unknown) error");
    return false;
  }
  reportSuccess("LD based tagging success");
  return true;
}

void reportOutcome(bool ok, const char* success, const char* error) {
  if (ok)
    reportSuccess(success);
  else
    reportError(error);
}

// The analysis commands. Returns -1 when the command line cannot be served,
// 0 after the command ran.
int runAnalysis(int argc, char** argv, const char* command, const char* inputFile) {
  auto task = std::make_unique<AnalysisTask>();
  task->setInputFile(inputFile);
  std::string bad;
  if (isCommand(command, "EM")) {
    EmOptions o;
    if (walkEmOptions(argc, argv, o, bad) != WalkOutcome::kAccepted) {
      reportError("EM: wrong parameter");
      task.reset();
      printUsage();
      return -1;
    }
    applyProcessWide(o.seed);
    g_emIterationProgress = true;
    bool ok = task->runEmTask(o);
    reportOutcome(ok, "Haplotype Estimation(EM) success", "Haplotype Estimation(EM) error");
    return 0;
  }
  if (isCommand(command, "PLEM")) {
    PlemOptions o;
    if (walkPlemOptions(argc, argv, o, bad) != WalkOutcome::kAccepted) {
      reportError("PLEM: wrong parameter");
      task.reset();
      printUsage();
      return -1;
    }
    applyProcessWide(o.em.seed);
    g_emIterationProgress = true;
    bool ok = task->runPlemTask(o);
    reportOutcome(ok, "Haplotype Estimation(PLEM) success", "Haplotype Estimation(PLEM) error");
    return 0;
  }
  if (isCommand(command, "PWLD")) {
    PairwiseLDOptions o;
    WalkOutcome w = walkPwldOptions(argc, argv, o, bad);
    if (w == WalkOutcome::kDeprecatedBlocking) {
      printf("Aborted: LDBlocking method 1(Zhu's) is deprecated\n");
      fflush(stdout);
      reportError("LD Blocking (Zhu) deprecated.");
      exit(-1);
    }
    if (w == WalkOutcome::kRejected) {
      printf("invalid argument :%s\n", bad.c_str());
      task.reset();
      printUsage();
      return -1;
    }
    applyProcessWide(o);
    const PairwiseLDStatus status = task->runLdTask(o);
    if (status == PairwiseLDStatus::kAborted) {
      fflush(stdout);
      exit(-1);
    }
    reportOutcome(status == PairwiseLDStatus::kDone, "Pairwise LD Analysis success", "Pairwise LD Analysis error");
    return 0;
  }
  reportError("Wrong parameter");
  task.reset();
  printUsage();
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string inputFile;
  auto timer = std::make_unique<RunTimer>();

  if (argc - 1 < 2) {
    if (argc - 1 == 1 && isCommand(argv[1], "TEST")) {
      runSelfTest();
      return 0;
    }
    printUsage();
    return -1;
  }

  timer->start("");
  scanProcessSwitches(argc, argv);
  inputFile = argv[2];
  const char* command = argv[1];

  if (isCommand(command, "PREFLAG")) {
    runPreflag(argc, argv, inputFile.c_str());
  } else if (isCommand(command, "PREIMPU")) {
    runPreimpu(argc, argv, inputFile.c_str());
  } else if (isCommand(command, "TAG1")) {
    if (!runTag1(argc, argv, inputFile.c_str())) {
      fflush(stdout);
      exit(-1);
    }
  } else if (isCommand(command, "TAG2")) {
    reportError("TAG2: Not implemented");
  } else {
    int status = runAnalysis(argc, argv, command, inputFile.c_str());
    if (status != 0) return status;
  }

  timer->stop();
  char runtime[32];
  snprintf(runtime, sizeof runtime, "%d", timer->endTime() - timer->startTime());
  reportRuntime(runtime);
  return 0;
}
