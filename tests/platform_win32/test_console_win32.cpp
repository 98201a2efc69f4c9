// The console services: output as bytes when redirected, and the control events (Ctrl+C, the
// console's close) routed to the program. No console under Wine sends events, so the test
// calls the handler the way the system does: on a thread of its own.
#define QUORIN_NO_LAYER_IMPORT
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cwchar>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/console.h"
#include "platform/os/process.h"
#include "platform/os/win32/console_control.h"
#include "tests/platform_win32/os_test_support.h"
#include "platform/os/win32/win32_sdk.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(ConsoleWin32, RedirectedOutputGetsTheUtf8Bytes) {
  ostest::CTempDir tmp;
  const std::wstring out = tmp.Path(L"out.txt");
  const std::wstring text = L"Progress 10 % \u00e4\u00f6\u00fc \u65e5\u672c\r\n";
  EXPECT_EQ(ostest::RunSelfWithStdout(L"stdout|" + text, out), 0);
  EXPECT_EQ(ostest::ReadBytes(out), "redirected:" + ostest::Utf8(text));
}

class ConsoleControlTest : public ::testing::Test {
 protected:
  ~ConsoleControlTest() override { platform::StopRoutingTerminationSignals(); }

  void Route() {
    platform::RouteTerminationSignals([this](int nStatus) {
      m_nLast = nStatus;
      ++m_nCalls;
    });
  }
  // The handler on a thread of its own, as the system runs it.
  static std::future<int> Deliver(unsigned long type, unsigned nGraceMs) {
    return std::async(std::launch::async,
                      [=] { return platform::HandleConsoleControl(type, nGraceMs); });
  }

  std::atomic<int> m_nLast{0};
  std::atomic<int> m_nCalls{0};
};

TEST_F(ConsoleControlTest, CtrlCAndCtrlBreakCallBackWith130AndKeepTheProcess) {
  for (const unsigned long type : {CTRL_C_EVENT, CTRL_BREAK_EVENT}) {
    Route();  // a second event would end the process
    auto handled = Deliver(type, 3000);
    ASSERT_EQ(handled.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(handled.get(), TRUE);
    EXPECT_EQ(m_nLast.load(), 130);
  }
  EXPECT_EQ(m_nCalls.load(), 2);
}

TEST_F(ConsoleControlTest, ACloseWaitsUntilTheProgramHasStoppedItsJob) {
  Route();
  const auto start = Clock::now();
  auto handled = Deliver(CTRL_CLOSE_EVENT, 1500);
  while (m_nCalls.load() == 0 && Clock::now() - start < std::chrono::seconds(2)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(m_nLast.load(), 143);
  // Returning would end the process: not while the program still closes its file and port.
  EXPECT_EQ(handled.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  platform::StopRoutingTerminationSignals();
  // Then it leaves the program time to end with its own status, up to the grace period.
  ASSERT_EQ(handled.wait_for(std::chrono::seconds(3)), std::future_status::ready);
  EXPECT_EQ(handled.get(), TRUE);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1400));
  EXPECT_EQ(m_nCalls.load(), 1);
}

TEST_F(ConsoleControlTest, ACloseEndsAfterTheGracePeriodWhenTheProgramDoesNotStop) {
  Route();
  const auto start = Clock::now();
  auto handled = Deliver(CTRL_LOGOFF_EVENT, 700);
  ASSERT_EQ(handled.wait_for(std::chrono::seconds(3)), std::future_status::ready);
  EXPECT_EQ(handled.get(), TRUE);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(650));
  EXPECT_EQ(m_nLast.load(), 143);
}

TEST_F(ConsoleControlTest, OnlyOurEventsAreRoutedAndAfterRoutingStopsCtrlCIsIgnored) {
  Route();
  EXPECT_EQ(platform::HandleConsoleControl(99, 1000), FALSE);  // not an event of ours
  EXPECT_EQ(m_nCalls.load(), 0);
  platform::StopRoutingTerminationSignals();
  EXPECT_EQ(platform::HandleConsoleControl(CTRL_C_EVENT, 1000), TRUE);
  EXPECT_EQ(platform::HandleConsoleControl(CTRL_CLOSE_EVENT, 1000), FALSE);
  EXPECT_EQ(platform::HandleConsoleControl(CTRL_SHUTDOWN_EVENT, 1000), FALSE);
  EXPECT_EQ(m_nCalls.load(), 0);
  // Routing again works as the first time.
  Route();
  EXPECT_EQ(platform::HandleConsoleControl(CTRL_BREAK_EVENT, 1000), TRUE);
  EXPECT_EQ(m_nCalls.load(), 1);
}

// Run as a child by the test below (job "events|<first>|<second>|<status kept, or -1>"): the
// main thread sleeps, as a blocked one would, while the events come on threads of their own.
TEST(DISABLED_ConsoleControlChild, TwoEvents) {
  unsigned long first = 0;
  unsigned long second = 0;
  int kept = -1;
  ASSERT_EQ(swscanf(ostest::GetEnv(L"QUORIN_OS_TEST_CHILD").c_str(), L"events|%lu|%lu|%d", &first,
                    &second, &kept),
            3);
  static std::atomic<bool> s_bCalled{false};
  platform::RouteTerminationSignals([](int) { s_bCalled = true; });
  if (kept >= 0) platform::KeepExitStatusOnSignals(kept);
  std::thread([first] { platform::HandleConsoleControl(first, 20000); }).detach();
  for (int i = 0; i < 1000 && !s_bCalled; ++i) ::Sleep(10);
  std::thread([second] {
    platform::HandleConsoleControl(second, 20000);
    platform::ExitProcessNow(99);  // it returned: the process was to end in it
  }).detach();
  ::Sleep(20000);
  platform::ExitProcessNow(98);
}

// A second event ends the process at once, from its handler, with its own status, or the one
// kept for a run that was decided before.
TEST(ConsoleWin32, ASecondEventEndsTheProcessAtOnce) {
  const struct {
    unsigned long first;
    unsigned long second;
    int kept;
    int status;
  } cases[] = {
      {CTRL_C_EVENT, CTRL_C_EVENT, -1, 130},
      {CTRL_CLOSE_EVENT, CTRL_BREAK_EVENT, -1, 130},  // the close's handler is still waiting
      {CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, -1, 143},
      {CTRL_C_EVENT, CTRL_C_EVENT, 0, 0},
  };
  std::vector<std::wstring> jobs;
  std::vector<int> expected;
  for (const auto& c : cases) {
    jobs.push_back(L"events|" + std::to_wstring(c.first) + L"|" + std::to_wstring(c.second) + L"|" +
                   std::to_wstring(c.kept));
    expected.push_back(c.status);
  }
  EXPECT_EQ(ostest::RunSelfTests("DISABLED_ConsoleControlChild.TwoEvents", jobs), expected);
}

}  // namespace
