#include <gtest/gtest.h>

#include "controls/shaded_progress_ctrl.h"

namespace {

struct StepCase {
  COLORREF in;
  UINT amount;
  COLORREF up;
  COLORREF down;
};

TEST(ColorStep, ChannelsMoveOnlyWhileTheyStayInRange) {
  const StepCase cases[] = {
      // The ramp of the worked example, one step at a time.
      {RGB(10, 36, 106), 51, RGB(61, 87, 157), RGB(10, 36, 55)},
      {RGB(61, 87, 157), 51, RGB(112, 138, 208), RGB(10, 36, 106)},
      {RGB(112, 138, 208), 51, RGB(163, 189, 208), RGB(61, 87, 157)},
      {RGB(10, 36, 55), 51, RGB(61, 87, 106), RGB(10, 36, 4)},
      // Edges: a sum of exactly 255 is taken, 256 is not; 51 - 51 reaches 0, 50 stays.
      {RGB(204, 205, 0), 51, RGB(255, 205, 51), RGB(153, 154, 0)},
      {RGB(51, 50, 255), 51, RGB(102, 101, 255), RGB(0, 50, 204)},
      // Only the amount's low byte counts; the result's high byte is clear.
      {RGB(10, 20, 30) | 0xFF000000, 256 + 51, RGB(61, 71, 81), RGB(10, 20, 30)},
      {RGB(1, 2, 3), 0, RGB(1, 2, 3), RGB(1, 2, 3)},
  };
  for (const StepCase& c : cases) {
    EXPECT_EQ(ColorStepUp(c.in, c.amount), c.up) << std::hex << c.in << " + " << c.amount;
    EXPECT_EQ(ColorStepDown(c.in, c.amount), c.down) << std::hex << c.in << " - " << c.amount;
  }
}

}  // namespace
