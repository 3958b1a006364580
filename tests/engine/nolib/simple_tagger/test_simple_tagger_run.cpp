#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "simple_tagger/SimpleTagger.h"
#include "support/TestFiles.h"

namespace {

using TempDir = testsupport::ScratchDir;
using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;


std::string header(const char* type) {
  return std::string("!Chromosome_No:10\n!Region_Limit:500.0Kb\n!Sample_Type:") + type +
         "\nNo\tMarker1\tMarker2\tDistance\t|D'|\tr2\tLOD\tLOD_p_value\tChi_square\tp_value\tFour_gamete\n";
}

std::string pair(int no, int i, int j, const char* r2) {
  return std::to_string(no) + "\t" + std::to_string(i) + "\t" + std::to_string(j) + "\t1000\t0.90000\t" + r2 +
         "\t1.00000\t0.50000\t1.00000\t0.50000\tN\n";
}

std::string tagHeader(const char* type, const char* threshold = "0.800") {
  return std::string("!R2_Threshold:") + threshold + "\n!Method:Simple\n!Distance_Limit:500.0Kb\n!Sample_Type:" +
         type + "\nNo\tChromosomeNo\tTagger\tCaptured\tR_square\n";
}

TEST(SimpleTaggerRun, OneSectionPerSampleType) {
  TempDir dir;
  writeFile(dir.file("x.pwld"), header("case") + pair(1, 0, 1, "0.90000") + pair(2, 1, 2, "0.85000") +
                                    pair(3, 0, 2, "0.50000") + pair(4, 3, 4, "0.80000") + header("M") +
                                    pair(1, 5, 6, "-") + pair(2, 6, 7, "0.99999"));
  SimpleTagger t;
  ASSERT_TRUE(t.run(dir.file("x.pwld").c_str(), 0.8));
  EXPECT_EQ(readFile(dir.file("x.pwld.tag")),
            tagHeader("case") + "1\t10\t1\t0,2\t0.900,0.850\n2\t10\t3\tsingleton\n3\t10\t4\tsingleton\n" +
                tagHeader("M") + "1\t10\t6\t7\t1.000\n2\t10\t5\tsingleton\n");
}

TEST(SimpleTaggerRun, HeaderOnlySectionAndLastLineWithoutNewline) {
  TempDir dir;
  std::string text = header("a") + header("b") + pair(1, 0, 1, "0.9");
  text.pop_back();
  writeFile(dir.file("x.pwld"), text);
  SimpleTagger t;
  ASSERT_TRUE(t.run(dir.file("x.pwld").c_str(), 0.5));
  EXPECT_EQ(readFile(dir.file("x.pwld.tag")),
            tagHeader("a", "0.500") + tagHeader("b", "0.500") + "1\t10\t0\t1\t0.900\n");
}

TEST(SimpleTaggerRun, MalformedPairLineWritesTheSectionSoFarAndFails) {
  TempDir dir;
  writeFile(dir.file("x.pwld"), header("a") + pair(1, 0, 1, "0.9") + "2\t1\tx\t1000\t0.5\t0.9\n" +
                                    pair(3, 2, 3, "0.9") + header("b") + pair(1, 0, 1, "0.9"));
  SimpleTagger t;
  EXPECT_FALSE(t.run(dir.file("x.pwld").c_str(), 0.8));
  EXPECT_EQ(readFile(dir.file("x.pwld.tag")), tagHeader("a") + "1\t10\t0\t1\t0.900\n");
}

TEST(SimpleTaggerRun, ShortPairLineAndBadNumbersFail) {
  for (const std::string& bad : {std::string("1\t0\t1\t1000\t0.9\n"), std::string("1\t0\t1\t1000\t0.9\t0.9x\t\n"),
                                 std::string("1\t-1\t1\t1000\t0.9\t0.9\n"), std::string("\n"),
                                 std::string("1\t0\t99999999999\t1000\t0.9\t0.9\n")}) {
    TempDir dir;
    writeFile(dir.file("x.pwld"), header("a") + bad + pair(2, 0, 1, "0.9"));
    SimpleTagger t;
    EXPECT_FALSE(t.run(dir.file("x.pwld").c_str(), 0.8)) << bad;
    EXPECT_EQ(readFile(dir.file("x.pwld.tag")), tagHeader("a")) << bad;
  }
}

TEST(SimpleTaggerRun, MissingHeadersFail) {
  for (const std::string& text :
       {std::string(""), std::string("!Chromosome_No 10\n"), std::string("!Chromosome_No:10\n!Region_Limit:1Kb\n"),
        std::string("!Chromosome_No:10\n!Region_Limit:1Kb\n!Sample_Type:a\n")}) {
    TempDir dir;
    writeFile(dir.file("x.pwld"), text);
    SimpleTagger t;
    EXPECT_FALSE(t.run(dir.file("x.pwld").c_str(), 0.8)) << text;
    EXPECT_EQ(readFile(dir.file("x.pwld.tag")), "") << text;
  }
  // A malformed header of a later section fails after the earlier ones.
  TempDir dir;
  writeFile(dir.file("x.pwld"), header("a") + pair(1, 0, 1, "0.9") + "!Chromosome_No:10\n!oops\n");
  SimpleTagger t;
  EXPECT_FALSE(t.run(dir.file("x.pwld").c_str(), 0.8));
  EXPECT_EQ(readFile(dir.file("x.pwld.tag")), tagHeader("a") + "1\t10\t0\t1\t0.900\n");
}

TEST(SimpleTaggerRun, MissingInputFails) {
  TempDir dir;
  SimpleTagger t;
  EXPECT_FALSE(t.run(dir.file("none.pwld").c_str(), 0.8));
}

TEST(SimpleTaggerRun, LongLinesAndCarriageReturns) {
  TempDir dir;
  std::string longType(1000, 't');
  std::string text = header(longType.c_str()) + pair(1, 0, 1, "0.9");
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  writeFile(dir.file("x.pwld"), crlf);
  SimpleTagger t;
  ASSERT_TRUE(t.run(dir.file("x.pwld").c_str(), 0.8));
  EXPECT_EQ(readFile(dir.file("x.pwld.tag")), tagHeader(longType.c_str()) + "1\t10\t0\t1\t0.900\n");
}

}  // namespace
