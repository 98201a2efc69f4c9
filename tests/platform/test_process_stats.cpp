// Child processes and what a process costs, on real programs: the shell, sleep, and this test.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/os/process_stats.h"
#include "platform/os/sync.h"

namespace {

const char* const SHELL = "/bin/sh";

TEST(ChildProcess, ExitStatusesAreTheChildsOwnOrTheSignals) {
  const struct {
    const char* script;
    int status;
  } cases[] = {{"exit 0", 0}, {"exit 3", 3}, {"kill -TERM $$", 128 + 15}, {"kill -KILL $$", 128 + 9}};
  for (const auto& c : cases) {
    CChildProcess child;
    ASSERT_TRUE(child.Start(SHELL, {"-c", c.script})) << c.script;
    // Ended but not yet reaped already counts as ended: it has no figures.
    ProcessUsage usage;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (GetProcessUsage(child.Pid(), usage) && std::chrono::steady_clock::now() < deadline) {
      Sleep(5);
    }
    EXPECT_FALSE(GetProcessUsage(child.Pid(), usage)) << c.script;
    int status = -1;
    ASSERT_TRUE(child.Wait(10000, status)) << c.script;
    EXPECT_EQ(status, c.status) << c.script;
    EXPECT_FALSE(child.IsRunning());
    EXPECT_FALSE(child.Wait(0, status)) << "reaped once only";
  }
}

TEST(ChildProcess, OutputGoesToItsFileOrTheStartFails) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("quorin-child-" + std::to_string(GetOwnProcessId()));
  std::filesystem::create_directories(folder);
  const std::string out = (folder / "out.txt").string();
  auto run = [&](const char* script) {
    CChildProcess child;
    child.SetOutputFile(out);
    EXPECT_TRUE(child.Start(SHELL, {"-c", script})) << script;
    int status = -1;
    EXPECT_TRUE(child.Wait(30000, status)) << script;
    std::ifstream in(out);
    std::ostringstream text;
    text << in.rdbuf();
    return std::to_string(status) + ":" + text.str();
  };
  // Standard output and error both, in their order; the file is emptied for each child.
  EXPECT_EQ(run("echo to-out; echo to-err >&2; echo more; exit 4"), "4:to-out\nto-err\nmore\n");
  EXPECT_EQ(run("echo again"), "0:again\n");

  CChildProcess nowhere;
  nowhere.SetOutputFile((folder / "no-such-folder" / "out.txt").string());
  EXPECT_FALSE(nowhere.Start(SHELL, {"-c", "exit 0"})) << "an output that cannot be made is no start";
  std::filesystem::remove_all(folder);
}

TEST(ChildProcess, ATimedWaitLeavesARunningChildAndKillReapsIt) {
  CChildProcess child;
  ASSERT_TRUE(child.Start("/bin/sleep", {"30"}));
  EXPECT_FALSE(child.Start("/bin/sleep", {"30"})) << "one child per object";
  int status = -1;
  EXPECT_FALSE(child.Wait(50, status));
  EXPECT_TRUE(child.IsRunning());
  const int pid = child.Pid();
  ProcessUsage usage;
  EXPECT_TRUE(GetProcessUsage(pid, usage));
  child.Kill();
  EXPECT_FALSE(child.IsRunning());
  EXPECT_FALSE(GetProcessUsage(pid, usage)) << "a reaped child has no figures";
}

TEST(ProcessUsage, CpuTimeOfABusyChildAndSizesOfARunningOne) {
  CChildProcess child;
  // Busy for a while, then asleep so that it is still there to be read.
  ASSERT_TRUE(child.Start(SHELL, {"-c", "i=0; while [ $i -lt 30000 ]; do i=$((i+1)); done; exec sleep 30"}));
  ProcessUsage usage;
  std::uint64_t cpu = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    ASSERT_TRUE(GetProcessUsage(child.Pid(), usage));
    if (usage.nCpuMicroseconds == cpu && cpu > 0) break;  // the loop is over
    cpu = usage.nCpuMicroseconds;
    Sleep(100);
  }
  EXPECT_GT(usage.nCpuMicroseconds, 0u);
  EXPECT_GT(usage.nRssKiB, 0u);
  EXPECT_GE(usage.nPeakRssKiB, usage.nRssKiB);
}

// What a child cost over its life is known once it is reaped, by Wait or by Kill; the figures
// are the child's own (a busy shell costs more than a sleep) and go with the next start.
TEST(ProcessUsage, EndUsageOfAReapedChild) {
  CChildProcess busy;
  EXPECT_EQ(busy.EndUsage().nCpuMicroseconds, 0u);
  ASSERT_TRUE(busy.Start(SHELL, {"-c", "i=0; while [ $i -lt 100000 ]; do i=$((i+1)); done"}));
  int status = -1;
  ASSERT_TRUE(busy.Wait(60000, status));
  EXPECT_EQ(status, 0);
  const std::uint64_t busyCpu = busy.EndUsage().nCpuMicroseconds;
  EXPECT_GT(busyCpu, 10000u) << "a shell counting to 100000 takes well over 10 ms";
  EXPECT_GT(busy.EndUsage().nPeakRssKiB, 0u);

  ASSERT_TRUE(busy.Start("/bin/sleep", {"30"}));
  EXPECT_EQ(busy.EndUsage().nCpuMicroseconds, 0u) << "a new child has no end yet";
  Sleep(100);
  busy.Kill();
  EXPECT_LT(busy.EndUsage().nCpuMicroseconds, busyCpu);
  EXPECT_GT(busy.EndUsage().nPeakRssKiB, 0u) << "a killed child is measured too";
}

TEST(ProcessUsage, OwnPeakFollowsMemoryTouchedAndFreed) {
  ProcessUsage before;
  ASSERT_TRUE(GetOwnUsage(before));
  ProcessUsage viaPid;
  ASSERT_TRUE(GetProcessUsage(GetOwnProcessId(), viaPid));
  EXPECT_GT(viaPid.nRssKiB, 0u);

  constexpr std::size_t kBytes = 48u << 20;
  ProcessUsage touched;
  {
    // Mapped and unmapped directly: an allocator (or a sanitizer's quarantine) may keep freed
    // memory resident.
    void* mapped = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    char* block = static_cast<char*>(mapped);
    std::memset(block, 0x5A, kBytes);
    ASSERT_TRUE(GetOwnUsage(touched));
    EXPECT_EQ(block[kBytes - 1], 0x5A);
    munmap(mapped, kBytes);
  }
  ProcessUsage after;
  ASSERT_TRUE(GetOwnUsage(after));
  const std::uint64_t kKiB = kBytes / 1024;
  EXPECT_GE(touched.nRssKiB, before.nRssKiB + kKiB * 9 / 10);
  EXPECT_GE(touched.nPeakRssKiB, before.nRssKiB + kKiB * 9 / 10);
  // Freed memory leaves the resident size, not the peak (the kernel's counts are approximate
  // by a few pages, so the peak is compared with what was touched).
  EXPECT_LT(after.nRssKiB, touched.nRssKiB - kKiB / 2);
  EXPECT_GE(after.nPeakRssKiB, before.nRssKiB + kKiB * 9 / 10);
  EXPECT_GE(after.nCpuMicroseconds, before.nCpuMicroseconds);
}

}  // namespace
