// The bare line end on a real pseudo-terminal: every byte value passes both ways unchanged,
// whatever mode the line was left in, and a vanished peer ends a read instead of hanging it.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/os/pty.h"
#include "platform/os/raw_line.h"

namespace {

std::vector<BYTE> AllByteValues() {
  std::vector<BYTE> bytes(256);
  for (int i = 0; i < 256; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<BYTE>(i);
  return bytes;
}

TEST(RawLine, EveryByteValuePassesBothWaysOnALineLeftCooked) {
  CPseudoTerminal pty;
  ASSERT_TRUE(pty.Open());
  // Echo, line editing, CR/LF mapping, XON/XOFF and signals: all must be gone after Open.
  ASSERT_TRUE(pty.SetSlaveCooked());
  CRawLine line;
  ASSERT_TRUE(line.Open(pty.SlavePath()));
  const std::vector<BYTE> bytes = AllByteValues();

  ASSERT_TRUE(pty.Write(bytes.data(), bytes.size()));
  std::vector<BYTE> got(bytes.size());
  ASSERT_TRUE(line.ReadExact(got.data(), got.size()));
  EXPECT_EQ(got, bytes);

  ASSERT_TRUE(line.WriteAll(bytes.data(), bytes.size()));
  std::vector<BYTE> back(bytes.size());
  ASSERT_EQ(pty.ReadExact(back.data(), back.size(), 5000), back.size());
  EXPECT_EQ(back, bytes);
  BYTE extra;
  EXPECT_EQ(pty.Read(&extra, 1, 50), 0) << "nothing echoed or added";
}

TEST(RawLine, AVanishedPeerEndsAReadShortOfItsCount) {
  CPseudoTerminal pty;
  ASSERT_TRUE(pty.Open());
  CRawLine line;
  ASSERT_TRUE(line.Open(pty.SlavePath()));
  const BYTE three[3] = {1, 2, 3};
  ASSERT_TRUE(pty.Write(three, sizeof three));
  std::thread closer([&pty] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.Close();
  });
  BYTE got[8];
  EXPECT_FALSE(line.ReadExact(got, sizeof got));
  closer.join();
}

}  // namespace
