// The UART timing preload makes a pseudo-terminal keep a line's time; the benchmark relies on
// it to show a program that blocks on its line. A probe writes and drains with and without it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "tests/support/pty_peer.h"
#include "tests/support/sim_runner.h"

namespace {

struct Timing {
  long long writeMs = -1;
  long long drainMs = -1;
};

[[maybe_unused]] Timing Probe(CPtyPeer& line, int baud, int bytes, const char* preload) {
  if (preload != nullptr) setenv("LD_PRELOAD", preload, 1);
  CSimRunner probe;
  const bool started =
      probe.Spawn(QUORIN_UART_PROBE_PATH, {line.SlavePath(), std::to_string(baud), std::to_string(bytes)});
  unsetenv("LD_PRELOAD");
  Timing t;
  if (!started) return t;
  // The other end takes everything, as a receiver would.
  while (probe.Poll(5)) line.ReadUntilQuiet(0, 0);
  if (!probe.Wait(10000) || probe.ExitStatus() != 0) return t;
  std::istringstream out(probe.Output());
  std::string word;
  out >> word >> t.writeMs >> word >> t.drainMs;
  return t;
}

TEST(UartTimingPreload, DrainWaitsForTheWireAndWriteForRoomInTheDriver) {
#ifndef QUORIN_UART_TIMING_PATH
  GTEST_SKIP() << "the preload is not built with a sanitizer";
#else
  CPtyPeer line;
  ASSERT_TRUE(line.Open());
  // 960 bytes at 9600 baud are one second on the wire, and fit the driver's 4 KiB.
  const Timing bare = Probe(line, 9600, 960, nullptr);
  ASSERT_GE(bare.drainMs, 0);
  EXPECT_LT(bare.drainMs, 500) << "a pseudo-terminal alone drains at once";
  const Timing slow = Probe(line, 9600, 960, QUORIN_UART_TIMING_PATH);
  ASSERT_GE(slow.drainMs, 0);
  EXPECT_LT(slow.writeMs, 500);
  EXPECT_GE(slow.writeMs + slow.drainMs, 990);
  // 8192 bytes at 115200: the write returns when the rest fits the buffer, 356 ms later.
  const Timing full = Probe(line, 115200, 8192, QUORIN_UART_TIMING_PATH);
  ASSERT_GE(full.writeMs, 0);
  EXPECT_GE(full.writeMs, 340);
  EXPECT_GE(full.writeMs + full.drainMs, 700);
#endif
}

}  // namespace
