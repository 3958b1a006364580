#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CommandLine.h"
#include "common_sgt/Settings.h"

namespace {

// argv built from words; argv[0] is the program name.
struct Args {
  explicit Args(std::vector<std::string> words) : store(std::move(words)) {
    for (auto& s : store) ptrs.push_back(s.data());
  }
  int argc() const { return static_cast<int>(ptrs.size()); }
  char** argv() { return ptrs.data(); }
  std::vector<std::string> store;
  std::vector<char*> ptrs;
};

template <class O>
struct Walked {
  WalkOutcome outcome;
  O options;
  std::string bad;
};

// One walk of "marlo <command> d.geno <words...>".
template <class O>
Walked<O> walk(WalkOutcome (*walker)(int, char**, O&, std::string&), const std::string& command,
               std::vector<std::string> words) {
  words.insert(words.begin(), {"marlo", command, "d.geno"});
  Args a(std::move(words));
  Walked<O> w{};
  w.outcome = walker(a.argc(), a.argv(), w.options, w.bad);
  return w;
}

Walked<PairwiseLDOptions> pwld(std::vector<std::string> w) { return walk(walkPwldOptions, "PWLD", std::move(w)); }
Walked<EmOptions> em(std::vector<std::string> w) { return walk(walkEmOptions, "EM", std::move(w)); }
Walked<PlemOptions> plem(std::vector<std::string> w) { return walk(walkPlemOptions, "PLEM", std::move(w)); }

class Walks : public testing::Test {
 protected:
  void SetUp() override {
    g_progress = false;
    g_debugLevel = 0;
    g_fourGameteThreshold = 0.01;
    g_seedGiven = false;
  }
  void TearDown() override { SetUp(); }
};

TEST_F(Walks, MatchingIsCaseInsensitivePrefixOrExact) {
  EXPECT_TRUE(optionPrefix("/eps0.5", "/EPS"));
  EXPECT_FALSE(optionPrefix("/EP", "/EPS"));
  EXPECT_TRUE(optionExact("/random", "/RANDOM"));
  EXPECT_FALSE(optionExact("/RANDOMX", "/RANDOM"));
  EXPECT_EQ(optionValue("/EPS", "/EPS"), nullptr);
  EXPECT_STREQ(optionValue("/EPS0.1", "/EPS"), "0.1");
}

TEST_F(Walks, DebugLevelIsOneCharacter) {
  EXPECT_EQ(debugLevelOf("/DEBUG2"), 2);
  EXPECT_EQ(debugLevelOf("/DEBUG"), 0);
  EXPECT_EQ(debugLevelOf("/DEBUG12"), 1);
  EXPECT_EQ(debugLevelOf("/debugx"), 0);
  Args a({"marlo", "EM", "x.geno", "/debug3", "/progress", "/DEBUG2"});
  scanProcessSwitches(a.argc(), a.argv());
  EXPECT_TRUE(g_progress);
  EXPECT_EQ(g_debugLevel, 2);  // the last one wins
}

TEST_F(Walks, PwldSelectsEverything) {
  auto w = pwld({"/eps0.5", "/ldblk2", "/ANNO250000", "/SKIPANNO", "/CRSOVR", "/UTH0.9", "/LTH0.6", "/THF0.1", "/E0.8",
                 "/BST99.9", "/TAG0.2", "/4GMT0.05", "/CLASS:case", "/SEED42", "/DEBUG3", "/RANDOM", "/mle"});
  ASSERT_EQ(w.outcome, WalkOutcome::kAccepted);
  const PairwiseLDOptions& t = w.options;
  EXPECT_DOUBLE_EQ(t.eps, 0.5);
  EXPECT_TRUE(t.blocking);
  EXPECT_EQ(t.blockingMethod, 2);
  EXPECT_TRUE(t.useAnno);
  EXPECT_EQ(t.chrPosThresh, 250000);
  EXPECT_TRUE(t.skipByAnno);
  EXPECT_TRUE(t.crossOver);
  EXPECT_DOUBLE_EQ(t.blockSettings.gabriel.uth, 0.9);
  EXPECT_DOUBLE_EQ(t.blockSettings.gabriel.lth, 0.6);
  EXPECT_DOUBLE_EQ(t.blockSettings.gabriel.thf, 0.1);
  EXPECT_DOUBLE_EQ(t.blockSettings.gabriel.e, 0.8);
  EXPECT_EQ(t.blockSettings.bootstrap, 99);
  EXPECT_DOUBLE_EQ(t.blockSettings.tag, 0.2);
  applyProcessWide(t);
  EXPECT_DOUBLE_EQ(g_fourGameteThreshold, 0.05);
  EXPECT_EQ(t.classToAnalyze, "case");
  EXPECT_TRUE(g_seedGiven);
  EXPECT_EQ(g_seedValue, 42u);
  EXPECT_EQ(t.randomInit, 1);
  EXPECT_TRUE(t.exactMle);
}

TEST_F(Walks, PwldDefaultsAndManualList) {
  auto w = pwld({"/ANNO", "/LDBLKM1-2,6-7", "/EPS"});
  ASSERT_EQ(w.outcome, WalkOutcome::kAccepted);
  EXPECT_TRUE(w.options.useAnno);
  EXPECT_EQ(w.options.chrPosThresh, 500000);
  EXPECT_EQ(w.options.blockingMethod, 0);
  EXPECT_EQ(w.options.blockSettings.manualList, "1-2,6-7");
  EXPECT_DOUBLE_EQ(w.options.eps, 1.0);
  EXPECT_EQ(w.options.blockSettings.bootstrap, 100);
  EXPECT_FALSE(w.options.exactMle);
  w = pwld({"/LDBLKM"});
  ASSERT_EQ(w.outcome, WalkOutcome::kAccepted);
  EXPECT_TRUE(w.options.blocking);
  EXPECT_EQ(w.options.blockSettings.manualList, "");
  // "/E" is a two-character prefix: any later word starting with /E sets E.
  w = pwld({"/Extra"});
  ASSERT_EQ(w.outcome, WalkOutcome::kAccepted);
  EXPECT_DOUBLE_EQ(w.options.blockSettings.gabriel.e, 0.0);
}

TEST_F(Walks, PlemValuesAndDefaults) {
  auto w = plem({"/BL5", "/PLEMEPS0.001", "/MHF0.05", "/RANDOM", "/EPS0.01", "/SEED9"});
  ASSERT_EQ(w.outcome, WalkOutcome::kAccepted);
  EXPECT_EQ(w.options.blockLength, 5);
  EXPECT_DOUBLE_EQ(w.options.plemEps, 0.001);
  EXPECT_DOUBLE_EQ(w.options.em.minHaplotypeFreq, 0.05);
  EXPECT_EQ(w.options.em.randomInit, 1);
  EXPECT_DOUBLE_EQ(w.options.em.eps, 0.01);
  applyProcessWide(w.options.em.seed);
  EXPECT_EQ(g_seedValue, 9u);
  // The join threshold takes any number; a bare /BL keeps the default.
  w = plem({"/PLEMEPS-1", "/BL"});
  ASSERT_EQ(w.outcome, WalkOutcome::kAccepted);
  EXPECT_DOUBLE_EQ(w.options.plemEps, -1.0);
  EXPECT_EQ(w.options.blockLength, 10);
  auto e = em({"/EPS"});
  ASSERT_EQ(e.outcome, WalkOutcome::kAccepted);
  EXPECT_DOUBLE_EQ(e.options.eps, 1.0);
}

// Each refusal names the word that stopped the walk.
TEST_F(Walks, Refusals) {
  for (const char* word : {"/XYZ", "/MLE1", "/EPS0", "/EPS-1", "/EPSabc"}) {  // /MLE is a whole-word switch
    auto w = pwld({word});
    EXPECT_EQ(w.outcome, WalkOutcome::kRejected) << word;
    EXPECT_EQ(w.bad, word);
  }
  for (const char* word : {"/BL5", "/EPS0", "/EPS-0.1", "/RANDOMX", "/PLEMEPS1"}) {
    auto w = em({word});
    EXPECT_EQ(w.outcome, WalkOutcome::kRejected) << word;
    EXPECT_EQ(w.bad, word);
  }
  for (const char* word : {"/BL0", "/BL-3", "/BLx", "/EPS0"}) {
    auto w = plem({word});
    EXPECT_EQ(w.outcome, WalkOutcome::kRejected) << word;
    EXPECT_EQ(w.bad, word);
  }
  EXPECT_EQ(pwld({"/LDBLK1", "/XYZ"}).outcome, WalkOutcome::kDeprecatedBlocking);
}

TEST_F(Walks, PreflagEveryOptionIndependently) {
  Args a({"marlo", "PREFLAG", "d.geno", "/SAMPLE0.2", "/SNP0.1", "/MAF0.01", "/HWE0.001", "/MUL",
          "/OUTFILE:out.geno", "/CLASS:1", "/SAMPLE_HINT:hint.txt", "/XYZ", "/PROGRESS"});
  PreflagOptions o = parsePreflagOptions(a.argc(), a.argv());
  EXPECT_DOUBLE_EQ(o.sampleMissingLimit, 0.2);
  EXPECT_DOUBLE_EQ(o.snpMissingLimit, 0.1);
  EXPECT_DOUBLE_EQ(o.mafLimit, 0.01);
  EXPECT_DOUBLE_EQ(o.hweLimit, 0.001);
  EXPECT_TRUE(o.multipleCorrection);
  EXPECT_EQ(o.outFile, "out.geno");
  EXPECT_EQ(o.flagClass, "1");
  EXPECT_EQ(o.sampleHintFile, "hint.txt");
  EXPECT_TRUE(o.progress);

  Args b({"marlo", "PREFLAG", "d.geno", "/SAMPLE_HINT", "/OUTFILE:", "/CLASS:"});
  PreflagOptions p = parsePreflagOptions(b.argc(), b.argv());
  EXPECT_DOUBLE_EQ(p.sampleMissingLimit, 0.0);  // "/SAMPLE" with the value text "_HINT"
  EXPECT_EQ(p.sampleHintFile, "");
  EXPECT_EQ(p.outFile, "");
  EXPECT_EQ(p.flagClass, "M");
  EXPECT_DOUBLE_EQ(p.hweLimit, 0.05);
}

TEST_F(Walks, PreimpuLastMethodWinsAndTag1Threshold) {
  for (auto [words, mode] : {std::pair<std::vector<std::string>, int>{{"/A", "/Bogus"}, 0}, {{"/C", "/a"}, 2}, {{"/c"}, 1}}) {
    words.insert(words.begin(), {"marlo", "PREIMPU", "d.geno"});
    Args a(words);
    EXPECT_EQ(parsePreimpuOptions(a.argc(), a.argv()).mode, mode) << words[3];
  }
  Args d({"marlo", "TAG1", "d.pwld", "/R"});
  EXPECT_DOUBLE_EQ(parseTag1Options(d.argc(), d.argv()).r2Threshold, 0.8);
  Args e({"marlo", "TAG1", "d.pwld", "/r=0.5", "/progress"});
  Tag1Options t = parseTag1Options(e.argc(), e.argv());
  EXPECT_DOUBLE_EQ(t.r2Threshold, 0.5);
  EXPECT_TRUE(t.progress);
}

// /THREADS reads like /SEED in all three walks and in PREFLAG; without it one worker. (A
// misspelt /THREAD2 is refused like any unknown word: driver/threads_option_values.)
TEST(ThreadsOption, ParsedLikeTheSeed) {
  const std::pair<const char*, unsigned> cases[] = {
      {"/THREADS0", 0u},          {"/THREADS1", 1u},      {"/threads8", 8u},
      {"/THREADS99x", 99u},       {"/THREADSx", 0u},      {"/THREADS-4", 0u},
      {"/THREADS99999999999", 4294967295u}, {"/THREADS", 1u},
  };
  for (const auto& [arg, want] : cases) {
    auto p = pwld({arg});
    auto e = em({arg});
    auto l = plem({arg});
    ASSERT_EQ(p.outcome, WalkOutcome::kAccepted) << arg;
    ASSERT_EQ(e.outcome, WalkOutcome::kAccepted) << arg;
    ASSERT_EQ(l.outcome, WalkOutcome::kAccepted) << arg;
    EXPECT_EQ(p.options.threads, want) << arg;
    EXPECT_EQ(e.options.threads, want) << arg;
    EXPECT_EQ(l.options.em.threads, want) << arg;
    Args f({"marlo", "PREFLAG", "d.geno", arg});
    EXPECT_EQ(parsePreflagOptions(f.argc(), f.argv()).threads, want) << arg;
  }
  EXPECT_EQ(EmOptions().threads, 1u);
}

}  // namespace
