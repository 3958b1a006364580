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
  Args a({"marlo", "pwld", "data.geno", "/eps0.5", "/ldblk2", "/ANNO250000", "/SKIPANNO", "/CRSOVR", "/UTH0.9",
          "/LTH0.6", "/THF0.1", "/E0.8", "/BST99.9", "/TAG0.2", "/4GMT0.05", "/CLASS:case", "/SEED42", "/DEBUG3",
          "/RANDOM", "/mle"});
  PairwiseLDOptions t;
  std::string bad;
  ASSERT_EQ(walkPwldOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kAccepted);
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

TEST_F(Walks, PwldDefaultsManualListAndRefusals) {
  {
    Args a({"marlo", "PWLD", "d.geno", "/ANNO", "/LDBLKM1-2,6-7", "/EPS"});
    PairwiseLDOptions t;
    std::string bad;
    ASSERT_EQ(walkPwldOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kAccepted);
    EXPECT_TRUE(t.useAnno);
    EXPECT_EQ(t.chrPosThresh, 500000);
    EXPECT_EQ(t.blockingMethod, 0);
    EXPECT_EQ(t.blockSettings.manualList, "1-2,6-7");
    EXPECT_DOUBLE_EQ(t.eps, 1.0);
    EXPECT_EQ(t.blockSettings.bootstrap, 100);
    EXPECT_FALSE(t.exactMle);
  }
  {
    Args a({"marlo", "PWLD", "d.geno", "/LDBLKM"});
    PairwiseLDOptions t;
    std::string bad;
    ASSERT_EQ(walkPwldOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kAccepted);
    EXPECT_TRUE(t.blocking);
    EXPECT_EQ(t.blockSettings.manualList, "");
  }
  {
    Args a({"marlo", "PWLD", "d.geno", "/XYZ"});
    PairwiseLDOptions t;
    std::string bad;
    EXPECT_EQ(walkPwldOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kRejected);
    EXPECT_EQ(bad, "/XYZ");
  }
  {
    // /MLE is a switch: the whole argument or nothing.
    Args a({"marlo", "PWLD", "d.geno", "/MLE1"});
    PairwiseLDOptions t;
    std::string bad;
    EXPECT_EQ(walkPwldOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kRejected);
    EXPECT_EQ(bad, "/MLE1");
  }
  {
    Args a({"marlo", "PWLD", "d.geno", "/LDBLK1", "/XYZ"});
    PairwiseLDOptions t;
    std::string bad;
    EXPECT_EQ(walkPwldOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kDeprecatedBlocking);
  }
  for (const char* eps : {"/EPS0", "/EPS-1", "/EPSabc"}) {
    Args a({"marlo", "PWLD", "d.geno", eps});
    PairwiseLDOptions t;
    std::string bad;
    EXPECT_EQ(walkPwldOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kRejected) << eps;
  }
  {
    // "/E" is a two-character prefix: any later word starting with /E sets E.
    Args a({"marlo", "PWLD", "d.geno", "/Extra"});
    PairwiseLDOptions t;
    std::string bad;
    ASSERT_EQ(walkPwldOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kAccepted);
    EXPECT_DOUBLE_EQ(t.blockSettings.gabriel.e, 0.0);
  }
}

TEST_F(Walks, EmAndPlem) {
  {
    Args a({"marlo", "EM", "d.impu", "/BL5"});
    EmOptions t;
    std::string bad;
    EXPECT_EQ(walkEmOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kRejected);
  }
  {
    Args a({"marlo", "PLEM", "d.impu", "/BL5", "/PLEMEPS0.001", "/MHF0.05", "/RANDOM", "/EPS0.01", "/SEED9"});
    PlemOptions t;
    std::string bad;
    ASSERT_EQ(walkPlemOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kAccepted);
    EXPECT_EQ(t.blockLength, 5);
    EXPECT_DOUBLE_EQ(t.plemEps, 0.001);
    EXPECT_DOUBLE_EQ(t.em.minHaplotypeFreq, 0.05);
    EXPECT_EQ(t.em.randomInit, 1);
    EXPECT_DOUBLE_EQ(t.em.eps, 0.01);
    applyProcessWide(t.em.seed);
    EXPECT_EQ(g_seedValue, 9u);
  }
  {
    Args a({"marlo", "EM", "d.impu", "/EPS"});
    EmOptions t;
    std::string bad;
    ASSERT_EQ(walkEmOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kAccepted);
    EXPECT_DOUBLE_EQ(t.eps, 1.0);
  }
  for (const char* arg : {"/EPS0", "/EPS-0.1", "/RANDOMX", "/PLEMEPS1"}) {
    Args a({"marlo", "EM", "d.impu", arg});
    EmOptions t;
    std::string bad;
    EXPECT_EQ(walkEmOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kRejected) << arg;
  }
  for (const char* arg : {"/BL0", "/BL-3", "/BLx", "/EPS0"}) {
    Args a({"marlo", "PLEM", "d.impu", arg});
    PlemOptions t;
    std::string bad;
    EXPECT_EQ(walkPlemOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kRejected) << arg;
  }
  {
    Args a({"marlo", "PLEM", "d.impu", "/PLEMEPS-1", "/BL"});
    PlemOptions t;
    std::string bad;
    ASSERT_EQ(walkPlemOptions(a.argc(), a.argv(), t, bad), WalkOutcome::kAccepted);
    EXPECT_DOUBLE_EQ(t.plemEps, -1.0);
    EXPECT_EQ(t.blockLength, 10);
  }
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
  Args a({"marlo", "PREIMPU", "d.geno", "/A", "/Bogus"});
  EXPECT_EQ(parsePreimpuOptions(a.argc(), a.argv()).mode, 0);
  Args b({"marlo", "PREIMPU", "d.geno", "/C", "/a"});
  EXPECT_EQ(parsePreimpuOptions(b.argc(), b.argv()).mode, 2);
  Args c({"marlo", "PREIMPU", "d.geno", "/c"});
  EXPECT_EQ(parsePreimpuOptions(c.argc(), c.argv()).mode, 1);

  Args d({"marlo", "TAG1", "d.pwld", "/R"});
  EXPECT_DOUBLE_EQ(parseTag1Options(d.argc(), d.argv()).r2Threshold, 0.8);
  Args e({"marlo", "TAG1", "d.pwld", "/r=0.5", "/progress"});
  Tag1Options t = parseTag1Options(e.argc(), e.argv());
  EXPECT_DOUBLE_EQ(t.r2Threshold, 0.5);
  EXPECT_TRUE(t.progress);
}

}  // namespace

// /THREADS reads like /SEED in all three walks; without it one worker.
TEST(ThreadsOption, ParsedLikeTheSeed) {
  const std::pair<const char*, unsigned> cases[] = {
      {"/THREADS0", 0u},          {"/THREADS1", 1u},      {"/threads8", 8u},
      {"/THREADS99x", 99u},       {"/THREADSx", 0u},      {"/THREADS-4", 0u},
      {"/THREADS99999999999", 4294967295u}, {"/THREADS", 1u},
  };
  for (const auto& [arg, want] : cases) {
    std::string bad;
    Args a({"marlo", "PWLD", "d.geno", arg});
    PairwiseLDOptions p;
    ASSERT_EQ(walkPwldOptions(a.argc(), a.argv(), p, bad), WalkOutcome::kAccepted) << arg;
    EXPECT_EQ(p.threads, want) << arg;
    EmOptions e;
    ASSERT_EQ(walkEmOptions(a.argc(), a.argv(), e, bad), WalkOutcome::kAccepted) << arg;
    EXPECT_EQ(e.threads, want) << arg;
    PlemOptions l;
    ASSERT_EQ(walkPlemOptions(a.argc(), a.argv(), l, bad), WalkOutcome::kAccepted) << arg;
    EXPECT_EQ(l.em.threads, want) << arg;
  }
  EmOptions defaults;
  EXPECT_EQ(defaults.threads, 1u);
  std::string bad;
  Args a({"marlo", "PWLD", "d.geno", "/THREAD2"});
  PairwiseLDOptions p;
  EXPECT_EQ(walkPwldOptions(a.argc(), a.argv(), p, bad), WalkOutcome::kRejected);
  EXPECT_EQ(bad, "/THREAD2");
}
