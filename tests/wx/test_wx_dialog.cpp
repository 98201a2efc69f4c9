// Templates as native dialogs, and what a person does to them reaching the dialog's object.
#include <string>
#include <vector>

#include "app/quorin_app.h"
#include "app/quorin_dlg.h"
#include "platform/ui/drawing.h"
#include "platform/ui/wx/wx_painted_panel.h"
#include "platform/ui/wx/wx_ui_backend.h"
#include "resources/resource.h"
#include "tests/wx/wx_test_support.h"

#include <wx/uiaction.h>

namespace {

class TemplateDialog : public CWxTest {};

// The widget that shows a control's text: a sunken label's text sits in its frame.
wxWindow* TextWidget(wxWindow* w) {
  return w->HasFlag(wxBORDER_SUNKEN) && w->GetChildren().size() == 1 ? w->GetChildren().front() : w;
}

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
  EXPECT_FALSE(win->HasFlag(wxRESIZE_BORDER) || win->HasFlag(wxMAXIMIZE_BOX));
  EXPECT_TRUE(win->HasFlag(wxMINIMIZE_BOX) && win->HasFlag(wxCLOSE_BOX));
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
    SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(c.id));
    wxWindow* w = *child;
    EXPECT_EQ(WidgetFor(records[i]), w);
    EXPECT_EQ(GetWindowState(records[i])->id, c.id);
    EXPECT_EQ(w->GetPosition(), wxPoint(font.ToPixelsX(c.x), font.ToPixelsY(c.y)));
    // A list box's template height is its open list's; the closed box is the toolkit's.
    EXPECT_EQ(w->GetSize().x, font.ToPixelsX(c.cx));
    if (c.kind != ControlKind::ComboBox) {
      EXPECT_EQ(w->GetSize().y, font.ToPixelsY(c.cy));
    }

    const bool isRightKind =
        (c.kind == ControlKind::PushButton && dynamic_cast<wxButton*>(w) != nullptr) ||
        (c.kind == ControlKind::GroupBox && dynamic_cast<wxStaticBox*>(w) != nullptr) ||
        (c.kind == ControlKind::ProgressBar && dynamic_cast<wxGauge*>(w) != nullptr) ||
        (c.kind == ControlKind::Static && dynamic_cast<wxStaticText*>(TextWidget(w)) != nullptr &&
         w->HasFlag(wxBORDER_SUNKEN) == ((c.style & SS_SUNKEN) != 0)) ||
        (c.kind == ControlKind::ComboBox && dynamic_cast<wxComboBox*>(w) != nullptr);
    EXPECT_TRUE(isRightKind) << w->GetClassInfo()->GetClassName();
    if (auto* combo = dynamic_cast<wxComboBox*>(w)) {
      EXPECT_TRUE(combo->IsEditable() && !combo->HasFlag(wxCB_READONLY));
      std::vector<std::string> entries;
      for (const wxString& s : combo->GetStrings()) entries.push_back(FromWx(s));
      EXPECT_EQ(entries, c.items);
    } else if (c.kind != ControlKind::ProgressBar) {
      EXPECT_EQ(FromWx(TextWidget(w)->GetLabel()), c.text);
    }
  }

  EXPECT_TRUE(dlg.DestroyWindow());
  EXPECT_EQ(DialogWindowFor(hDlg), nullptr);
}

// ---- the real program ---------------------------------------------------------------------

class MainWindow : public CMainWindowTest {};

TEST_F(MainWindow, ExitEscapeEnterAndTheCloseBoxEndTheProgram) {
  enum Way { Exit, Escape, Enter, CloseBox };
  for (Way way : {Exit, Escape, Enter, CloseBox}) {
    SCOPED_TRACE(way);
    const char* argv[] = {"quorin"};
    theApp.SetCommandLine(1, argv);
    HWND seen = nullptr;
    CUserScript script;
    script
        .Then("the window on screen", [] { return IsShownOnScreen(MainHwnd()); },
              [&] {
                seen = MainHwnd();
                ClickOn(Control(way == Exit ? IDC_EXIT : IDC_BAUDRATE));  // the focus in a field
              })
        .Then("the field focused",
              [&] { return way == Exit || wxWindow::FindFocus() == Control(IDC_BAUDRATE); },
              [&] {
                if (way == CloseBox) {
                  DialogWindowFor(seen)->Close();  // what the desktop's close box does
                } else if (way != Exit) {
                  wxUIActionSimulator().Char(way == Escape ? WXK_ESCAPE : WXK_RETURN);
                }
              })
        .Start([] { DestroyWindow(MainHwnd()); });
    EXPECT_FALSE(theApp.InitInstance());
    EXPECT_TRUE(script.Finished());
    ASSERT_NE(seen, nullptr);
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_EQ(DialogWindowFor(seen), nullptr);
  }
}

TEST_F(MainWindow, OwnerPaintedControlsShowTheirPicturesOnScreen) {
  CQuorinDlg dlg;
  const auto painted = [](int id) {
    auto* panel = dynamic_cast<CWxPaintedPanel*>(Control(id));
    return panel != nullptr && panel->HasPicture();
  };
  CUserScript script;
  script
      .Then("the window painted",
            [&] { return IsShownOnScreen(dlg.m_hWnd) && painted(IDC_FILENAME) && painted(IDC_PROGRESS); },
            [&] { dlg.m_ctlProgress.SetPos(37); })
      .After(200, "the bar repainted", [&] {
        for (int id : {IDC_FILENAME, IDC_PROGRESS}) {
          SCOPED_TRACE(id);
          wxWindow* panel = Control(id);
          const HWND hWnd = GetDlgItem(dlg.m_hWnd, id);
          const CPixelBuffer* picture = GetWindowPaintBuffer(hWnd);
          ASSERT_NE(picture, nullptr);
          const RECT client = CWxUiBackend::Instance().ClientRectPixels(hWnd);
          EXPECT_EQ(wxSize(picture->Width(), picture->Height()), panel->GetClientSize());
          EXPECT_EQ(wxSize(client.right, client.bottom), panel->GetClientSize());
          // On the screen is the picture the control painted, pixel for pixel.
          const std::string shot = RunFolder() + "/panel.png";
          ASSERT_TRUE(GrabScreen(shot, wxRect(panel->ClientToScreen(wxPoint(0, 0)), panel->GetClientSize())));
          const wxImage screen(ToWx(shot));
          ASSERT_TRUE(screen.IsOk());
          int differing = 0;
          for (int y = 0; y < picture->Height(); ++y) {
            for (int x = 0; x < picture->Width(); ++x) {
              // The theme rounds the frame's corners over the client area.
              if ((x < 4 || x >= picture->Width() - 4) && (y < 4 || y >= picture->Height() - 4)) continue;
              const COLORREF c = picture->Get(x, y);
              differing += screen.GetRed(x, y) != GetRValue(c) || screen.GetGreen(x, y) != GetGValue(c) ||
                           screen.GetBlue(x, y) != GetBValue(c);
            }
          }
          EXPECT_EQ(differing, 0);
        }
        dlg.DestroyWindow();
      })
      .Run(dlg);
}

}  // namespace
