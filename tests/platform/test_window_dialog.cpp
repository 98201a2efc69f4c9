// Dialogs from templates: the ways a modal run ends, subclassed controls, painting, timers
// and tooltips.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/headless/headless_backend.h"
#include "platform/ui/window.h"

namespace {

constexpr int IDD_TEST = 9101;
constexpr int IDC_GO = 10;
constexpr int IDC_LIST = 20;
constexpr int IDC_BAR = 30;
constexpr int IDC_PLAIN = 40;
constexpr int IDC_LABEL = 50;

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
  t.controls[1].items = {"COM1", "COM2", "COM3"};
  RegisterDialogTemplate(t);
}

// A label that paints itself, the way the program's owner-painted controls are built.
class CSpyLabel : public CWnd {
 public:
  std::vector<std::string> m_log;
  LRESULT OnSetText(WPARAM, LPARAM lParam) {
    m_log.push_back(std::string("settext ") + reinterpret_cast<const char*>(lParam));
    Default();
    Invalidate(TRUE);
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
  CSpyLabel m_label;
  int m_nInit = 0;
  int m_nPostNcDestroy = 0;
  int m_nBoundAtInit = -1;
  std::vector<std::string> m_log;
  std::function<void(CTestDlg&)> m_onGo;
  std::function<void(CTestDlg&)> m_onInit;
  std::function<void(CTestDlg&, UINT_PTR)> m_onTimer;

  void DoDataExchange() override {
    DDX_Control(this, IDC_LIST, m_list);
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
  void OnTimer(UINT_PTR nIDEvent) {
    if (m_onTimer) m_onTimer(*this, nIDEvent);
  }
  DECLARE_MESSAGE_MAP()

 protected:
  void PostNcDestroy() override { ++m_nPostNcDestroy; }
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
  ON_BN_CLICKED(IDC_GO, OnGo)
  ON_WM_TIMER()
END_MESSAGE_MAP()

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
    bool atInit;  // acts during initialisation instead of from the running loop
    std::function<void(CTestDlg&)> act;
    INT_PTR result;
    std::vector<std::string> logged;  // what the dialog's table saw
  };
  auto clickEnding = [](std::function<void(CTestDlg&)> ending) {
    return [ending](CTestDlg& d) {
      d.m_onGo = ending;
      CHeadlessBackend::Click(d.m_hWnd, IDC_GO);
    };
  };
  const std::vector<Case> cases = {
      {"EndDialog from a handler", false, clickEnding([](CTestDlg& x) { x.EndDialog(7); }), 7,
       {"go"}},
      // Enter and the close box: the main dialog's own table in the start-up tests.
      {"Escape", false, [](CTestDlg& d) { CHeadlessBackend::PressEscape(d.m_hWnd); }, IDCANCEL,
       {}},
      {"DestroyWindow from a handler", false, clickEnding([](CTestDlg& x) { x.DestroyWindow(); }),
       IDCANCEL, {"go"}},
      {"EndDialog during initialisation", true, [](CTestDlg& d) { d.EndDialog(IDOK); }, IDOK,
       {}},
      {"DestroyWindow during initialisation", true, [](CTestDlg& d) { d.DestroyWindow(); },
       IDCANCEL, {}},
      // A timer set during initialisation ticks in the run; its third tick ends it.
      {"EndDialog from a timer", true,
       [](CTestDlg& d) {
         d.SetTimer(5, 10);
         d.m_onTimer = [](CTestDlg& x, UINT_PTR id) {
           x.m_log.push_back("tick " + std::to_string(id));
           if (x.m_log.size() == 3) x.EndDialog(42);
         };
       },
       42, {"tick 5", "tick 5", "tick 5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTestDlg dlg;
    HWND hDlg = nullptr;
    std::vector<HWND> controls;
    dlg.m_onInit = [&](CTestDlg& d) {
      hDlg = d.m_hWnd;
      controls = GetChildWindows(hDlg);
      if (c.atInit) c.act(d);
    };
    if (!c.atInit) GetHeadlessBackend().PostAction([&] { c.act(dlg); });
    EXPECT_EQ(dlg.DoModal(), c.result);
    EXPECT_EQ(dlg.m_nInit, 1);
    EXPECT_EQ(dlg.m_nBoundAtInit, 3) << "controls are bound before initialisation";
    EXPECT_EQ(dlg.m_nPostNcDestroy, 1);
    EXPECT_EQ(dlg.m_log, c.logged);
    EXPECT_FALSE(NextTimerDue().has_value()) << "a timer went with its window";
    ASSERT_NE(hDlg, nullptr);
    EXPECT_FALSE(IsWindow(hDlg));
    ASSERT_EQ(controls.size(), 5u);
    for (HWND h : controls) EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_list.m_hWnd, nullptr);
  }
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

  using Log = std::vector<std::string>;
  CSpyLabel& lbl = dlg.m_label;
  auto logOf = [&lbl](const std::function<void()>& act) {
    lbl.m_log.clear();
    act();
    return lbl.m_log;
  };
  EXPECT_EQ(logOf([&] { lbl.SetWindowText("x"); }), Log{"settext x"});
  EXPECT_EQ(logOf([&] { lbl.UpdateWindow(); }), (Log{"erase", "paint"}));
  EXPECT_EQ(logOf([&] { lbl.UpdateWindow(); }), Log{}) << "nothing pending";
  EXPECT_EQ(logOf([&] { lbl.RedrawWindow(RDW_INVALIDATE | RDW_UPDATENOW); }), Log{"paint"});
  EXPECT_EQ(logOf([&] {
              lbl.ShowWindow(SW_HIDE);
              lbl.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            }),
            Log{})
      << "hidden is not painted";
  EXPECT_EQ(logOf([&] { lbl.ShowWindow(SW_SHOW); lbl.UpdateWindow(); }), (Log{"erase", "paint"}));
  EXPECT_EQ(logOf([&] { dlg.Invalidate(TRUE); dlg.UpdateWindow(); }), (Log{"erase", "paint"}))
      << "the dialog's invalidation reaches its controls";
  EXPECT_EQ(dlg.m_label.GetWindowText(), "x");

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

TEST_F(WindowDialog, ToolTipsAreReportedWhenSetReplacedAndCleared) {
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CHeadlessBackend& ui = GetHeadlessBackend();
  ui.ClearEvents();
  for (const char* text : {"COM1 is /dev/ttyS0", "COM2 is /dev/ttyUSB0", "COM2 is /dev/ttyUSB0", ""}) {
    dlg.m_list.SetToolTipText(text);
  }
  dlg.SetToolTipText("the dialog's own");
  EXPECT_EQ(ui.Texts(HeadlessEvent::ToolTip, IDC_LIST),
            (std::vector<std::string>{"COM1 is /dev/ttyS0", "COM2 is /dev/ttyUSB0", ""}))
      << "the same text again changes nothing";
  EXPECT_EQ(ui.Texts(HeadlessEvent::ToolTip, IDD_TEST), std::vector<std::string>{"the dialog's own"});
  EXPECT_EQ(GetWindowState(dlg.m_list.m_hWnd)->toolTip, "");
  EXPECT_EQ(GetWindowState(dlg.m_hWnd)->toolTip, "the dialog's own");
  dlg.DestroyWindow();
}

// The backend's record of what was shown stays bounded over any number of changes and keeps
// the newest. A job sets the bar once per block: the oldest positions make room first, so the
// few texts of a long job stay; the observer still sees every single change.
TEST_F(WindowDialog, RecordedHistoryStaysBoundedAndKeepsTextsOverPositions) {
  CTestDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CHeadlessBackend& ui = GetHeadlessBackend();
  struct CCounter : IHeadlessObserver {
    int seen[2] = {0, 0};  // positions, texts
    void OnHeadlessEvent(const HeadlessEvent& e) override {
      seen[0] += e.kind == HeadlessEvent::Progress;
      seen[1] += e.kind == HeadlessEvent::Text;
    }
  } counter;
  ui.ClearEvents();
  ui.SetObserver(&counter);
  CProgressCtrl bar;
  ASSERT_TRUE(bar.SubclassDlgItem(IDC_BAR, &dlg));
  bar.SetRange(0, 100);
  for (int pos : {0, 0, 10, 10, 20}) bar.SetPos(pos);
  EXPECT_EQ(ui.Values(HeadlessEvent::Progress, IDC_BAR), (std::vector<int>{0, 0, 10, 10, 20}))
      << "a position set again is recorded again";

  // A long job: a text, far more positions than the history holds, a text; then texts alone.
  const int nMax = static_cast<int>(CHeadlessBackend::kMaxRecordedEvents);
  CWnd* pPlain = dlg.GetDlgItem(IDC_PLAIN);
  ui.ClearEvents();
  pPlain->SetWindowText("Transferring Data");
  for (int i = 0; i < 3 * nMax; ++i) bar.SetPos(i * 100 / (3 * nMax));
  bar.SetPos(100);
  pPlain->SetWindowText("Done");
  EXPECT_LE(ui.Events().size(), CHeadlessBackend::kMaxRecordedEvents);
  EXPECT_EQ(ui.Texts(HeadlessEvent::Text, IDC_PLAIN), (std::vector<std::string>{"Transferring Data", "Done"}));
  const std::vector<int> positions = ui.Values(HeadlessEvent::Progress, IDC_BAR);
  ASSERT_GE(positions.size(), 2u);
  EXPECT_EQ(std::vector<int>(positions.end() - 2, positions.end()), (std::vector<int>{99, 100}))
      << "the newest positions stay";
  ui.ClearEvents();
  for (int i = 0; i < 2 * nMax + 7; ++i) pPlain->SetWindowText("line " + std::to_string(i));
  EXPECT_LE(ui.Events().size(), CHeadlessBackend::kMaxRecordedEvents);
  EXPECT_GE(ui.Events().size(), CHeadlessBackend::kMaxRecordedEvents / 2);
  EXPECT_EQ(ui.Texts(HeadlessEvent::Text, IDC_PLAIN).back(), "line " + std::to_string(2 * nMax + 6));
  EXPECT_EQ(counter.seen[0], 5 + 3 * nMax + 1);
  EXPECT_EQ(counter.seen[1], 2 + 2 * nMax + 7);
  ui.SetObserver(nullptr);
  dlg.DestroyWindow();
}

}  // namespace

namespace {

// An icon given as a way to draw it costs nothing until a window asks for its picture; it is
// drawn once, and registering the id again changes the picture behind the same handle.
TEST(IconResources, ARenderedIconIsDrawnOnceWhenItsPictureIsFirstAskedFor) {
  constexpr int IDI_LAZY = 9301;
  int renders = 0;
  RegisterIconResource(IDI_LAZY, [&renders] {
    ++renders;
    return CPixelBuffer(4, 4, RGB(1, 2, 3));
  });
  const HICON icon = LoadIconResource(IDI_LAZY);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(renders, 0) << "registering or loading the handle draws nothing";
  const CPixelBuffer* image = GetIconImage(icon);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(renders, 1);
  EXPECT_EQ(image->Get(3, 3), RGB(1, 2, 3));
  EXPECT_EQ(GetIconImage(icon), image);
  EXPECT_EQ(renders, 1) << "drawn once";

  RegisterIconResource(IDI_LAZY, CPixelBuffer(2, 2, RGB(9, 9, 9)));
  EXPECT_EQ(LoadIconResource(IDI_LAZY), icon);
  ASSERT_NE(GetIconImage(icon), nullptr);
  EXPECT_EQ(GetIconImage(icon)->Width(), 2);
  EXPECT_EQ(GetIconImage(icon)->Get(1, 1), RGB(9, 9, 9));
  EXPECT_EQ(renders, 1);
}

}  // namespace
