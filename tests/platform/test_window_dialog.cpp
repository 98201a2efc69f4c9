// Dialogs from templates: the ways a modal run ends, subclassed controls and painting.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless_backend.h"
#include "platform/window.h"

namespace {

constexpr int IDD_TEST = 9101;
constexpr int IDC_GO = 10;
constexpr int IDC_LIST = 20;
constexpr int IDC_BAR = 30;
constexpr int IDC_PLAIN = 40;
constexpr int IDC_LABEL = 50;
constexpr UINT WM_TEST_DATA = WM_USER + 1;

void RegisterTestTemplate() {
  auto control = [](ControlKind kind, int id, const char* text, int x, int y, int cx, int cy) {
    return ControlTemplate{kind, id, text, x, y, cx, cy, WS_CHILD | WS_VISIBLE, 0, {}, 0};
  };
  DialogTemplate t{IDD_TEST, "Test dialog", "Tahoma", 8, 200, 100,
                   WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, {}};
  t.controls = {control(ControlKind::PushButton, IDC_GO, "&Go", 5, 5, 50, 14),
                control(ControlKind::ComboBox, IDC_LIST, "", 5, 25, 50, 60),
                control(ControlKind::ProgressBar, IDC_BAR, "", 5, 45, 100, 10),
                control(ControlKind::Static, IDC_PLAIN, "", 5, 60, 100, 10),
                control(ControlKind::Static, IDC_LABEL, "start", 5, 75, 100, 10)};
  t.controls[1].items = {"a", "b", "c"};
  RegisterDialogTemplate(t);
}

// A label that paints itself, the way the program's owner-painted controls are built.
class CSpyLabel : public CWnd {
 public:
  std::vector<std::string> m_log;
  bool m_bPassOn = true;
  LRESULT OnSetText(WPARAM, LPARAM lParam) {
    m_log.push_back(std::string("settext ") + reinterpret_cast<const char*>(lParam));
    if (m_bPassOn) {
      Default();
      Invalidate(TRUE);
    }
    return TRUE;
  }
  LRESULT OnEraseBkgnd(WPARAM, LPARAM) {
    m_log.push_back("erase");
    return TRUE;
  }
  void OnPaint() { m_log.push_back("paint"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSpyLabel, CWnd)
  ON_MESSAGE(WM_SETTEXT, OnSetText)
  ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
  ON_WM_PAINT()
END_MESSAGE_MAP()

class CTestDlg : public CDialog {
 public:
  CTestDlg() : CDialog(IDD_TEST) {}

  CComboBox m_list;
  CProgressCtrl m_bar;
  CSpyLabel m_label;
  int m_nInit = 0;
  int m_nPostNcDestroy = 0;
  int m_nBoundAtInit = -1;
  std::vector<std::string> m_log;
  std::function<void(CTestDlg&)> m_onGo;
  std::function<void(CTestDlg&)> m_onInit;
  std::function<void(CTestDlg&)> m_onData;

  void DoDataExchange() override {
    DDX_Control(this, IDC_LIST, m_list);
    DDX_Control(this, IDC_BAR, m_bar);
    DDX_Control(this, IDC_LABEL, m_label);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    ++m_nInit;
    m_nBoundAtInit = m_list.GetCount();
    if (m_onInit) m_onInit(*this);
    return TRUE;
  }
  void OnGo() {
    m_log.push_back("go");
    if (m_onGo) m_onGo(*this);
  }
  void OnListChanged() { m_log.push_back("selection " + std::to_string(m_list.GetCurSel())); }
  void OnClose() {
    m_log.push_back("close");
    Default();
  }
  LRESULT OnData(WPARAM wParam, LPARAM) {
    m_log.push_back("data " + std::to_string(wParam));
    if (m_onData) m_onData(*this);
    return 0;
  }
  DECLARE_MESSAGE_MAP()

 protected:
  void PostNcDestroy() override { ++m_nPostNcDestroy; }
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
  ON_BN_CLICKED(IDC_GO, OnGo)
  ON_CBN_SELCHANGE(IDC_LIST, OnListChanged)
  ON_WM_CLOSE()
  ON_MESSAGE(WM_TEST_DATA, OnData)
END_MESSAGE_MAP()

// A modal run that fails to end stops the test program with a message instead of hanging.
class CWatchdog {
 public:
  CWatchdog() {
    m_thread = std::thread([this] {
      std::unique_lock<std::mutex> lock(m_mutex);
      if (!m_cond.wait_for(lock, std::chrono::seconds(20), [this] { return m_bDone; })) {
        std::fprintf(stderr, "a modal run did not end\n");
        std::abort();
      }
    });
  }
  ~CWatchdog() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bDone = true;
    }
    m_cond.notify_all();
    m_thread.join();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cond;
  bool m_bDone = false;
  std::thread m_thread;
};

class WindowDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTestTemplate();
    GetHeadlessBackend().Reset();
  }
};

TEST_F(WindowDialog, EveryWayOutEndsTheModalRunAndDestroysTheWindowOnce) {
  struct Case {
    const char* name;
    std::function<void(CTestDlg&)> act;
    INT_PTR result;
    const char* logged;  // what the dialog's table saw, if anything
  };
  const std::vector<Case> cases = {
      {"EndDialog from a handler", [](CTestDlg& d) { d.m_onGo = [](CTestDlg& x) { x.EndDialog(7); };
                                                      CHeadlessBackend::Click(d.m_hWnd, IDC_GO); },
       7, "go"},
      {"Enter", [](CTestDlg& d) { CHeadlessBackend::PressEnter(d.m_hWnd); }, IDOK, nullptr},
      {"Escape", [](CTestDlg& d) { CHeadlessBackend::PressEscape(d.m_hWnd); }, IDCANCEL, nullptr},
      {"close box", [](CTestDlg& d) { CHeadlessBackend::CloseWindow(d.m_hWnd); }, IDCANCEL,
       "close"},
      {"system menu Close",
       [](CTestDlg& d) { CHeadlessBackend::ChooseSystemMenuItem(d.m_hWnd, SC_CLOSE); }, IDCANCEL,
       "close"},
      {"DestroyWindow from a handler",
       [](CTestDlg& d) { d.m_onGo = [](CTestDlg& x) { x.DestroyWindow(); };
                         CHeadlessBackend::Click(d.m_hWnd, IDC_GO); },
       IDCANCEL, "go"},
      {"a post from another thread",
       [](CTestDlg& d) {
         d.m_onData = [](CTestDlg& x) { x.EndDialog(5); };
         std::thread([h = d.m_hWnd] { PostMessage(h, WM_TEST_DATA, 3); }).join();
       },
       5, "data 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTestDlg dlg;
    HWND hDlg = nullptr;
    std::vector<HWND> controls;
    GetHeadlessBackend().PostAction([&] {
      hDlg = dlg.m_hWnd;
      controls = GetChildWindows(hDlg);
      c.act(dlg);
    });
    INT_PTR result;
    {
      CWatchdog watchdog;
      result = dlg.DoModal();
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(dlg.m_nInit, 1);
    EXPECT_EQ(dlg.m_nBoundAtInit, 3) << "controls are bound before initialisation";
    EXPECT_EQ(dlg.m_nPostNcDestroy, 1);
    if (c.logged != nullptr) {
      EXPECT_EQ(dlg.m_log, std::vector<std::string>{c.logged});
    }
    ASSERT_NE(hDlg, nullptr);
    EXPECT_FALSE(IsWindow(hDlg));
    ASSERT_EQ(controls.size(), 5u);
    for (HWND h : controls) EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_list.m_hWnd, nullptr);
  }
}

TEST_F(WindowDialog, InitialisationThatEndsTheDialogRunsNoLoop) {
  for (bool destroy : {false, true}) {
    CTestDlg dlg;
    dlg.m_onInit = [destroy](CTestDlg& d) {
      if (destroy) {
        d.DestroyWindow();
      } else {
        d.EndDialog(IDOK);
      }
    };
    CWatchdog watchdog;
    EXPECT_EQ(dlg.DoModal(), destroy ? IDCANCEL : IDOK);
    EXPECT_EQ(dlg.m_nPostNcDestroy, 1);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
  }
}

TEST_F(WindowDialog, ANestedRunEndsOnItsOwnAndTheMainWindowsEndEndsAll) {
  CTestDlg outer;
  CTestDlg inner;
  std::vector<INT_PTR> innerResults;
  std::function<void(CTestDlg&)> secondGo = [&](CTestDlg&) {
    // The main window goes while a second dialog runs over it: both runs end.
    GetHeadlessBackend().PostAction([&] { outer.DestroyWindow(); });
    innerResults.push_back(inner.DoModal());
  };
  outer.m_onGo = [&](CTestDlg&) {
    GetHeadlessBackend().PostAction([&] { CHeadlessBackend::PressEnter(inner.m_hWnd); });
    innerResults.push_back(inner.DoModal());
    GetHeadlessBackend().PostAction([&] {
      EXPECT_TRUE(IsWindow(outer.m_hWnd)) << "the inner run's end leaves the outer running";
      outer.m_onGo = secondGo;
      CHeadlessBackend::Click(outer.m_hWnd, IDC_GO);
    });
  };
  GetHeadlessBackend().PostAction([&] { CHeadlessBackend::Click(outer.m_hWnd, IDC_GO); });
  CWatchdog watchdog;
  EXPECT_EQ(outer.DoModal(), IDCANCEL);
  EXPECT_EQ(innerResults, (std::vector<INT_PTR>{IDOK, IDCANCEL}));
  EXPECT_EQ(outer.m_nPostNcDestroy, 1);
  EXPECT_EQ(inner.m_nPostNcDestroy, 2);
}

TEST_F(WindowDialog, ASubclassedControlSeesItsMessagesFirstAndPaintsWhenInvalidated) {
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  const WindowState* label = GetWindowState(dlg.m_label.m_hWnd);
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(label->ownerPainted);
  EXPECT_FALSE(GetWindowState(dlg.m_list.m_hWnd)->ownerPainted);
  EXPECT_EQ(CWnd::FromHandle(GetDlgItem(dlg.m_hWnd, IDC_LABEL)), &dlg.m_label);

  // Shown: the desktop paints it when the queue is empty.
  GetHeadlessBackend().Pump(0);
  EXPECT_EQ(dlg.m_label.m_log, (std::vector<std::string>{"erase", "paint"}));

  struct Step {
    const char* name;
    std::function<void()> act;
    std::vector<std::string> log;
  };
  const std::vector<Step> steps = {
      {"text passed on", [&] { dlg.m_label.SetWindowText("x"); }, {"settext x"}},
      {"update paints", [&] { dlg.m_label.UpdateWindow(); }, {"erase", "paint"}},
      {"nothing pending", [&] { dlg.m_label.UpdateWindow(); }, {}},
      {"no erase asked", [&] { dlg.m_label.RedrawWindow(RDW_INVALIDATE | RDW_UPDATENOW); },
       {"paint"}},
      {"hidden is not painted",
       [&] {
         dlg.m_label.ShowWindow(SW_HIDE);
         dlg.m_label.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
       },
       {}},
      {"shown again", [&] { dlg.m_label.ShowWindow(SW_SHOW); dlg.m_label.UpdateWindow(); },
       {"erase", "paint"}},
      {"the dialog's invalidation reaches it",
       [&] {
         dlg.Invalidate(TRUE);
         dlg.UpdateWindow();
       },
       {"erase", "paint"}},
      {"text swallowed",
       [&] {
         dlg.m_label.m_bPassOn = false;
         dlg.m_label.SetWindowText("y");
       },
       {"settext y"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    dlg.m_label.m_log.clear();
    step.act();
    EXPECT_EQ(dlg.m_label.m_log, step.log);
  }
  EXPECT_EQ(dlg.m_label.GetWindowText(), "x");
  EXPECT_EQ(GetHeadlessBackend().Texts(HeadlessEvent::Text, IDC_LABEL),
            std::vector<std::string>{"x"});

  // An object that goes before its dialog leaves the control to its own handling.
  {
    CSpyLabel temporary;
    ASSERT_TRUE(temporary.SubclassDlgItem(IDC_PLAIN, &dlg));
    EXPECT_FALSE(temporary.SubclassDlgItem(IDC_LABEL, &dlg)) << "one window per object";
  }
  CWnd* plain = dlg.GetDlgItem(IDC_PLAIN);
  ASSERT_NE(plain, nullptr);
  plain->SetWindowText("after");
  EXPECT_EQ(plain->GetWindowText(), "after");
  EXPECT_FALSE(GetWindowState(plain->m_hWnd)->ownerPainted);

  EXPECT_TRUE(dlg.DestroyWindow());
  EXPECT_EQ(dlg.m_nPostNcDestroy, 1);
  EXPECT_FALSE(dlg.DestroyWindow());
  EXPECT_EQ(dlg.m_nPostNcDestroy, 1);
}

TEST_F(WindowDialog, ADialogObjectGoneTakesItsWindowWithoutCallingBack) {
  HWND hDlg;
  HWND hLabel;
  {
    CTestDlg dlg;
    ASSERT_TRUE(dlg.Create());
    hDlg = dlg.m_hWnd;
    hLabel = dlg.m_label.m_hWnd;
  }
  EXPECT_FALSE(IsWindow(hDlg));
  EXPECT_FALSE(IsWindow(hLabel));
  GetHeadlessBackend().Pump(0);  // nothing of it is left to paint
}

}  // namespace
