#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
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

// Reading ahead hands over the same lines with the same offsets, numbers
// and ends, also for lines longer than the room kept for an unfinished line
// (64 KiB) or than a block (1 MiB), and after a seek back or forward, a
// switch in mid-file, and the end of the file.
TEST(LineReader, ReadingAheadGivesTheSameLines) {
  struct Seen {
    std::string text;
    long long start, position, number;
    bool newline;
    bool operator==(const Seen&) const = default;
  };
  auto readAll = [](LineReader& r, std::vector<Seen>& out, size_t most) {
    std::string_view line;
    while (out.size() < most && r.next(line))
      out.push_back(Seen{std::string(line), r.lineStart(), r.position(), r.lineNumber(), r.lastHadNewline()});
  };
  std::mt19937 rng(3);
  const size_t lengths[] = {0, 1, 3, 4000, 65535, 65536, 65537, 300000, 1048576, 2500000};
  for (int file = 0; file < 12; ++file) {
    std::string text;
    const int lines = 5 + static_cast<int>(rng() % 60);
    for (int i = 0; i < lines; ++i) {
      text += std::string(rng() % 3 ? rng() % 5000 : lengths[rng() % 10], static_cast<char>('a' + i % 26));
      text += rng() % 5 ? "\n" : "\r\n";
    }
    if (file % 3 == 0) text += "last";
    if (file % 3 == 1) text += "\n\r\n\n";
    const std::string p = writeFile("ahead", text);
    std::vector<Seen> plain, ahead;
    LineReader r;
    ASSERT_TRUE(r.open(p.c_str()));
    readAll(r, plain, SIZE_MAX);
    ASSERT_FALSE(r.failed());
    LineReader a;
    a.setReadAhead(true);
    ASSERT_TRUE(a.open(p.c_str()));
    // Half-way, reading ahead is switched off and on again.
    readAll(a, ahead, plain.size() / 2);
    a.setReadAhead(false);
    readAll(a, ahead, plain.size() * 3 / 4);
    a.setReadAhead(true);
    readAll(a, ahead, SIZE_MAX);
    EXPECT_FALSE(a.failed());
    ASSERT_EQ(ahead.size(), plain.size());
    for (size_t i = 0; i < plain.size(); ++i) ASSERT_TRUE(ahead[i] == plain[i]) << "file " << file << " line " << i;
    // A seek to any line start goes on from there.
    const Seen& from = plain[rng() % plain.size()];
    ASSERT_TRUE(a.seek(from.start, from.number - 1));
    std::vector<Seen> again;
    readAll(a, again, SIZE_MAX);
    ASSERT_FALSE(again.empty());
    EXPECT_TRUE(again.front() == from);
    EXPECT_TRUE(again.back() == plain.back());
  }
}

}  // namespace
