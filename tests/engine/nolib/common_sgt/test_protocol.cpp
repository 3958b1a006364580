#include <gtest/gtest.h>

#include <string>

#include "common_sgt/ProgressSgt.h"
#include "common_sgt/RunTimer.h"
#include "common_sgt/Settings.h"
#include "common_sgt/StatusReport.h"

namespace {

class Protocol : public testing::Test {
 protected:
  void SetUp() override { g_progress = true; }
  void TearDown() override { g_progress = false; }
};

TEST_F(Protocol, StatusLinesArePrecededByAnEmptyLine) {
  testing::internal::CaptureStderr();
  reportValue(2, 0);
  reportTaskList("Sample Type Loop,1;Pairwise LD,100;");
  reportSuccess("Flagging success");
  reportError("TAG2: Not implemented");
  reportRuntime("3");
  reportResult("Marker Size=%d", 12);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n#v=2,0\n\n#tasklist=Sample Type Loop,1;Pairwise LD,100;\n\n#success=Flagging success\n"
            "\n#error=TAG2: Not implemented\n\n#runtime=3\n\n#result=Marker Size=12\n");
}

// Without /PROGRESS nothing is written: the em ambiguous_pair_by_hand and
// driver tag2_progress_off cases hold an empty standard error.

TEST_F(Protocol, ResultTextIsCutSafelyAtTheBufferSize) {
  std::string longText(5000, 'a');
  testing::internal::CaptureStderr();
  reportResult("%s", longText.c_str());
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "\n#result=" + std::string(999, 'a') + "\n");
}

TEST(ProgressSgtTest, CapsValuesAndGrowsAndStoresWeightsWhenDisabled) {
  ProgressSgt p;
  p.addTask("read file", 100);
  p.setWeight(0, 200);
  EXPECT_EQ(p.getWeight(0), 200);  // disabled: stored silently
  p.setWeight(0, 100);
  p.setEnabled(true);
  testing::internal::CaptureStderr();
  p.showValue(0, 150);
  p.showValue(0, -1);
  p.showValue(0, 42);
  p.setCurrent(0);
  p.show(7);
  p.setWeight(0, 50);
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "#v=0,100\n#v=0,100\n#v=0,42\n#v=0,7\n#m=0,50\n");
  EXPECT_EQ(p.getWeight(9), 0);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(p.showValue(5, 1));
  EXPECT_FALSE(p.setWeight(5, 1));
  std::string nulls = testing::internal::GetCapturedStdout();
  EXPECT_NE(nulls.find("NULL\tengine/nolib/common_sgt/ProgressSgt:"), std::string::npos);

  ProgressSgt many;
  for (int i = 0; i < 33; ++i) many.addTask(("t" + std::to_string(i)).c_str(), i);
  EXPECT_EQ(many.taskCount(), 33u);
  EXPECT_EQ(many.capacity(), 64u);
  many.setEnabled(true);
  testing::internal::CaptureStderr();
  many.showTaskList();
  std::string list = testing::internal::GetCapturedStderr();
  EXPECT_EQ(list.rfind("#tasklist=t0,0;t1,1;", 0), 0u);
  EXPECT_NE(list.find("t32,32;\n"), std::string::npos);

  ProgressSgt quiet;
  quiet.addTask("x", 1);
  testing::internal::CaptureStderr();
  quiet.showTaskList();
  quiet.showValue(0, 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(RunTimerTest, StartAndStopLines) {
  RunTimer never;
  EXPECT_EQ(never.stop(), -1.0);
  RunTimer t;
  testing::internal::CaptureStdout();
  t.start("");
  double elapsed = t.stop();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_GE(elapsed, 0.0);
  std::string expected = "\nstart_time\t\t" + std::to_string(t.startTime()) + "\t\nend_time\t\t" +
                         (elapsed == 0.0 ? "0.0" : "1.0") + "\t\n\n";
  EXPECT_EQ(out, expected);
}

}  // namespace
