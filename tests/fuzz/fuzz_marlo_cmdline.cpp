// marlo's command line: every command's option walk over the arguments (one
// per input line), as the program does before it opens anything.
#include "AnalysisTask.h"
#include "CommandLine.h"
#include "FuzzSupport.h"
#include "common_sgt/Settings.h"
#include "ld/ManualBlockList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enterScratch();
  std::vector<std::string> args;
  if (!fuzz::argumentsOf(data, size, "marlo", true, args)) return 0;
  if (args.size() < 3) args.resize(3, "x");
  fuzz::Argv argv(args);
  const int argc = argv.argc();
  scanProcessSwitches(argc, argv.argv());
  g_debugLevel = 0;
  parsePreflagOptions(argc, argv.argv());
  parsePreimpuOptions(argc, argv.argv());
  parseTag1Options(argc, argv.argv());
  std::string bad;
  {
    AnalysisTask task;
    walkEmOptions(argc, argv.argv(), task, bad);
  }
  {
    AnalysisTask task;
    walkPlemOptions(argc, argv.argv(), task, bad);
  }
  {
    AnalysisTask task;
    if (walkPwldOptions(argc, argv.argv(), task, bad) == WalkOutcome::kAccepted)
      readManualBlocks(task.sgm.m_manualBlockList, 20, "t");
  }
  return 0;
}
