// Message windows, posting across threads and the message tables.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/ui/window.h"

namespace {

constexpr UINT WM_TEST_DATA = WM_USER + 1;
constexpr UINT WM_TEST_ECHO = WM_USER + 2;

class CReceiver : public CWnd {
 public:
  std::vector<WPARAM> m_received;
  std::vector<std::thread::id> m_threads;
  LRESULT OnData(WPARAM wParam, LPARAM) {
    m_received.push_back(wParam);
    m_threads.push_back(std::this_thread::get_id());
    return 0;
  }
  // Posts itself again every time: a pump must still come back.
  LRESULT OnEcho(WPARAM, LPARAM) { return PostMessage(WM_TEST_ECHO); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReceiver, CWnd)
  ON_MESSAGE(WM_TEST_DATA, OnData)
  ON_MESSAGE(WM_TEST_ECHO, OnEcho)
END_MESSAGE_MAP()

TEST(WindowMessages, PostsFromAnotherThreadArriveInOrderOnTheWindowThread) {
  CReceiver receiver;
  ASSERT_NE(CreateMessageWindow(&receiver), nullptr);
  constexpr int kCount = 500;
  std::thread poster([hWnd = receiver.m_hWnd] {
    for (int i = 0; i < kCount; ++i) PostMessage(hWnd, WM_TEST_DATA, i, 0);
  });
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (receiver.m_received.size() < kCount && std::chrono::steady_clock::now() < limit) {
    WaitForPostedMessage(1000);
    PumpPostedMessages();
  }
  poster.join();
  ASSERT_EQ(receiver.m_received.size(), static_cast<std::size_t>(kCount));
  for (int i = 0; i < kCount; ++i) EXPECT_EQ(receiver.m_received[i], static_cast<WPARAM>(i));
  for (const std::thread::id& id : receiver.m_threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(WindowMessages, DeadHandlesRefusePostsAndAreNeverReused) {
  CReceiver first;
  const HWND hFirst = CreateMessageWindow(&first);
  EXPECT_EQ(CreateMessageWindow(&first), nullptr) << "an object has one window";
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

TEST(WindowMessages, APumpDispatchesOnlyWhatWasWaiting) {
  CReceiver receiver;
  CreateMessageWindow(&receiver);
  receiver.PostMessage(WM_TEST_ECHO);
  EXPECT_EQ(PumpPostedMessages(), 1);
  EXPECT_EQ(PumpPostedMessages(), 1);
  receiver.DestroyWindow();
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

}  // namespace
