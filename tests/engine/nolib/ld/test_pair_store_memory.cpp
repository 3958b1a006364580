// The pair store is refused before it is allocated when the pairs blocking
// needs exceed the memory the process may take (a batch job under a limit
// would otherwise be killed when the pages are touched).
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>

#include "common_sgt/AvailableMemory.h"
#include "ld/PairStore.h"

namespace {

TEST(PairStoreMemory, RefusedBeyondTheAvailableMemory) {
  // Far beyond any machine, so that memory freed meanwhile by other
  // processes cannot let it through (it would then really be allocated).
  ASSERT_GT(availableMemoryBytes(), 0);
  const int64_t tooMany = int64_t{1} << 60;
  PairStore store(4);
  testing::internal::CaptureStdout();
  EXPECT_THROW(store.reserve(tooMany), std::bad_alloc);
  const std::string said = testing::internal::GetCapturedStdout();
  EXPECT_NE(said.find("PairStore: " + std::to_string(tooMany) + " pairs need"), std::string::npos) << said;
  EXPECT_NE(said.find("pairs need 26388279066624 MB, more than the"), std::string::npos) << said;

  testing::internal::CaptureStdout();
  EXPECT_NO_THROW(store.reserve(6));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
