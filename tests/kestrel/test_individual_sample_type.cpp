// Exercises the exported class through the shared library, as marlo uses it.
#include <gtest/gtest.h>

#include "Kestrel.h"

namespace {

const char* const kTypes[] = {"a", "b", "a", "c"};

TEST(IndividualSampleTypeTest, Search) {
  IndividualSampleType t(kTypes, 4);
  EXPECT_EQ(t.search("a", 0), 0);
  EXPECT_EQ(t.search("a", 1), 2);
  EXPECT_EQ(t.search("a", 2), -1);
  EXPECT_EQ(t.search("d", 0), -1);
  IndividualSampleType empty(kTypes, 0);
  EXPECT_EQ(empty.search("a", 0), -1);
}

TEST(IndividualSampleTypeTest, GetKeepsTheLastAnswer) {
  IndividualSampleType t(kTypes, 4);
  EXPECT_STREQ(t.get("M", 3), "c");
  EXPECT_STREQ(t.get("b", 0), "b");
  EXPECT_STREQ(t.get("b", 1), "b");  // only one b: the last answer stays
  IndividualSampleType fresh(kTypes, 4);
  EXPECT_STREQ(fresh.get("d", 0), "?");
  EXPECT_STREQ(fresh.get("a", 9), "?");  // index not below count
  EXPECT_STREQ(fresh.get("M", 9), "?");  // merged type outside the list: no read past it
}

TEST(IndividualSampleTypeTest, CopiesShareTheArray) {
  IndividualSampleType t(kTypes, 4);
  t.get("c", 0);
  IndividualSampleType copy(t);
  EXPECT_STREQ(copy.get("zzz", 0), "c");
  IndividualSampleType assigned(kTypes, 1);
  assigned = t;
  EXPECT_EQ(assigned.search("c", 0), 3);
}

// CKestrel, fnKestrel and nKestrel are stubs nothing calls; check_exports.sh
// makes sure the library still exports them.

}  // namespace
