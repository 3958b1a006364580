// Imputation runs the e2e cases under tests/e2e/cases/preimpu do not cover:
// the modes, CRLF, malformed lines and the read-only input are pinned there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "impu/Impu.h"
#include "support/TestFiles.h"

namespace {

using testsupport::exists;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

const std::string kText = "id\tc\tp\ts\tx\ty\nid\tc\tp\ts\ta\ta\nr1\t1\t1\t+\tA/G\tN/N\n";

bool impute(const std::string& path, int mode = Impu::MAJOR_HOMO) {
  Impu impu;
  return impu.impute(path.c_str(), mode);
}

TEST(ImpuRun, UnknownModeChangesNothing) {
  ScratchDir dir;
  writeFile(dir.file("in.geno"), kText);
  EXPECT_TRUE(impute(dir.file("in.geno"), 7));
  EXPECT_EQ(readFile(dir.file("in.geno")), kText);
  EXPECT_EQ(readFile(dir.file("in.geno.pos")), "");
}

TEST(ImpuRun, PositionFileThatCannotBeOpenedOrIsTheInputFailsBeforeAnyWrite) {
  for (bool isInput : {false, true}) {
    ScratchDir dir;
    writeFile(dir.file("in.geno"), kText);
    // A folder in the way, or a second name of the input: truncating that
    // would destroy the genotypes.
    if (isInput)
      ASSERT_EQ(link(dir.file("in.geno").c_str(), dir.file("in.geno.pos").c_str()), 0);
    else
      ASSERT_EQ(mkdir(dir.file("in.geno.pos").c_str(), 0755), 0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(impute(dir.file("in.geno")));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(readFile(dir.file("in.geno")), kText);
    if (isInput) {
      EXPECT_NE(out.find("in.geno.pos: the position file is the input file; refused\n"), std::string::npos) << out;
      EXPECT_EQ(out.find("cannot be opened for writing"), std::string::npos) << out;
    }
  }
}

TEST(ImpuRun, MissingOrHeaderlessInputFails) {
  ScratchDir dir;
  EXPECT_FALSE(impute(dir.file("none.geno")));
  EXPECT_FALSE(exists(dir.file("none.geno.pos")));
  writeFile(dir.file("one.geno"), "id\tchr\tpos\tstr\ts1\n");
  EXPECT_FALSE(impute(dir.file("one.geno")));
  EXPECT_EQ(readFile(dir.file("one.geno")), "id\tchr\tpos\tstr\ts1\n");
}

TEST(ImpuRun, LongLinesAndLastLineWithoutNewline) {
  ScratchDir dir;
  std::string ids = "id\tc\tp\ts", types = ids, snp = "r1\t1\t1\t+";
  const int samples = 5000;
  for (int i = 0; i < samples; ++i) {
    ids += "\ts";
    types += "\ta";
    snp += i == samples - 1 ? "\tN/N" : (i % 3 ? "\tT/T" : "\tC/T");
  }
  std::string all = ids + "\n" + types + "\n" + snp;  // no final "\n"
  writeFile(dir.file("in.geno"), all);
  ASSERT_TRUE(impute(dir.file("in.geno"), Impu::MAJOR_HETERO));
  EXPECT_EQ(readFile(dir.file("in.geno")), all.substr(0, all.size() - 3) + "C/T");
  EXPECT_EQ(readFile(dir.file("in.geno.pos")), std::to_string(all.size() - 3) + "\n");
}

}  // namespace
