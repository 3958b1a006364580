// marlo's command line: every command's option walk over the arguments (one
// per input line), as the program does before it opens anything.
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
    EmOptions em;
    walkEmOptions(argc, argv.argv(), em, bad);
  }
  {
    PlemOptions plem;
    walkPlemOptions(argc, argv.argv(), plem, bad);
  }
  {
    PairwiseLDOptions pwld;
    if (walkPwldOptions(argc, argv.argv(), pwld, bad) == WalkOutcome::kAccepted)
      readManualBlocks(pwld.blockSettings.manualList, 20, "t");
  }
  return 0;
}
