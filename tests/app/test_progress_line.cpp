// The terminal's progress line on a clock the test moves: how often it redraws, what it says
// about the rate and the time left, and the wait for the receiver after the last block.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/progress_line.h"

namespace {

JobProgress At(int nPos, std::uint64_t nDone, std::uint64_t nTotal) {
  JobProgress progress;
  progress.nPos = nPos;
  progress.nDone = nDone;
  progress.nTotal = nTotal;
  return progress;
}

class ProgressLine : public ::testing::Test {
 protected:
  std::uint64_t m_nowMs = 5000;
  CProgressLine m_line{[this] { return m_nowMs; }};
};

TEST_F(ProgressLine, RedrawsAtMostTenTimesASecondAndFlushesWhatItHeldBack) {
  const std::uint64_t total = 1000 * 512;
  int drawn = 0;
  std::string last;
  // A block a millisecond for one second: a thousand reports.
  for (std::uint64_t i = 0; i < 1000; ++i, ++m_nowMs) {
    const std::string text = m_line.Update(At(static_cast<int>(i * 90 / 1000), i * 512, total));
    if (!text.empty()) {
      ++drawn;
      last = text;
      EXPECT_EQ(text[0], '\r');
    }
  }
  EXPECT_EQ(drawn, 10);
  EXPECT_NE(last.find(" 81 %  460,800 of 512,000 bytes"), std::string::npos) << last;
  // The last report was held back; it comes out before anything else is printed.
  const std::string held = m_line.Flush();
  EXPECT_NE(held.find(" 89 %  511,488 of 512,000 bytes"), std::string::npos) << held;
  EXPECT_TRUE(m_line.Flush().empty()) << "nothing is held twice";
}

// The rate and the time left once the job has run a while; a job started over (the receiver
// asks for the first block again) starts its rate over.
TEST_F(ProgressLine, SaysTheRateAndTheTimeLeftOfThisRunOfTheJob) {
  EXPECT_EQ(m_line.Update(At(0, 0, 115200)), "\r  0 %  0 of 115,200 bytes");
  m_nowMs += 150;  // too early to tell a rate
  EXPECT_EQ(m_line.Update(At(1, 1536, 115200)), "\r  1 %  1,536 of 115,200 bytes");
  m_nowMs += 850;
  EXPECT_EQ(m_line.Update(At(9, 11520, 115200)),
            "\r  9 %  11,520 of 115,200 bytes  11,520 bytes/s  0:09 left");
  EXPECT_EQ(CProgressLine::Duration(3600 + 5 * 60 + 9), "1:05:09");
  EXPECT_EQ(CProgressLine::Duration(59), "0:59");

  m_nowMs += 1000;
  EXPECT_EQ(m_line.Update(At(0, 0, 115200)).find("bytes/s"), std::string::npos);
  m_nowMs += 2000;
  EXPECT_NE(m_line.Update(At(50, 57600, 115200)).find("28,800 bytes/s  0:02 left"),
            std::string::npos);
}

TEST_F(ProgressLine, TheWaitForTheReceiverAfterTheLastBlockIsNamedUntilTheEnd) {
  m_line.Update(At(0, 0, 65536));
  m_nowMs += 1000;
  const std::string busy = m_line.Update(At(89, 65024, 65536));
  // No rate and no time left are guessed for the receiver's own work.
  const std::string sent = m_line.AllDataSent();
  EXPECT_EQ(sent.substr(0, sent.find_last_not_of(' ') + 1),
            "\r 89 %  all data sent; the receiver is writing its flash");
  // The receiver's progress replies move the bar; the line keeps saying who is at work.
  m_nowMs += 500;
  const std::string reply = m_line.Update(At(95, 65536, 65536));
  EXPECT_EQ(reply, "\r 95 %  all data sent; the receiver is writing its flash");
  // A new job: a shorter line blanks out what the longer one left on the screen.
  m_nowMs += 500;
  const std::string restart = m_line.Update(At(0, 0, 65536));
  EXPECT_EQ(restart.size(), reply.size());
  EXPECT_EQ(restart.substr(0, restart.find_last_not_of(' ') + 1), "\r  0 %  0 of 65,536 bytes");
  m_nowMs += 500;
  EXPECT_EQ(m_line.Update(At(1, 512, 65536)),
            "\r  1 %  512 of 65,536 bytes  1,024 bytes/s  1:04 left");
  EXPECT_NE(busy.find("bytes/s"), std::string::npos) << busy;
}

}  // namespace
