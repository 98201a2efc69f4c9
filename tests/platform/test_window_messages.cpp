// Message windows, posting across threads, the message tables and timers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/window.h"

namespace {

constexpr UINT WM_TEST_DATA = WM_USER + 1;
constexpr UINT WM_TEST_ECHO = WM_USER + 2;
constexpr UINT WM_TEST_BLOCK = WM_USER + 3;
using Clock = std::chrono::steady_clock;

// Records what reaches it, in order: posts (with their wParam and thread) and timer ticks.
class CReceiver : public CWnd {
 public:
  struct Tick {
    UINT_PTR id;
    LPARAM lParam;
    Clock::time_point at;
  };
  std::vector<WPARAM> m_received;
  std::vector<Tick> m_ticks;
  std::vector<std::string> m_log;  // posts and ticks in the order handled
  LPARAM m_lastLParam = -1;
  const std::thread::id m_thread = std::this_thread::get_id();

  int Ticks(UINT_PTR id) const {
    return static_cast<int>(std::count_if(m_ticks.begin(), m_ticks.end(), [id](const Tick& t) { return t.id == id; }));
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER) m_lastLParam = lParam;
    return CWnd::WindowProc(message, wParam, lParam);
  }
  void OnTimer(UINT_PTR nIDEvent) {
    m_ticks.push_back(Tick{nIDEvent, m_lastLParam, Clock::now()});
    Note("tick");
  }
  LRESULT OnData(WPARAM wParam, LPARAM) {
    m_received.push_back(wParam);
    Note("data");
    return 0;
  }
  // Posts itself again every time: a pump must still come back.
  LRESULT OnEcho(WPARAM, LPARAM) { return PostMessage(WM_TEST_ECHO); }
  LRESULT OnBlock(WPARAM wParam, LPARAM) {
    std::this_thread::sleep_for(std::chrono::milliseconds(wParam));
    m_log.push_back("blocked");
    return 0;
  }
  DECLARE_MESSAGE_MAP()

 private:
  void Note(const char* what) {
    m_log.push_back(what);
    if (std::this_thread::get_id() != m_thread) m_log.push_back("off the window thread");
  }
};

BEGIN_MESSAGE_MAP(CReceiver, CWnd)
  ON_WM_TIMER()
  ON_MESSAGE(WM_TEST_DATA, OnData)
  ON_MESSAGE(WM_TEST_ECHO, OnEcho)
  ON_MESSAGE(WM_TEST_BLOCK, OnBlock)
END_MESSAGE_MAP()

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
  return GetHeadlessBackend().PumpUntil(done, timeoutMs);
}

TEST(WindowMessages, PostsFromAnotherThreadArriveInOrderOnTheWindowThread) {
  CReceiver receiver;
  ASSERT_NE(CreateMessageWindow(&receiver), nullptr);
  constexpr int kCount = 500;
  std::thread poster([hWnd = receiver.m_hWnd] {
    for (int i = 0; i < kCount; ++i) PostMessage(hWnd, WM_TEST_DATA, i, 0);
  });
  PumpUntil([&] { return receiver.m_received.size() >= kCount; }, 20000);
  poster.join();
  ASSERT_EQ(receiver.m_received.size(), static_cast<std::size_t>(kCount));
  for (int i = 0; i < kCount; ++i) EXPECT_EQ(receiver.m_received[i], static_cast<WPARAM>(i));
  EXPECT_EQ(std::count(receiver.m_log.begin(), receiver.m_log.end(), "off the window thread"), 0);
}

// A dead handle refuses posts, drops what was waiting for it and is never handed out again;
// a pump dispatches only what was waiting when it began, so a self-posting handler cannot hold it.
TEST(WindowMessages, DeadHandlesRefusePostsAndAreNeverReused) {
  CReceiver first;
  const HWND hFirst = CreateMessageWindow(&first);
  EXPECT_EQ(CreateMessageWindow(&first), nullptr) << "an object has one window";
  first.PostMessage(WM_TEST_ECHO);
  EXPECT_EQ(PumpPostedMessages(), 1);
  EXPECT_EQ(PumpPostedMessages(), 1);
  // Posted, then the window goes before the pump: dropped, not delivered.
  EXPECT_TRUE(PostMessage(hFirst, WM_TEST_DATA, 1));
  EXPECT_TRUE(first.DestroyWindow());
  EXPECT_EQ(first.m_hWnd, nullptr);
  EXPECT_FALSE(IsWindow(hFirst));
  EXPECT_FALSE(PostMessage(hFirst, WM_TEST_DATA, 2));
  EXPECT_EQ(SendMessage(hFirst, WM_TEST_DATA, 3), 0);
  EXPECT_EQ(PumpPostedMessages(), 0);
  EXPECT_TRUE(first.m_received.empty());
  EXPECT_FALSE(DestroyWindow(hFirst));

  CReceiver second;
  EXPECT_NE(CreateMessageWindow(&second), hFirst);
  HWND hScoped;
  {
    CReceiver scoped;  // the object's end takes its window with it
    hScoped = CreateMessageWindow(&scoped);
    EXPECT_TRUE(PostMessage(hScoped, WM_TEST_DATA, 4));
  }
  EXPECT_FALSE(IsWindow(hScoped));
  EXPECT_EQ(PumpPostedMessages(), 0);
}

class CBaseWnd : public CWnd {
 public:
  std::vector<std::string> m_log;
  LRESULT OnOne(WPARAM, LPARAM) { return Log("base one"); }
  LRESULT OnTwo(WPARAM, LPARAM) { return Log("base two"); }
  void OnButton() { Log("base button"); }
  LRESULT DefWindowProc(UINT message, WPARAM, LPARAM) override {
    return Log("default " + std::to_string(message));
  }
  LRESULT Log(const std::string& text) {
    m_log.push_back(text);
    return static_cast<LRESULT>(text.size());
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
  ON_MESSAGE(WM_USER + 21, OnOne)
  ON_MESSAGE(WM_USER + 22, OnTwo)
  ON_BN_CLICKED(7, OnButton)
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd {
 public:
  LRESULT OnTwoDerived(WPARAM, LPARAM) { return Log("derived two"); }
  void OnSelection() { Log("selection 7"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
  ON_MESSAGE(WM_USER + 22, OnTwoDerived)
  ON_CBN_SELCHANGE(7, OnSelection)
END_MESSAGE_MAP()

TEST(WindowMessages, TablesRouteToTheMostDerivedEntryThenBaseThenDefault) {
  CDerivedWnd wnd;
  CreateMessageWindow(&wnd);
  const std::tuple<UINT, WPARAM, const char*> cases[] = {
      {WM_USER + 21, 0, "base one"},
      {WM_USER + 22, 0, "derived two"},
      {WM_USER + 23, 0, "default 1047"},
      {WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), "base button"},
      {WM_COMMAND, MAKEWPARAM(7, CBN_SELCHANGE), "selection 7"},
      {WM_COMMAND, MAKEWPARAM(9, BN_CLICKED), "default 273"},
  };
  for (const auto& [message, wParam, log] : cases) {
    wnd.m_log.clear();
    const LRESULT result = SendMessage(wnd.m_hWnd, message, wParam, 0);
    EXPECT_EQ(wnd.m_log, std::vector<std::string>{log});
    if (message != WM_COMMAND) {
      EXPECT_EQ(result, static_cast<LRESULT>(std::string(log).size())) << log;
    }
  }
}

// ---- timers -------------------------------------------------------------------------------

class WindowTimers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(CreateMessageWindow(&m_ticker), nullptr); }
  CReceiver m_ticker;
};

// A timer fires every period with its id until killed; setting an id again replaces its timer
// and its record; a destroyed window's timers never fire, not even those already due.
TEST_F(WindowTimers, FireEveryPeriodUntilKilledReplacedOrTheirWindowGoes) {
  const HWND hWnd = m_ticker.m_hWnd;
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(SetTimer(hWnd, 2, 60000), 2u);
  ASSERT_EQ(SetTimer(hWnd, 7, 60000), 7u);
  EXPECT_EQ(SetTimer(hWnd, 7, 10), 7u);
  ASSERT_TRUE(PumpUntil([&] { return m_ticker.Ticks(7) >= 5; }));
  // Each one is due a full period after the one before was handled.
  EXPECT_GE(m_ticker.m_ticks.back().at - start, std::chrono::milliseconds(50));
  for (const CReceiver::Tick& t : m_ticker.m_ticks) {
    EXPECT_EQ(t.id, 7u);
    EXPECT_EQ(t.lParam, 0);
  }
  EXPECT_EQ(std::count(m_ticker.m_log.begin(), m_ticker.m_log.end(), "off the window thread"), 0);
  EXPECT_EQ(GetTimerLateness(hWnd, 2).count, 0u);

  EXPECT_TRUE(m_ticker.KillTimer(7));
  EXPECT_FALSE(m_ticker.KillTimer(7));
  std::size_t ticks = m_ticker.m_ticks.size();
  GetHeadlessBackend().Pump(60);
  EXPECT_EQ(m_ticker.m_ticks.size(), ticks);
  EXPECT_EQ(GetTimerLateness(hWnd, 7).count, ticks) << "the record outlives the timer";
  m_ticker.SetTimer(7, 60000);
  EXPECT_EQ(GetTimerLateness(hWnd, 7).count, 0u);

  m_ticker.SetTimer(2, 10);
  m_ticker.SetTimer(2, 60000);
  GetHeadlessBackend().Pump(60);
  EXPECT_EQ(m_ticker.m_ticks.size(), ticks) << "still the short period";

  ASSERT_NE(SetTimer(hWnd, 1, 10), 0u);
  ASSERT_NE(SetTimer(hWnd, 3, 10), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // both due now
  ASSERT_TRUE(m_ticker.DestroyWindow());
  EXPECT_FALSE(NextTimerDue().has_value());
  GetHeadlessBackend().Pump(40);
  EXPECT_EQ(m_ticker.m_ticks.size(), ticks);
  EXPECT_EQ(SetTimer(hWnd, 4, 10), 0u);
  EXPECT_FALSE(KillTimer(hWnd, 1));
}

TEST_F(WindowTimers, TicksComeAfterWaitingPostsAndAreNotStarvedByThem) {
  ASSERT_NE(m_ticker.SetTimer(1, 10), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  m_ticker.PostMessage(WM_TEST_DATA);
  ASSERT_TRUE(PumpUntil([&] { return m_ticker.Ticks(1) >= 1; }));
  EXPECT_EQ(m_ticker.m_log, (std::vector<std::string>{"data", "tick"}));

  // A handler that posts itself again keeps the queue from ever running dry.
  m_ticker.PostMessage(WM_TEST_ECHO);
  EXPECT_TRUE(PumpUntil([&] { return m_ticker.Ticks(1) >= 4; }));
}

TEST_F(WindowTimers, LatenessShowsAHeldUpWindowThreadOnceWithoutCatchingUp) {
  const HWND hWnd = m_ticker.m_hWnd;
  ASSERT_NE(m_ticker.SetTimer(1, 10), 0u);
  ASSERT_TRUE(PumpUntil([&] { return m_ticker.Ticks(1) >= 2; }));
  m_ticker.PostMessage(WM_TEST_BLOCK, 60);
  ASSERT_TRUE(PumpUntil([&] { return m_ticker.Ticks(1) >= 5; }));

  // The timer fell due at most a period into the 60 ms the thread was held.
  const TimerLateness late = GetTimerLateness(hWnd, 1);
  EXPECT_EQ(late.count, m_ticker.m_ticks.size());
  EXPECT_GE(late.maxMs, 50.0);
  // One late tick, then the next a period later: no burst of the ones that were missed.
  const auto blocked = std::find(m_ticker.m_log.begin(), m_ticker.m_log.end(), "blocked");
  ASSERT_NE(blocked, m_ticker.m_log.end());
  const std::size_t late1 = static_cast<std::size_t>(std::count(m_ticker.m_log.begin(), blocked, "tick"));
  ASSERT_LT(late1 + 1, m_ticker.m_ticks.size());
  EXPECT_GE(m_ticker.m_ticks[late1 + 1].at - m_ticker.m_ticks[late1].at, std::chrono::milliseconds(9));
}

}  // namespace
