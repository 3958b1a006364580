#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "hwe/AffectionVector.h"
#include "hwe/Exception.h"
#include "hwe/FileLoop.h"
#include "hwe/Vector.h"

namespace {

TEST(AffectionVectorTest, NotFoundTextAndGrowth) {
  AffectionVector v;
  EXPECT_STREQ(v.get(0), "I_CANT_FIND_AFFECTION");
  EXPECT_STREQ(v.get(-1), "I_CANT_FIND_AFFECTION");
  for (int i = 0; i < 2049; ++i) v.add(std::to_string(i).c_str());
  EXPECT_EQ(v.count(), 2049);
  EXPECT_EQ(v.capacity(), 4096);
  EXPECT_STREQ(v.get(0), "0");
  EXPECT_STREQ(v.get(2047), "2047");
  EXPECT_STREQ(v.get(2048), "2048");
  EXPECT_STREQ(v.get(2049), "I_CANT_FIND_AFFECTION");
}

TEST(AffectionVectorTest, KeepsDuplicates) {
  AffectionVector v;
  v.add("case");
  v.add("case");
  EXPECT_EQ(v.count(), 2);
  EXPECT_STREQ(v.get(1), "case");
}

TEST(VectorTest, GrowsAndRaisesOutsideTheCount) {
  Vector v;
  for (int i = 0; i < 1000; ++i) {
    unsigned char b = static_cast<unsigned char>(i & 0xFF);
    v.push_back(&b);
  }
  EXPECT_EQ(v.size(), 1000);
  EXPECT_EQ(v.capacity(), 1024);
  EXPECT_EQ(*v.at(999), static_cast<unsigned char>(999 & 0xFF));
  testing::internal::CaptureStdout();
  EXPECT_THROW(v.at(1000), Exception);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), " Exception : IndexOutOfBounds\n");
}

TEST(VectorTest, WiderElements) {
  Vector v;
  v.init(4);
  int x = 0x01020304;
  v.push_back(&x);
  int y = 0;
  memcpy(&y, v.at(0), 4);
  EXPECT_EQ(y, x);
  testing::internal::CaptureStdout();
  v.push_back(nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("NULL\tengine/nolib/hwe/Vector:", 0), 0u) << out;
  EXPECT_EQ(v.size(), 1);
}

struct Lines : FileLoop::Handler {
  std::vector<std::string> seen;
  bool onLine(FILE*, const char* line) override {
    seen.emplace_back(line);
    return true;
  }
};

TEST(FileLoopTest, HandsEveryLineToTheHandler) {
  std::string p = testing::TempDir() + "fileloop.txt";
  std::ofstream(p) << "one\n" << std::string(2000, 'w') << "\n\nlast";
  FileLoop loop(p.c_str());
  Lines h;
  loop.loop(h);
  ASSERT_EQ(h.seen.size(), 4u);
  EXPECT_EQ(h.seen[1].size(), 2000u);
  EXPECT_EQ(h.seen[2], "");
  EXPECT_EQ(h.seen[3], "last");

  FileLoop missing((p + ".none").c_str());
  Lines none;
  testing::internal::CaptureStdout();
  missing.loop(none);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(none.seen.empty());
  EXPECT_EQ(out.rfind("NULL\tengine/nolib/hwe/FileLoop:", 0), 0u) << out;
}

}  // namespace
