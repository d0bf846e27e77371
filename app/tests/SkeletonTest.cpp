// The frame the windows hang in: message boxes answer through the dialog seam.
#include "support/UiTest.h"

#include "basMessages.h"

namespace {

class SkeletonTest : public ui_test::UiTest {};

TEST_F(SkeletonTest, MessageBoxesAnswerThroughTheSeam) {
  answers = {vx::app::vbNo};
  EXPECT_EQ(vx::app::MsgBox("Sure?", 36), vx::app::vbNo);
  EXPECT_EQ(vx::app::MsgBox("Sure?", 36 + 256), vx::app::vbNo);  // default of the second button
  EXPECT_EQ(vx::app::MsgBox("Done."), vx::app::vbOK);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].style, 36);
}

}  // namespace
