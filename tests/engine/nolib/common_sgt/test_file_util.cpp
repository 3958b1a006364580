#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common_sgt/FileIdentity.h"
#include "common_sgt/FileUtil.h"
#include "common_sgt/LineReader.h"

namespace {

std::string tempPath(const std::string& name) { return testing::TempDir() + "fileutil_" + name; }

std::string writeFile(const std::string& name, const std::string& content) {
  std::string p = tempPath(name);
  std::ofstream(p, std::ios::binary) << content;
  return p;
}

FILE* memStream(const std::string& content) {
  FILE* fp = tmpfile();
  fwrite(content.data(), 1, content.size(), fp);
  rewind(fp);
  return fp;
}

TEST(FileIdentity, RecognisesOneFileUnderTwoNames) {
  std::string a = testing::TempDir() + "samefile_a.txt";
  std::string b = testing::TempDir() + "samefile_b.txt";
  FILE* f = fopen(a.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  remove(b.c_str());
  EXPECT_TRUE(sameExistingFile(a.c_str(), a.c_str()));
  EXPECT_FALSE(sameExistingFile(a.c_str(), b.c_str()));
  f = fopen(b.c_str(), "w");
  fclose(f);
  EXPECT_FALSE(sameExistingFile(a.c_str(), b.c_str()));
  EXPECT_EQ(link(a.c_str(), (a + ".link").c_str()), 0);
  EXPECT_TRUE(sameExistingFile(a.c_str(), (a + ".link").c_str()));
  remove((a + ".link").c_str());
  remove(a.c_str());
  remove(b.c_str());
}

TEST(Split, EmptyPiecesVanish) {
  std::vector<std::string> pieces;
  split("a\t\tb\t", pieces, "\t");
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], "a");
  EXPECT_EQ(pieces[1], "b");
  pieces.clear();
  split("\t\t\t", pieces, "\t");
  EXPECT_TRUE(pieces.empty());
  split("x,y;z", pieces, ",;");
  EXPECT_EQ(pieces, (std::vector<std::string>{"x", "y", "z"}));
}

TEST(ReadLine, GrowsByStartingCapacityAndReturnsWholeLine) {
  std::string longLine(1500, 'x');
  FILE* fp = memStream(longLine + "\nnext\n");
  std::string buf;
  int capacity = 512;
  ASSERT_TRUE(readLine(buf, capacity, fp));
  EXPECT_EQ(buf, longLine);
  EXPECT_EQ(capacity, 1536);
  ASSERT_TRUE(readLine(buf, capacity, fp));
  EXPECT_EQ(buf, "next");
  EXPECT_FALSE(readLine(buf, capacity, fp));
  EXPECT_TRUE(buf.empty());
  fclose(fp);
}

TEST(ReadLine, EmptyLineLastLineWithoutNewlineAndCarriageReturn) {
  FILE* fp = memStream("\nwin\r\nlast");
  std::string buf;
  int capacity = 512;
  ASSERT_TRUE(readLine(buf, capacity, fp));
  EXPECT_EQ(buf, "");
  ASSERT_TRUE(readLine(buf, capacity, fp));
  EXPECT_EQ(buf, "win");
  ASSERT_TRUE(readLine(buf, capacity, fp));
  EXPECT_EQ(buf, "last");
  EXPECT_FALSE(readLine(buf, capacity, fp));
  fclose(fp);
}

TEST(ReadWholeLine, ReturnsLinesThenNothing) {
  FILE* fp = memStream(std::string(5000, 'q') + "\nend");
  auto a = readWholeLine(fp);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->size(), 5000u);
  auto b = readWholeLine(fp);
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(*b, "end");
  EXPECT_FALSE(readWholeLine(fp).has_value());
  fclose(fp);
}

TEST(JumpTo, ExactAndPrefix) {
  FILE* fp = memStream("a\n!Sample_Index extra\n!Sample_Index\nafter\n");
  ASSERT_TRUE(jumpTo(fp, "!Sample_Index"));
  std::string buf;
  int cap = 512;
  ASSERT_TRUE(readLine(buf, cap, fp));
  EXPECT_EQ(buf, "after");
  rewind(fp);
  ASSERT_TRUE(jumpTo(fp, "!Sample_Index", true));
  ASSERT_TRUE(readLine(buf, cap, fp));
  EXPECT_EQ(buf, "!Sample_Index");
  rewind(fp);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(jumpTo(fp, ""));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("strlen ( str ) < 1. NULL\tengine/nolib/common_sgt/FileUtil:", 0), 0u) << out;
  EXPECT_TRUE(jumpTo(fp, "no such line"));
  fclose(fp);
}

TEST(FileSize, KeepsPosition) {
  FILE* fp = memStream("0123456789");
  fseek(fp, 3, SEEK_SET);
  EXPECT_EQ(fileSize(fp), 10);
  EXPECT_EQ(ftell(fp), 3);
  fclose(fp);
}

TEST(CountLines, FinalNewlineOptionalAndTrailingEmptyLines) {
  EXPECT_EQ(countLines(writeFile("a", "x\ny").c_str()), 2);
  EXPECT_EQ(countLines(writeFile("b", "x\ny\n").c_str()), 2);
  EXPECT_EQ(countLines(writeFile("c", "").c_str()), 0);
  EXPECT_EQ(countLines(writeFile("d", "x\n\ny\n\n\n").c_str()), 5);
  EXPECT_EQ(countDataLines(writeFile("d", "x\n\ny\n\n\n").c_str()), 3);
  EXPECT_EQ(countDataLines(writeFile("e", "x\r\ny\r\n\r\n").c_str()), 2);
  EXPECT_EQ(countLines(tempPath("does-not-exist").c_str()), -1);
}

TEST(LineReader, OffsetsCarriageReturnsAndTrailingEmptyLines) {
  std::string p = writeFile("lr", "ab\r\n\ncd\nlong" + std::string(3000000, 'z') + "\nlast\n\n\r\n");
  LineReader r;
  ASSERT_TRUE(r.open(p.c_str()));
  std::string_view line;
  ASSERT_TRUE(r.next(line));
  EXPECT_EQ(line, "ab");
  EXPECT_EQ(r.lineStart(), 0);
  ASSERT_TRUE(r.next(line));
  EXPECT_EQ(line, "");  // an empty line among data lines stays a line
  EXPECT_EQ(r.lineStart(), 4);
  ASSERT_TRUE(r.next(line));
  EXPECT_EQ(line, "cd");
  EXPECT_EQ(r.lineStart(), 5);
  ASSERT_TRUE(r.next(line));
  EXPECT_EQ(line.size(), 3000004u);
  EXPECT_EQ(r.lineStart(), 8);
  ASSERT_TRUE(r.next(line));
  EXPECT_EQ(line, "last");
  EXPECT_EQ(r.lineNumber(), 5);
  EXPECT_FALSE(r.next(line));
  EXPECT_FALSE(r.next(line));

  ASSERT_TRUE(r.seek(5, 2));
  ASSERT_TRUE(r.next(line));
  EXPECT_EQ(line, "cd");
  EXPECT_EQ(r.lineNumber(), 3);
}

TEST(LineReader, LastLineWithoutNewline) {
  std::string p = writeFile("lr2", "a\nb");
  LineReader r;
  ASSERT_TRUE(r.open(p.c_str()));
  std::string_view line;
  ASSERT_TRUE(r.next(line));
  EXPECT_TRUE(r.lastHadNewline());
  ASSERT_TRUE(r.next(line));
  EXPECT_EQ(line, "b");
  EXPECT_FALSE(r.lastHadNewline());
  EXPECT_FALSE(r.next(line));
  EXPECT_FALSE(r.open(tempPath("missing").c_str()));
}

}  // namespace
