// Templates as native dialogs, and what a person does to them reaching the dialog's object.
#include <algorithm>
#include <cstdio>
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

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

namespace {

class TemplateDialog : public CWxTest {};

// The widget that shows a control's text: a sunken label's text sits in its frame.
wxWindow* TextWidget(wxWindow* w) {
  return w->HasFlag(wxBORDER_SUNKEN) && w->GetChildren().size() == 1 ? w->GetChildren().front() : w;
}

// The toolkit's own verdict on a control with a text: what it asks for, the theme's padding
// and frame included, against what it got. Labels the program fills itself (the status and
// file-name lines) and lists are left out: the template gives them no text to fit.
void ExpectEveryTextFits(CWxDialogWindow* win, const std::string& what) {
  ASSERT_NE(win, nullptr);
  const wxSize client = win->GetClientSize();
  for (HWND hWnd : GetChildWindows(win->Handle())) {
    const WindowState* state = GetWindowState(hWnd);
    wxWindow* w = win->FindControl(hWnd);
    ASSERT_NE(w, nullptr);
    SCOPED_TRACE(what + ": control \"" + state->text + "\", id " + std::to_string(state->id));
    // Nothing sticks out of the dialog either.
    EXPECT_LE(w->GetRect().GetRight(), client.x - 1);
    EXPECT_LE(w->GetRect().GetBottom(), client.y - 1);
    if (dynamic_cast<wxButton*>(w) != nullptr || dynamic_cast<wxStaticBox*>(w) != nullptr) {
      gint minWidth = 0, width = 0, minHeight = 0, height = 0;
      gtk_widget_get_preferred_width(w->GetHandle(), &minWidth, &width);
      gtk_widget_get_preferred_height(w->GetHandle(), &minHeight, &height);
      EXPECT_GE(w->GetSize().x, width);
      if (dynamic_cast<wxButton*>(w) != nullptr) {
        EXPECT_GE(w->GetSize().y, height);
      }
    } else if (auto* label = dynamic_cast<wxStaticText*>(TextWidget(w))) {
      if (label->GetLabelText().empty()) continue;
      wxClientDC dc(label);
      dc.SetFont(label->GetFont());
      const wxSize text = dc.GetMultiLineTextExtent(label->GetLabelText());
      EXPECT_GE(label->GetSize().x, text.x);
      EXPECT_GE(label->GetSize().y, text.y);
    }
  }
}

// The main window's and the About box's templates become native controls in template order.
// The templates were drawn for fonts this desktop may not have: in the font it does use, every
// text fits its control, the dialog grown in proportion.
TEST_F(TemplateDialog, TemplatesBecomeNativeControlsInOrderAndEveryTextFits) {
  RegisterQuorinResources();
  for (int id : {IDD_QUORIN_DIALOG, IDD_ABOUTBOX}) {
    SCOPED_TRACE("dialog " + std::to_string(id));
    const DialogTemplate* tmpl = FindDialogTemplate(id);
    ASSERT_NE(tmpl, nullptr);
    CDialog dlg(id);
    ASSERT_TRUE(dlg.Create());
    const HWND hDlg = dlg.m_hWnd;
    CWxDialogWindow* win = DialogWindowFor(hDlg);
    ASSERT_NE(win, nullptr);

    EXPECT_EQ(FromWx(win->GetTitle()), tmpl->caption);
    EXPECT_FALSE(win->HasFlag(wxRESIZE_BORDER) || win->HasFlag(wxMAXIMIZE_BOX));
    EXPECT_TRUE(win->HasFlag(wxCLOSE_BOX));
    if (id == IDD_QUORIN_DIALOG) {
      EXPECT_TRUE(win->HasFlag(wxMINIMIZE_BOX) && win->GetFont().GetPointSize() == 10);
    }
    const CWxDialogFont& font = win->DialogFont();
    EXPECT_EQ(win->GetFont().GetFaceName(), font.Font().GetFaceName());
    EXPECT_EQ(win->GetClientSize(), wxSize(font.ToPixelsX(tmpl->cx), font.ToPixelsY(tmpl->cy)));
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
      // A list box's template height is its open list's; the closed box is the toolkit's. An
      // icon takes its picture's size.
      if (c.kind != ControlKind::StaticIcon) {
        EXPECT_EQ(w->GetSize().x, font.ToPixelsX(c.cx));
        EXPECT_TRUE(c.kind == ControlKind::ComboBox || w->GetSize().y == font.ToPixelsY(c.cy)) << w->GetSize().y;
      }

      const bool isRightKind =
          ((c.kind == ControlKind::PushButton || c.kind == ControlKind::DefPushButton) &&
           dynamic_cast<wxButton*>(w) != nullptr) ||
          (c.kind == ControlKind::StaticIcon && dynamic_cast<wxStaticBitmap*>(w) != nullptr) ||
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
      } else if (c.kind != ControlKind::ProgressBar && c.kind != ControlKind::StaticIcon) {
        EXPECT_EQ(FromWx(TextWidget(w)->GetLabel()), c.text);
      }
    }

    ExpectEveryTextFits(win, "");
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_EQ(DialogWindowFor(hDlg), nullptr);
  }
}

// A template much too tight for its texts: the units grow until they fit, and no further than
// the tightest control needs.
TEST_F(TemplateDialog, UnitsGrowJustEnoughForTheTightestText) {
  constexpr int IDD_TIGHT = 9402;
  const UINT visible = WS_CHILD | WS_VISIBLE;
  DialogTemplate t{IDD_TIGHT, "Tight", "MS Sans Serif", 8, 120, 60,
                   WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, {}};
  t.controls = {
      ControlTemplate{ControlKind::PushButton, 10, "&Read from receiver", 5, 5, 30, 8,
                      visible | WS_TABSTOP, 0, {}, 0},
      ControlTemplate{ControlKind::Static, 11, "A label of some length", 5, 20, 40, 4, visible, 0, {}, 0},
  };
  RegisterDialogTemplate(t);
  const CWxDialogFont plain("MS Sans Serif", 8);
  CDialog dlg(IDD_TIGHT);
  ASSERT_TRUE(dlg.Create());
  CWxDialogWindow* win = DialogWindowFor(dlg.m_hWnd);
  ExpectEveryTextFits(win, "tight");
  const CWxDialogFont& font = win->DialogFont();
  EXPECT_TRUE(font.IsFitted());
  EXPECT_GT(font.ToPixelsX(100), plain.ToPixelsX(100));
  EXPECT_GT(font.ToPixelsY(100), plain.ToPixelsY(100));
  // The tightest text fits to the pixel: the units grew no more than it needs.
  wxWindow* button = win->FindControl(GetDlgItem(dlg.m_hWnd, 10));
  wxWindow* label = win->FindControl(GetDlgItem(dlg.m_hWnd, 11));
  gint minWidth = 0, width = 0;
  gtk_widget_get_preferred_width(button->GetHandle(), &minWidth, &width);
  wxClientDC dc(label);
  dc.SetFont(label->GetFont());
  const int labelWidth = dc.GetTextExtent(FromWx(static_cast<wxStaticText*>(label)->GetLabelText())).x;
  EXPECT_LE(std::min(button->GetSize().x - width, label->GetSize().x - labelWidth), 1)
      << "the units grew more than any text needs";
  EXPECT_TRUE(dlg.DestroyWindow());
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

// Tab goes round the controls the template marks as tab stops, in template order, and stops
// nowhere else (no label, frame or bar takes the focus out of sight).
TEST_F(MainWindow, TabGoesRoundTheTabStopsInTemplateOrderAndNowhereElse) {
  CQuorinDlg dlg;
  std::vector<int> expected, visited;
  for (const ControlTemplate& c : FindDialogTemplate(IDD_QUORIN_DIALOG)->controls) {
    if (c.style & WS_TABSTOP) expected.push_back(c.id);
  }
  const auto focusedId = [&]() -> int {
    wxWindow* focus = wxWindow::FindFocus();
    for (HWND hWnd : GetChildWindows(dlg.m_hWnd)) {
      for (wxWindow* w = focus; w != nullptr && w != DialogWindowFor(dlg.m_hWnd); w = w->GetParent()) {
        if (w == WidgetFor(hWnd)) return GetWindowState(hWnd)->id;
      }
    }
    return focus == nullptr ? -2 : -1;  // -1: the focus on something that is no control
  };
  CUserScript script;
  script.Then("the window on screen", [&] { return IsShownOnScreen(dlg.m_hWnd); },
              [&] { Control(expected.front())->SetFocus(); })
      .Then("the first stop focused", [&] { return focusedId() == expected.front(); }, [] {});
  for (std::size_t i = 1; i <= expected.size() + 1; ++i) {
    script.After(60, "a Tab", [] { wxUIActionSimulator().Char(WXK_TAB); })
        .After(60, "the focus moved", [&] { visited.push_back(focusedId()); });
  }
  script.After(10, "done", [&] { dlg.DestroyWindow(); });
  script.Run(dlg);
  std::vector<int> round;
  for (std::size_t i = 1; i <= expected.size() + 1; ++i) round.push_back(expected[i % expected.size()]);
  EXPECT_EQ(visited, round);
}

// The desktop sees an application's window: a normal window with a task-bar entry, not a modal
// dialog standing for some other window. Read from the X server as a desktop reads it.
TEST_F(MainWindow, TheDesktopSeesANormalWindowWithATaskBarEntry) {
  if (std::system("command -v xprop >/dev/null 2>&1") != 0) GTEST_SKIP() << "xprop is missing";
  CQuorinDlg dlg;
  std::string props;
  gboolean modal = TRUE, skipTaskbar = TRUE;
  CUserScript script;
  script.Then("the window on screen", [&] { return IsShownOnScreen(dlg.m_hWnd); }, [] {})
      .After(300, "the window mapped", [&] {
        // What the toolkit tells a window manager; without one running it keeps the states
        // (modal among them) to itself, so they are asked of the toolkit as well.
        GtkWindow* gtkWindow = GTK_WINDOW(DialogWindowFor(dlg.m_hWnd)->GetHandle());
        modal = gtk_window_get_modal(gtkWindow);
        skipTaskbar = gtk_window_get_skip_taskbar_hint(gtkWindow);
        GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(gtkWindow));
        ASSERT_TRUE(window != nullptr && GDK_IS_X11_WINDOW(window));
        const std::string command = "xprop -id " + std::to_string(GDK_WINDOW_XID(window)) +
                                    " _NET_WM_WINDOW_TYPE WM_TRANSIENT_FOR _NET_WM_STATE 2>&1";
        if (FILE* pipe = popen(command.c_str(), "r")) {
          char buffer[512];
          while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) props += buffer;
          pclose(pipe);
        }
        dlg.DestroyWindow();
      })
      .Run(dlg);
  EXPECT_FALSE(modal) << "the main window runs modally, but is no modal dialog to the desktop";
  EXPECT_FALSE(skipTaskbar);
  EXPECT_NE(props.find("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_NORMAL"), std::string::npos) << props;
  EXPECT_NE(props.find("WM_TRANSIENT_FOR:  not found"), std::string::npos) << props;
  EXPECT_EQ(props.find("_NET_WM_STATE_MODAL"), std::string::npos) << props;
  EXPECT_EQ(props.find("_NET_WM_STATE_SKIP_TASKBAR"), std::string::npos) << props;
}

}  // namespace
