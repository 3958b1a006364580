// The PWLD command's own steps around the pair loop that no command run
// shows: the class filter's exact match, the pair store for blocking, and
// the blocking method that is not there.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "common_sgt/Settings.h"
#include "ld/PairwiseLD.h"
#include "test_pair_files.h"

namespace {

using pairtest::genoText;
using pairtest::writeFile;

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Two sample types a and b, three SNPs in perfect linkage.
std::string twoTypes() {
  return genoText({"b", "a", "b", "a"},
                  {{"A/A", "A/A", "G/G", "G/G"}, {"C/C", "C/C", "T/T", "T/T"}, {"A/A", "A/A", "C/C", "C/C"}});
}

bool run(GenoData& data, const std::string& path, const PairwiseLDOptions& o, std::string& out) {
  testing::internal::CaptureStdout();
  bool ok = runPairwiseLD(data, path, o);
  out = testing::internal::GetCapturedStdout();
  return ok;
}

TEST(PairAnalysis, ClassNamesMatchExactly) {
  // "A" is no sample type of a file with "a": nothing is analysed.
  const std::string path = writeFile("class.geno", twoTypes());
  GenoData data;
  PairwiseLDOptions o;
  o.classToAnalyze = "A";
  std::string out;
  EXPECT_FALSE(run(data, path, o, out));
  EXPECT_NE(out.find("skip class [a]\nskip class [b]\nskip class [M]\n"), std::string::npos) << out;
  EXPECT_EQ(readAll(path + ".pwld"), "");
}

TEST(PairAnalysis, BlockingWithAnEmptyManualListWritesNoBlocks) {
  const std::string path = writeFile("manual.geno", twoTypes());
  GenoData data;
  PairwiseLDOptions o;
  o.blocking = true;
  o.blockingMethod = 0;
  o.crossOver = true;
  std::string out;
  EXPECT_TRUE(run(data, path, o, out));
  EXPECT_NE(out.find("LD Blocking Method :Manual\n"), std::string::npos) << out;
  EXPECT_EQ(readAll(path + ".ld.hblk"), "");
  EXPECT_EQ(readAll(path + ".ld.rblk"), "");
  // The rows are there all the same, and the store's size is printed.
  EXPECT_NE(readAll(path + ".pwld").find("3\t1\t2\t1000\t1.00000"), std::string::npos);
  EXPECT_NE(out.find("Allocating pwvs complete, size="), std::string::npos);
  EXPECT_EQ(out.find("Allocating pwvs complete, size=0\n"), std::string::npos) << out;
}

TEST(PairAnalysisDeathTest, BlockingMethodOneEndsTheProcessAfterTheRows) {
  const std::string path = writeFile("method1.geno", twoTypes());
  PairwiseLDOptions o;
  o.blocking = true;
  o.blockingMethod = 1;
  EXPECT_EXIT(
      {
        GenoData data;
        runPairwiseLD(data, path, o);
      },
      testing::ExitedWithCode(255), "");
  // The first section's rows reached the file before the process ended.
  const std::string pwld = readAll(path + ".pwld");
  EXPECT_NE(pwld.find("!Sample_Type:a\n"), std::string::npos);
  EXPECT_NE(pwld.find("3\t1\t2\t1000\t"), std::string::npos);
  EXPECT_EQ(pwld.find("!Sample_Type:b"), std::string::npos);
}

}  // namespace
