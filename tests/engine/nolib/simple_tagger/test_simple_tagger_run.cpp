// TAG1 runs on inputs the tag1 e2e cases do not hold: header-only sections,
// a last line without newline, every kind of bad pair or header line, long
// CRLF lines.
#include <gtest/gtest.h>

#include <string>

#include "simple_tagger/SimpleTagger.h"
#include "support/TestFiles.h"

namespace {

using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

std::string header(const std::string& type) {
  return "!Chromosome_No:10\n!Region_Limit:500.0Kb\n!Sample_Type:" + type +
         "\nNo\tMarker1\tMarker2\tDistance\t|D'|\tr2\tLOD\tLOD_p_value\tChi_square\tp_value\tFour_gamete\n";
}

const std::string kPair = "1\t0\t1\t1000\t0.90000\t0.9\t1.00000\t0.50000\t1.00000\t0.50000\tN\n";

std::string tagHeader(const std::string& type, const char* threshold = "0.800") {
  return std::string("!R2_Threshold:") + threshold + "\n!Method:Simple\n!Distance_Limit:500.0Kb\n!Sample_Type:" +
         type + "\nNo\tChromosomeNo\tTagger\tCaptured\tR_square\n";
}

// Runs TAG1 on text; returns whether it succeeded and the .tag file.
bool tag(const std::string& text, std::string& result, double threshold = 0.8) {
  ScratchDir dir;
  writeFile(dir.file("x.pwld"), text);
  SimpleTagger t;
  bool ok = t.run(dir.file("x.pwld").c_str(), threshold);
  result = readFile(dir.file("x.pwld.tag"));
  return ok;
}

TEST(SimpleTaggerRun, HeaderOnlySectionAndLastLineWithoutNewline) {
  std::string text = header("a") + header("b") + kPair, result;
  text.pop_back();
  ASSERT_TRUE(tag(text, result, 0.5));
  EXPECT_EQ(result, tagHeader("a", "0.500") + tagHeader("b", "0.500") + "1\t10\t0\t1\t0.900\n");
}

TEST(SimpleTaggerRun, BadPairLinesFailAfterWritingTheirSection) {
  for (const std::string bad : {"1\t0\t1\t1000\t0.9\n", "1\t0\t1\t1000\t0.9\t0.9x\t\n", "1\t-1\t1\t1000\t0.9\t0.9\n",
                                "\n", "1\t0\t2147483648\t1000\t0.9\t0.9\n"}) {
    std::string result;
    EXPECT_FALSE(tag(header("a") + bad + kPair, result)) << bad;
    EXPECT_EQ(result, tagHeader("a")) << bad;
  }
}

TEST(SimpleTaggerRun, MissingOrMalformedHeadersFail) {
  std::string result;
  for (const std::string text : {"!Chromosome_No 10\n", "!Chromosome_No:10\n!Region_Limit:1Kb\n",
                                 "!Chromosome_No:10\n!Region_Limit:1Kb\n!Sample_Type:a\n"}) {
    EXPECT_FALSE(tag(text, result)) << text;
    EXPECT_EQ(result, "") << text;
  }
  // A malformed header of a later section fails after the earlier ones.
  EXPECT_FALSE(tag(header("a") + kPair + "!Chromosome_No:10\n!oops\n", result));
  EXPECT_EQ(result, tagHeader("a") + "1\t10\t0\t1\t0.900\n");
  ScratchDir dir;
  SimpleTagger t;
  EXPECT_FALSE(t.run(dir.file("none.pwld").c_str(), 0.8));
}

TEST(SimpleTaggerRun, LongLinesAndCarriageReturns) {
  std::string longType(1000, 't'), crlf, result;
  for (char c : header(longType) + kPair) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  ASSERT_TRUE(tag(crlf, result));
  EXPECT_EQ(result, tagHeader(longType) + "1\t10\t0\t1\t0.900\n");
}

}  // namespace
