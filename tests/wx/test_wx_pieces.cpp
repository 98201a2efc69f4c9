// The backend's pieces on their own: text measured and drawn in the dialog font;
// timers in the toolkit's loops, the owner-painted bar's repaints and tooltips, on a small
// dialog of the suite's own.
#include <string>
#include <thread>
#include <vector>

#include "controls/shaded_progress_ctrl.h"
#include "platform/ui/wx/wx_dialog_font.h"
#include "platform/ui/wx/wx_painted_panel.h"
#include "platform/ui/wx/wx_ui_backend.h"
#include "tests/wx/wx_test_support.h"

#include <wx/tooltip.h>

namespace {

class DialogFont : public CWxTest {};

TEST_F(DialogFont, TextIsDrawnInsideTheClipInTheGivenColourOverWhatIsThere) {
  CWxUiBackend& ui = CWxUiBackend::Instance();
  const SIZE extent = ui.MeasureText(nullptr, "Turn on the STB");
  ASSERT_GT(extent.cx, 20);
  ASSERT_GT(extent.cy, 5);
  EXPECT_LT(ui.MeasureText(nullptr, "ii").cx, ui.MeasureText(nullptr, "WW").cx);

  const COLORREF ground = RGB(10, 200, 30), ink = RGB(250, 0, 250);
  CPixelBuffer target(extent.cx + 20, extent.cy + 10, ground);
  const RECT clip{10, 0, 10 + extent.cx / 2, target.Height()};
  ui.RenderText(nullptr, target, 10, 5, "Turn on the STB", ink, clip);
  int inked = 0;
  for (int y = 0; y < target.Height(); ++y) {
    for (int x = 0; x < target.Width(); ++x) {
      const COLORREF c = target.Get(x, y);
      if (c == ground) continue;
      EXPECT_TRUE(x >= clip.left && x < clip.right && y >= 5 && y < 5 + extent.cy)
          << "drawn outside the clip at " << x << "," << y;
      if (GetRValue(c) > 128 && GetGValue(c) < 100) ++inked;  // mostly ink
    }
  }
  EXPECT_GT(inked, 10) << "the strokes are not in the colour asked for";
}

// ---- a dialog of the suite's own -------------------------------------------------------------

constexpr int IDD_PIECES = 9401;
constexpr int IDC_BAR = 30;
constexpr int IDC_FRAMED = 40;
constexpr int IDC_LIST = 50;

void RegisterPiecesTemplate() {
  auto control = [](ControlKind kind, int id, const char* text, int y, UINT style) {
    return ControlTemplate{kind, id, text, 7, y, 150, 12, WS_CHILD | WS_VISIBLE | style, 0, {}, 0};
  };
  DialogTemplate t{IDD_PIECES, "Pieces", "MS Sans Serif", 8, 170, 90,
                   WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, {}};
  t.controls = {control(ControlKind::ProgressBar, IDC_BAR, "", 7, WS_BORDER),
                control(ControlKind::Static, IDC_FRAMED, "framed", 25, SS_SUNKEN),
                control(ControlKind::ComboBox, IDC_LIST, "", 43, CBS_DROPDOWN),
                control(ControlKind::DefPushButton, IDOK, "OK", 65, WS_TABSTOP)};
  t.controls[2].items = {"COM1", "COM2"};
  RegisterDialogTemplate(t);
}

class CCountingBar : public CShadedProgressCtrl {
 public:
  int m_nPaints = 0;
  void OnPaint() {
    ++m_nPaints;
    CShadedProgressCtrl::OnPaint();
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CCountingBar, CShadedProgressCtrl)
  ON_WM_PAINT()
END_MESSAGE_MAP()

class CPiecesDlg : public CDialog {
 public:
  CPiecesDlg() : CDialog(IDD_PIECES) {}
  CCountingBar m_bar;
  std::function<void(UINT_PTR)> m_onTimer;
  void DoDataExchange() override { DDX_Control(this, IDC_BAR, m_bar); }
  void OnTimer(UINT_PTR nIDEvent) {
    if (m_onTimer) m_onTimer(nIDEvent);
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CPiecesDlg, CDialog)
  ON_WM_TIMER()
END_MESSAGE_MAP()

class ToolkitLoop : public CWxTest {
 protected:
  void SetUp() override {
    CWxTest::SetUp();
    RegisterPiecesTemplate();
  }
};

// The inner dialog is opened from a timer's own handler: the toolkit runs the handler from its
// timer, so the inner run's loop only dispatches the next ticks if the backend set it again.
TEST_F(ToolkitLoop, TimersTickInTheModalLoopAndInADialogOpenedFromATick) {
  CPiecesDlg dlg;
  HWND hDlg = nullptr;
  std::vector<UINT_PTR> ids;
  std::vector<std::thread::id> threads;
  CDialog* inner = nullptr;
  std::size_t ticksAtInner = 0;
  bool innerDone = false;
  dlg.m_onTimer = [&](UINT_PTR id) {
    ids.push_back(id);
    threads.push_back(std::this_thread::get_id());
    if (inner != nullptr) {
      if (ids.size() >= ticksAtInner + 3) inner->EndDialog(IDOK);
      return;
    }
    if (ids.size() == 3 && !innerDone) {
      CDialog box(IDD_PIECES, &dlg);
      inner = &box;
      ticksAtInner = ids.size();
      box.DoModal();
      inner = nullptr;
      innerDone = true;
      dlg.EndDialog(IDOK);
    }
  };
  CUserScript script;
  script.Then("the dialog on screen", [&] { return IsShownOnScreen(dlg.m_hWnd); },
              [&] {
                hDlg = dlg.m_hWnd;
                dlg.SetTimer(1, 20);
              })
      // Only a watchdog: the dialog may well end before the script looks again.
      .Then("the inner dialog came and went", [&] { return innerDone; }, [] {})
      .Start([&dlg] { dlg.DestroyWindow(); });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_TRUE(innerDone);
  EXPECT_GE(ids.size(), 6u);
  for (UINT_PTR id : ids) EXPECT_EQ(id, 1u);
  for (const std::thread::id& t : threads) EXPECT_EQ(t, std::this_thread::get_id());
  EXPECT_EQ(GetTimerLateness(hDlg, 1).count, ids.size());
}

TEST_F(ToolkitLoop, TheOwnerPaintedBarRepaintsOnlyWhenItsPositionChanges) {
  CPiecesDlg dlg;
  CWxPaintedPanel* panel = nullptr;
  int nativePaints = 0;
  int objectPaints = -1;
  int calls = 0;
  // A job sets the bar for every block it sends; here 200 blocks over three positions,
  // a few to a tick so the toolkit's loop runs in between, as it does in a transfer.
  constexpr int kBlocks = 200, kPositions = 3;
  dlg.m_onTimer = [&](UINT_PTR) {
    for (int i = 0; i < 10 && calls < kBlocks; ++i, ++calls) {
      dlg.m_bar.SetPos(10 + 10 * (calls * kPositions / kBlocks));
      dlg.m_bar.UpdateWindow();
    }
    if (calls == kBlocks) {
      objectPaints = dlg.m_bar.m_nPaints;
      dlg.KillTimer(1);
    }
  };
  CUserScript script;
  script
      .Then("the bar on screen and painted",
            [&] {
              panel = DialogWindowFor(dlg.m_hWnd) != nullptr
                          ? DialogWindowFor(dlg.m_hWnd)->FindPaintedControl(dlg.m_bar.m_hWnd)
                          : nullptr;
              return IsShownOnScreen(dlg.m_hWnd) && panel != nullptr && panel->HasPicture();
            },
            [] {})
      .After(300, "the first paints over", [&] {
        dlg.m_bar.m_nPaints = 0;
        panel->Bind(wxEVT_PAINT, [&nativePaints](wxPaintEvent& event) {
          ++nativePaints;
          event.Skip();
        });
        dlg.SetTimer(1, 10);
      })
      .Then("every position set", [&] { return objectPaints >= 0; }, [] {})
      .After(200, "the last paints over", [&] { dlg.EndDialog(IDOK); })
      .Start([&dlg] { dlg.DestroyWindow(); });
  dlg.DoModal();
  ASSERT_TRUE(script.Finished());
  EXPECT_EQ(objectPaints, kPositions);
  EXPECT_EQ(dlg.m_bar.m_nPaints, kPositions);
  // Each new position is shown (UpdateWindow paints at once); a repeated one is not.
  EXPECT_GE(nativePaints, kPositions);
  EXPECT_LE(nativePaints, 2 * kPositions) << "the picture was shown again for positions that did not change";
}

// A tooltip set, replaced and cleared reaches the native control; a sunken label's text,
// which sits inside its frame, shows its frame's.
TEST_F(ToolkitLoop, ToolTipsFollowTheRecord) {
  CPiecesDlg dlg;
  ASSERT_TRUE(dlg.Create());
  CWxDialogWindow* win = DialogWindowFor(dlg.m_hWnd);
  ASSERT_NE(win, nullptr);
  CWnd* list = dlg.GetDlgItem(IDC_LIST);
  CWnd* framed = dlg.GetDlgItem(IDC_FRAMED);
  wxWindow* frame = win->FindControl(framed->m_hWnd);
  ASSERT_EQ(frame->GetChildren().size(), 1u);
  const auto tips = [&] {
    std::vector<std::string> shown;
    for (wxWindow* w : {win->FindControl(list->m_hWnd), frame, frame->GetChildren().front()}) {
      shown.push_back(w->GetToolTip() != nullptr ? FromWx(w->GetToolTip()->GetTip()) : "(none)");
    }
    return shown;
  };
  using Tips = std::vector<std::string>;
  list->SetToolTipText("COM1 is /dev/ttyS0");
  framed->SetToolTipText("the file");
  EXPECT_EQ(tips(), (Tips{"COM1 is /dev/ttyS0", "the file", "the file"}));
  list->SetToolTipText("COM2 is /dev/ttyUSB0");
  EXPECT_EQ(tips(), (Tips{"COM2 is /dev/ttyUSB0", "the file", "the file"}));
  list->SetToolTipText("");
  framed->SetToolTipText("");
  EXPECT_EQ(tips(), (Tips{"(none)", "(none)", "(none)"}));
  EXPECT_TRUE(dlg.DestroyWindow());
}

}  // namespace
