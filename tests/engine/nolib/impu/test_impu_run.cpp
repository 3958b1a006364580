#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "impu/Impu.h"
#include "support/TestFiles.h"

namespace {

using TempDir = testsupport::ScratchDir;
using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;


const char* kHeader = "id\tchr\tpos\tstr\ts1\ts2\ts3\ts4\ts5\ts6\ts7\ts8\nid\tchr\tpos\tstr\tc\tc\tc\tc\tc\tc\tc\tc\n";

// 39 + 31 header bytes; every SNP line is 43 bytes, genotype j of line k at
// 70 + 43k + 11 + 4j.
std::string sixLines() {
  return std::string(kHeader) +
         "r1\t1\t100\t+\tA/A\tA/G\tN/N\tA/A\tG/G\tA/G\tA/A\tN/N\n"
         "r2\t1\t100\t+\tG/A\tG/A\tN/N\tG/A\tA/G\tA/G\tN/N\tN/N\n"
         "r3\t1\t100\t+\tA/A\tN/N\tA/A\tA/A\tA/A\tA/A\tA/A\tA/A\n"
         "r4\t1\t100\t+\tN/N\tN/N\tN/N\tN/N\tN/N\tN/N\tN/N\tN/N\n"
         "r5\t1\t100\t+\tA/A\tG/G\tA/A\tG/G\tN/N\tN/N\tA/A\tG/G\n"
         "r6\t1\t100\t+\tC/C\tT/T\tC/T\tN/N\tC/C\tT/T\tN/N\tN/N\n";
}

const char* kPositions = "89\n109\n132\n148\n152\n171\n210\n214\n218\n222\n226\n230\n234\n238\n269\n273\n308\n320\n324\n";

std::string replaceAt(std::string text, std::initializer_list<std::pair<size_t, const char*>> edits) {
  for (const auto& [at, g] : edits) text.replace(at, 3, g);
  return text;
}

TEST(ImpuRun, EachModeWritesItsCandidateAtEveryMissingGenotype) {
  struct Case {
    int mode;
    const char* r1;
    const char* r2;
    const char* r3;
    const char* r5;
    const char* r6;
  };
  for (const Case& c : {Case{Impu::MAJOR_HOMO, "A/A", "A/A", "A/A", "G/G", "C/C"},
                        Case{Impu::MINOR_HOMO, "G/G", "A/A", "A/A", "G/G", "C/C"},
                        Case{Impu::MAJOR_HETERO, "A/G", "G/A", "A/A", "G/G", "C/T"}}) {
    TempDir dir;
    std::string in = sixLines();
    writeFile(dir.file("in.geno"), in);
    Impu impu;
    ASSERT_TRUE(impu.impute(dir.file("in.geno").c_str(), c.mode));
    std::string expected = replaceAt(in, {{89, c.r1}, {109, c.r1}, {132, c.r2}, {148, c.r2}, {152, c.r2},
                                          {171, c.r3}, {269, c.r5}, {273, c.r5}, {308, c.r6}, {320, c.r6},
                                          {324, c.r6}});
    EXPECT_EQ(readFile(dir.file("in.geno")), expected) << "mode " << c.mode;
    EXPECT_EQ(readFile(dir.file("in.geno.pos")), kPositions);
  }
}

TEST(ImpuRun, UnknownModeChangesNothing) {
  TempDir dir;
  writeFile(dir.file("in.geno"), sixLines());
  Impu impu;
  EXPECT_TRUE(impu.impute(dir.file("in.geno").c_str(), 7));
  EXPECT_EQ(readFile(dir.file("in.geno")), sixLines());
  EXPECT_EQ(readFile(dir.file("in.geno.pos")), "");
}

TEST(ImpuRun, ReadOnlyInputFailsAndStaysUntouched) {
  TempDir dir;
  writeFile(dir.file("in.geno"), sixLines());
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(dir.file("in.geno").c_str(), 0444), 0);
  bool ok;
  if (geteuid() == 0) {
    // Permission bits do not stop the superuser: run as an ordinary user.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
      Impu impu;
      _exit(impu.impute(dir.file("in.geno").c_str(), Impu::MAJOR_HOMO) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 2);
    ok = WEXITSTATUS(status) == 1;
  } else {
    Impu impu;
    ok = impu.impute(dir.file("in.geno").c_str(), Impu::MAJOR_HOMO);
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(readFile(dir.file("in.geno")), sixLines());
  EXPECT_FALSE(exists(dir.file("in.geno.pos")));
}

TEST(ImpuRun, UnopenablePositionFileFailsBeforeAnyWrite) {
  TempDir dir;
  writeFile(dir.file("in.geno"), sixLines());
  ASSERT_EQ(mkdir(dir.file("in.geno.pos").c_str(), 0755), 0);
  Impu impu;
  EXPECT_FALSE(impu.impute(dir.file("in.geno").c_str(), Impu::MAJOR_HOMO));
  EXPECT_EQ(readFile(dir.file("in.geno")), sixLines());
}

TEST(ImpuRun, PositionFileThatIsTheInputIsRefused) {
  TempDir dir;
  writeFile(dir.file("in.geno"), sixLines());
  // in.geno.pos is a second name of the input: truncating it would destroy
  // the genotypes.
  ASSERT_EQ(link(dir.file("in.geno").c_str(), dir.file("in.geno.pos").c_str()), 0);
  Impu impu;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(impu.impute(dir.file("in.geno").c_str(), Impu::MAJOR_HOMO));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("in.geno.pos: the position file is the input file; refused\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("cannot be opened for writing"), std::string::npos) << out;
  EXPECT_EQ(readFile(dir.file("in.geno")), sixLines());
}

TEST(ImpuRun, MissingOrHeaderlessInputFails) {
  TempDir dir;
  Impu missing;
  EXPECT_FALSE(missing.impute(dir.file("none.geno").c_str(), Impu::MAJOR_HOMO));
  EXPECT_FALSE(exists(dir.file("none.geno.pos")));
  writeFile(dir.file("one.geno"), "id\tchr\tpos\tstr\ts1\n");
  Impu oneLine;
  EXPECT_FALSE(oneLine.impute(dir.file("one.geno").c_str(), Impu::MAJOR_HOMO));
  EXPECT_EQ(readFile(dir.file("one.geno")), "id\tchr\tpos\tstr\ts1\n");
}

TEST(ImpuRun, CarriageReturnsCountInOffsetsAndStay) {
  TempDir dir;
  std::string text = "id\tc\tp\ts\tx\ty\r\nid\tc\tp\ts\ta\ta\r\n"  // 14 + 14 bytes
                     "r1\t1\t1\t+\tA/G\tN/N\r\n"                       // 28..45, N/N at 41
                     "r2\t1\t1\t+\tN/N\tC/C\r\n";                      // 46..63, N/N at 55
  ASSERT_EQ(text.substr(41, 3), "N/N");
  ASSERT_EQ(text.substr(55, 3), "N/N");
  writeFile(dir.file("in.geno"), text);
  Impu impu;
  ASSERT_TRUE(impu.impute(dir.file("in.geno").c_str(), Impu::MAJOR_HOMO));
  // r1: only the heterozygote A/G, so A/A; r2: C/C. The "\r" before the
  // line end is no part of the last genotype.
  EXPECT_EQ(readFile(dir.file("in.geno")), replaceAt(text, {{41, "A/A"}, {55, "C/C"}}));
  EXPECT_EQ(readFile(dir.file("in.geno.pos")), "41\n55\n");
}

TEST(ImpuRun, MalformedLinesAndColumnsAreLeftAlone) {
  TempDir dir;
  std::string text = std::string("id\tc\tp\ts\tx\ty\tz\nid\tc\tp\ts\ta\ta\ta\n") +
                     "r1\t1\t1\n"                          // no genotype part
                     "r2\t1\t1\t+\tA/GG\tN/N\tN/NX\n"
                     "r3\t1\t1\t+\tG/G\t\tN/N\n";          // an empty column is skipped
  size_t r2 = text.find("A/GG") + 5;
  size_t r3 = text.find("G/G\t\t") + 5;
  ASSERT_EQ(text.substr(r2, 4), "N/N\t");
  ASSERT_EQ(text.substr(r3, 4), "N/N\n");
  writeFile(dir.file("in.geno"), text);
  Impu impu;
  ASSERT_TRUE(impu.impute(dir.file("in.geno").c_str(), Impu::MAJOR_HOMO));
  // r2 has no three-character genotype besides N/N: nothing to write, but the
  // offset is listed; N/NX is not a genotype and stays.
  EXPECT_EQ(readFile(dir.file("in.geno")), replaceAt(text, {{r3, "G/G"}}));
  EXPECT_EQ(readFile(dir.file("in.geno.pos")), std::to_string(r2) + "\n" + std::to_string(r3) + "\n");
}

TEST(ImpuRun, LongLinesAndLastLineWithoutNewline) {
  TempDir dir;
  std::string text = "id\tc\tp\ts";
  std::string types = "id\tc\tp\ts";
  std::string snp = "r1\t1\t1\t+";
  const int samples = 5000;
  for (int i = 0; i < samples; ++i) {
    text += "\ts";
    types += "\ta";
    snp += i == samples - 1 ? "\tN/N" : (i % 3 ? "\tT/T" : "\tC/T");
  }
  std::string all = text + "\n" + types + "\n" + snp;  // no final "\n"
  writeFile(dir.file("in.geno"), all);
  Impu impu;
  ASSERT_TRUE(impu.impute(dir.file("in.geno").c_str(), Impu::MAJOR_HETERO));
  std::string expected = all;
  expected.replace(all.size() - 3, 3, "C/T");
  EXPECT_EQ(readFile(dir.file("in.geno")), expected);
  EXPECT_EQ(readFile(dir.file("in.geno.pos")), std::to_string(all.size() - 3) + "\n");
}

}  // namespace
