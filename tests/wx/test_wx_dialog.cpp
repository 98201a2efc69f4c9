// Templates as native dialogs, and what a person does to them reaching the dialog's object.
#include <string>
#include <vector>

#include "app/quorin_app.h"
#include "app/quorin_dlg.h"
#include "platform/drawing.h"
#include "platform/pty.h"
#include "platform/settings.h"
#include "platform/wx/wx_painted_panel.h"
#include "platform/wx/wx_ui_backend.h"
#include "resources/resource.h"
#include "tests/wx/wx_test_support.h"

#include <wx/uiaction.h>

namespace {

class TemplateDialog : public CWxTest {};

TEST_F(TemplateDialog, MainTemplateBecomesNativeControlsInTemplateOrder) {
  RegisterQuorinResources();
  const DialogTemplate* tmpl = FindDialogTemplate(IDD_QUORIN_DIALOG);
  ASSERT_NE(tmpl, nullptr);
  CDialog dlg(IDD_QUORIN_DIALOG);
  ASSERT_TRUE(dlg.Create());
  const HWND hDlg = dlg.m_hWnd;
  CWxDialogWindow* win = DialogWindowFor(hDlg);
  ASSERT_NE(win, nullptr);

  EXPECT_EQ(FromWx(win->GetTitle()), tmpl->caption);
  EXPECT_FALSE(win->HasFlag(wxRESIZE_BORDER));
  EXPECT_FALSE(win->HasFlag(wxMAXIMIZE_BOX));
  EXPECT_TRUE(win->HasFlag(wxMINIMIZE_BOX));
  EXPECT_TRUE(win->HasFlag(wxCLOSE_BOX));
  const CWxDialogFont& font = win->DialogFont();
  EXPECT_EQ(win->GetFont().GetFaceName(), font.Font().GetFaceName());
  EXPECT_EQ(win->GetFont().GetPointSize(), 10);
  EXPECT_EQ(win->GetClientSize(), wxSize(font.ToPixelsX(259), font.ToPixelsY(95)));
  const RECT client = CWxUiBackend::Instance().ClientRectPixels(hDlg);
  EXPECT_EQ(wxSize(client.right, client.bottom), win->GetClientSize());

  const std::vector<HWND> records = GetChildWindows(hDlg);
  const wxWindowList& children = win->GetChildren();  // creation order is the tab order
  ASSERT_EQ(records.size(), tmpl->controls.size());
  ASSERT_EQ(children.size(), tmpl->controls.size());
  auto child = children.begin();
  for (std::size_t i = 0; i < tmpl->controls.size(); ++i, ++child) {
    const ControlTemplate& c = tmpl->controls[i];
    SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(c.id) + " " + c.text);
    wxWindow* w = *child;
    EXPECT_EQ(WidgetFor(records[i]), w);
    EXPECT_EQ(GetWindowState(records[i])->id, c.id);
    EXPECT_EQ(w->GetPosition(), wxPoint(font.ToPixelsX(c.x), font.ToPixelsY(c.y)));
    switch (c.kind) {
      case ControlKind::PushButton:
      case ControlKind::DefPushButton:
        ASSERT_NE(dynamic_cast<wxButton*>(w), nullptr);
        EXPECT_EQ(FromWx(w->GetLabel()), c.text);
        EXPECT_EQ(w->GetSize(), wxSize(font.ToPixelsX(c.cx), font.ToPixelsY(c.cy)));
        break;
      case ControlKind::ComboBox: {
        auto* combo = dynamic_cast<wxComboBox*>(w);
        ASSERT_NE(combo, nullptr);
        EXPECT_FALSE(combo->HasFlag(wxCB_READONLY));
        EXPECT_TRUE(combo->IsEditable());
        EXPECT_EQ(w->GetSize().x, font.ToPixelsX(c.cx));
        std::vector<std::string> entries;
        for (const wxString& s : combo->GetStrings()) entries.push_back(FromWx(s));
        EXPECT_EQ(entries, c.items);
        break;
      }
      case ControlKind::GroupBox:
        ASSERT_NE(dynamic_cast<wxStaticBox*>(w), nullptr);
        EXPECT_EQ(FromWx(w->GetLabel()), c.text);
        break;
      case ControlKind::ProgressBar:
        EXPECT_NE(dynamic_cast<wxGauge*>(w), nullptr);
        break;
      case ControlKind::Static: {
        // A sunken label is a framed panel holding the text.
        wxStaticText* text = dynamic_cast<wxStaticText*>(w);
        if ((c.style & SS_SUNKEN) != 0) {
          EXPECT_TRUE(w->HasFlag(wxBORDER_SUNKEN));
          ASSERT_EQ(w->GetChildren().size(), 1u);
          text = dynamic_cast<wxStaticText*>(w->GetChildren().front());
        }
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(FromWx(text->GetLabel()), c.text);
        EXPECT_EQ(w->GetSize(), wxSize(font.ToPixelsX(c.cx), font.ToPixelsY(c.cy)));
        break;
      }
      case ControlKind::StaticIcon:
        ADD_FAILURE() << "the main window has no icon control";
        break;
    }
  }

  EXPECT_TRUE(dlg.DestroyWindow());
  EXPECT_EQ(DialogWindowFor(hDlg), nullptr);
}

TEST_F(TemplateDialog, RecordChangesReachTheWidgets) {
  RegisterQuorinResources();
  CDialog dlg(IDD_QUORIN_DIALOG);
  ASSERT_TRUE(dlg.Create());
  CComboBox speeds;
  DDX_Control(&dlg, IDC_BAUDRATE, speeds);
  auto* combo = dynamic_cast<wxComboBox*>(WidgetFor(speeds.m_hWnd));
  ASSERT_NE(combo, nullptr);

  speeds.SetCurSel(3);
  EXPECT_EQ(combo->GetSelection(), 3);
  EXPECT_EQ(FromWx(combo->GetValue()), "38400");
  speeds.SetCurSel(99);  // out of range: no selection, empty field
  EXPECT_EQ(combo->GetSelection(), wxNOT_FOUND);
  EXPECT_EQ(FromWx(combo->GetValue()), "");
  speeds.ResetContent();
  speeds.AddString("1200");
  EXPECT_EQ(combo->GetCount(), 1u);

  CProgressCtrl progress;
  DDX_Control(&dlg, IDC_PROGRESS, progress);
  auto* gauge = dynamic_cast<wxGauge*>(WidgetFor(progress.m_hWnd));
  ASSERT_NE(gauge, nullptr);
  progress.SetRange(0, 100);
  progress.SetPos(42);
  EXPECT_EQ(gauge->GetValue(), 42);
  EXPECT_EQ(gauge->GetRange(), 100);

  CWnd* status = dlg.GetDlgItem(IDC_STATUS);
  ASSERT_NE(status, nullptr);
  status->SetWindowText("Tr&ansferring Data");
  auto* text = dynamic_cast<wxStaticText*>(WidgetFor(status->m_hWnd)->GetChildren().front());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(FromWx(text->GetLabelText()), "Transferring Data");  // '&' marks a mnemonic
  status->ShowWindow(SW_HIDE);
  EXPECT_FALSE(WidgetFor(status->m_hWnd)->IsShown());
  status->ShowWindow(SW_SHOW);
  EXPECT_TRUE(WidgetFor(status->m_hWnd)->IsShown());

  dlg.SetWindowText("Quorin ver0.99 ");
  EXPECT_EQ(FromWx(DialogWindowFor(dlg.m_hWnd)->GetTitle()), "Quorin ver0.99 ");
  dlg.DestroyWindow();
}

// ---- the real program ---------------------------------------------------------------------

class MainWindow : public CMainWindowTest {};

TEST_F(MainWindow, ExitClickEndsTheProgram) {
  const char* argv[] = {"quorin"};
  theApp.SetCommandLine(1, argv);
  HWND seen = nullptr;
  CUserScript script;
  script
      .Then("the window on screen", [] { return MainHwnd() != nullptr && IsShownOnScreen(MainHwnd()); },
            [&] {
              seen = MainHwnd();
              ClickOn(Control(IDC_EXIT));
            })
      .Start([] { DestroyWindow(MainHwnd()); });
  EXPECT_FALSE(theApp.InitInstance());
  EXPECT_TRUE(script.Finished());
  ASSERT_NE(seen, nullptr);
  EXPECT_FALSE(IsWindow(seen));
  EXPECT_EQ(DialogWindowFor(seen), nullptr);
}

TEST_F(MainWindow, EnterAndEscapeEndTheDialogAsOkAndCancel) {
  for (const auto& [key, result] : std::vector<std::pair<int, int>>{{WXK_ESCAPE, IDCANCEL}, {WXK_RETURN, IDOK}}) {
    SCOPED_TRACE(key == WXK_ESCAPE ? "Escape" : "Enter");
    CQuorinDlg dlg;
    theApp.m_pMainWnd = &dlg;
    CUserScript script;
    script
        .Then("the window on screen", [] { return MainHwnd() != nullptr && IsShownOnScreen(MainHwnd()); },
              [&] {
                // The focus in the speed list's field, as after a click into it.
                ClickOn(Control(IDC_BAUDRATE));
              })
        .Then("the field focused",
              [] { return wxWindow::FindFocus() == Control(IDC_BAUDRATE); },
              [key = key] { wxUIActionSimulator().Char(key); })
        .Start([&] { dlg.DestroyWindow(); });
    EXPECT_EQ(dlg.DoModal(), result);
    theApp.m_pMainWnd = nullptr;
    EXPECT_TRUE(script.Finished());
  }
}

TEST_F(MainWindow, ChoosingAPortEntryReachesThePortChangeHandler) {
  CPseudoTerminal second;
  ASSERT_TRUE(second.Open());
  ASSERT_TRUE(WriteProfileString("Devices", "COM2", second.SlavePath()));
  CQuorinDlg dlg;
  theApp.m_pMainWnd = &dlg;
  CUserScript script;
  script
      .Then("the window on screen", [] { return MainHwnd() != nullptr && IsShownOnScreen(MainHwnd()); },
            [] {
              auto* ports = dynamic_cast<wxComboBox*>(Control(IDC_COMPORT));
              ASSERT_NE(ports, nullptr);
              // The tooltip tells where each port leads.
              EXPECT_NE(FromWx(ports->GetToolTipText()).find("COM2 \u2192 " + std::string("/dev/")), std::string::npos)
                  << FromWx(ports->GetToolTipText());
              // What the list does when a person picks its second entry.
              ports->SetSelection(1);
              wxCommandEvent picked(wxEVT_COMBOBOX, ports->GetId());
              picked.SetEventObject(ports);
              picked.SetInt(1);
              ports->HandleWindowEvent(picked);
            })
      .Then("the port reopened", [&] { return dlg.m_cboComPort.GetCurSel() == 1; },
            [&] { dlg.DestroyWindow(); })
      .Start([&] { dlg.DestroyWindow(); });
  dlg.DoModal();
  theApp.m_pMainWnd = nullptr;
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", ""), "COM 2");
  EXPECT_EQ(second.SlaveSpeed(), 115200u);  // reopened at the speed the list shows
}

TEST_F(MainWindow, OwnerPaintedControlsShowTheirPicturesOnScreen) {
  CQuorinDlg dlg;
  theApp.m_pMainWnd = &dlg;
  CUserScript script;
  script
      .Then("the window painted",
            [&] {
              auto* label = dynamic_cast<CWxPaintedPanel*>(Control(IDC_FILENAME));
              auto* bar = dynamic_cast<CWxPaintedPanel*>(Control(IDC_PROGRESS));
              return label != nullptr && bar != nullptr && label->HasPicture() && bar->HasPicture() &&
                     IsShownOnScreen(dlg.m_hWnd);
            },
            [&] {
              dlg.m_ctlProgress.SetPos(37);
              dlg.m_ctlProgress.UpdateWindow();
              for (int id : {IDC_FILENAME, IDC_PROGRESS}) {
                SCOPED_TRACE(id);
                auto* panel = dynamic_cast<CWxPaintedPanel*>(Control(id));
                const HWND hWnd = GetDlgItem(dlg.m_hWnd, id);
                const CPixelBuffer* painted = GetWindowPaintBuffer(hWnd);
                ASSERT_NE(painted, nullptr);
                const RECT client = CWxUiBackend::Instance().ClientRectPixels(hWnd);
                EXPECT_EQ(wxSize(painted->Width(), painted->Height()), panel->GetClientSize());
                EXPECT_EQ(wxSize(client.right, client.bottom), panel->GetClientSize());
                // What is on the screen is the picture the control painted, pixel for pixel.
                const std::string shot = RunFolder() + "/panel.png";
                const wxRect area(panel->ClientToScreen(wxPoint(0, 0)), panel->GetClientSize());
                ASSERT_TRUE(GrabScreen(shot, area));
                wxImage screen(ToWx(shot));
                ASSERT_TRUE(screen.IsOk());
                int differing = 0;
                for (int y = 0; y < painted->Height(); ++y) {
                  for (int x = 0; x < painted->Width(); ++x) {
                    const COLORREF c = painted->Get(x, y);
                    // The theme rounds the frame's corners over the client area.
                    const bool corner = (x < 4 || x >= painted->Width() - 4) && (y < 4 || y >= painted->Height() - 4);
                    if (corner) continue;
                    differing += screen.GetRed(x, y) != GetRValue(c) || screen.GetGreen(x, y) != GetGValue(c) ||
                                 screen.GetBlue(x, y) != GetBValue(c);
                  }
                }
                EXPECT_EQ(differing, 0);
              }
              dlg.DestroyWindow();
            })
      .Start([&] { dlg.DestroyWindow(); });
  dlg.DoModal();
  theApp.m_pMainWnd = nullptr;
  EXPECT_TRUE(script.Finished());
}

}  // namespace
