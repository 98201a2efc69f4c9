#include "platform/ui/wx/wx_dialog_window.h"

#include <algorithm>

#include <wx/iconbndl.h>

#include "platform/ui/wx/wx_painted_panel.h"
#include "platform/ui/wx/wx_pixels.h"

#include <gtk/gtk.h>

namespace platform {

namespace {

constexpr WPARAM MK_LBUTTON = 0x0001;

// The frame round a sunken label: a border only, so the focus passes it by (a plain panel
// takes the focus itself when nothing inside it does).
class CLabelFrame : public wxPanel {
 public:
  CLabelFrame(wxWindow* parent, const wxPoint& pos, const wxSize& size, long style)
      : wxPanel(parent, wxID_ANY, pos, size, style) {
    SetCanFocus(false);
  }
  bool AcceptsFocus() const override { return false; }
  bool AcceptsFocusFromKeyboard() const override { return false; }
};

// Takes the focus off every button inside a widget, its inner parts included.
void KeepFocusOffButtons(GtkWidget* widget, gpointer) {
  if (GTK_IS_BUTTON(widget)) gtk_widget_set_can_focus(widget, FALSE);
  if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), KeepFocusOffButtons, nullptr);
}

long DialogStyle(const WindowState& state) {
  long style = wxCAPTION;
  if (state.style & WS_SYSMENU) style |= wxSYSTEM_MENU | wxCLOSE_BOX;
  if (state.style & WS_MINIMIZEBOX) style |= wxMINIMIZE_BOX;
  return style;
}

long BorderStyle(const WindowState& state) {
  if ((state.style & SS_SUNKEN) && state.kind == ControlKind::Static) return wxBORDER_SUNKEN;
  if (state.exStyle & WS_EX_STATICEDGE) return wxBORDER_SUNKEN;
  if (state.style & WS_BORDER) return wxBORDER_SIMPLE;
  return wxBORDER_NONE;
}

wxArrayString Entries(const WindowState& state) {
  wxArrayString entries;
  for (const std::string& item : state.items) entries.Add(ToWx(item));
  return entries;
}

void ApplyToolTip(wxWindow* widget, const std::string& text) {
  if (!text.empty()) {
    widget->SetToolTip(ToWx(text));
  } else if (widget->GetToolTip() != nullptr) {
    widget->UnsetToolTip();
  }
}

}  // namespace

CWxDialogWindow::CWxDialogWindow(HWND hDlg, wxWindow* parent, const CWxDialogFont& font)
    : m_hDlg(hDlg), m_font(font) {
  const WindowState* state = GetWindowState(hDlg);
  const long style = (state != nullptr ? DialogStyle(*state) : wxCAPTION) |
                     (parent == nullptr ? wxDIALOG_NO_PARENT : 0);
  Create(parent, wxID_ANY, state != nullptr ? ToWx(state->text) : wxString(), wxDefaultPosition,
         wxDefaultSize, style);
  InstallStyle();
  gtk_style_context_add_class(gtk_widget_get_style_context(GetHandle()), "quorin-dialog");
  SetFont(m_font.Font());
  if (state != nullptr) {
    SetClientSize(m_font.ToPixelsX(state->rectDlu.right - state->rectDlu.left),
                  m_font.ToPixelsY(state->rectDlu.bottom - state->rectDlu.top));
    if (state->exStyle & WS_EX_APPWINDOW) {
      // A main window, not a passing dialog: desktops then give it its task-bar entry and its
      // minimise button.
      m_bMainWindow = true;
      GtkWindow* window = GTK_WINDOW(GetHandle());
      gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_NORMAL);
      gtk_window_set_skip_taskbar_hint(window, FALSE);
      gtk_window_set_skip_pager_hint(window, FALSE);
    }
    ApplyIcons(*state);
  }
  BuildControls();
  if (FitUnitsToTexts()) LayOut();

  Bind(wxEVT_LEFT_DOWN, &CWxDialogWindow::OnBackgroundDown, this);
  Bind(wxEVT_CONTEXT_MENU, &CWxDialogWindow::OnContextMenu, this);
  Bind(wxEVT_CLOSE_WINDOW, &CWxDialogWindow::OnCloseWindow, this);
  Bind(wxEVT_CHAR_HOOK, &CWxDialogWindow::OnCharHook, this);
  Bind(wxEVT_ICONIZE, &CWxDialogWindow::OnIconize, this);
  if (parent != nullptr) {
    CentreOnParent();
  } else {
    Centre(wxBOTH);
  }
}

bool CWxDialogWindow::Show(bool show) {
  // The main window runs modally, as the program always did, but it is the only window of its
  // own: a modal flag would make desktops treat it as a dialog of some other window (no task
  // bar entry, kept above the rest). Its boxes are modal to it all the same.
  if (show && m_bMainWindow) gtk_window_set_modal(GTK_WINDOW(GetHandle()), FALSE);
  return wxDialog::Show(show);
}

void CWxDialogWindow::InstallStyle() {
  // The templates give a list box the height of one line of text; the theme's default boxes
  // are taller and their button is wide enough to hide "COM1". Only the program's dialogs
  // (marked with the class below) are affected.
  static const char* const kStyle =
      ".quorin-dialog combobox entry { padding-left: 4px; padding-right: 2px; min-height: 0; }\n"
      ".quorin-dialog combobox button { padding-left: 3px; padding-right: 3px; min-height: 0; }\n"
      ".quorin-dialog button { padding-left: 4px; padding-right: 4px; }\n";
  static bool installed = false;
  if (installed) return;
  GtkCssProvider* provider = gtk_css_provider_new();
  if (gtk_css_provider_load_from_data(provider, kStyle, -1, nullptr)) {
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    installed = true;
  }
  g_object_unref(provider);
}

void CWxDialogWindow::SetLabelText(wxStaticText* label, const WindowState& state) {
  if (state.style & SS_NOPREFIX) {
    label->SetLabelText(ToWx(state.text));
  } else {
    label->SetLabel(ToWx(state.text));
  }
}

void CWxDialogWindow::BuildControls() {
  for (HWND hWnd : GetChildWindows(m_hDlg)) {
    const WindowState* state = GetWindowState(hWnd);
    if (state == nullptr) continue;
    Control control = MakeControl(*state);
    if (control.widget == nullptr) continue;
    if (!state->visible) control.widget->Hide();
    m_controls.push_back(control);
  }
}

wxSize CWxDialogWindow::TextNeed(const Control& control) const {
  if (control.painted != nullptr) return wxSize();
  switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::GroupBox: {
      // The toolkit's own request: the label with the theme's padding and border round it.
      gint minWidth = 0, width = 0, minHeight = 0, height = 0;
      gtk_widget_get_preferred_width(control.widget->GetHandle(), &minWidth, &width);
      gtk_widget_get_preferred_height(control.widget->GetHandle(), &minHeight, &height);
      // A group box is a frame round other controls: only its caption's width counts.
      return control.kind == ControlKind::GroupBox ? wxSize(width, 0) : wxSize(width, height);
    }
    case ControlKind::Static: {
      if (control.text == nullptr) return wxSize();
      const wxString text = control.text->GetLabelText();
      if (text.empty()) return wxSize();
      wxClientDC dc(control.text);
      dc.SetFont(control.text->GetFont());
      const wxSize extent = dc.GetMultiLineTextExtent(text);
      // A sunken label's text sits inside its frame, a little in from the left.
      return extent + (control.widget->GetSize() - control.text->GetSize());
    }
    default:
      return wxSize();
  }
}

bool CWxDialogWindow::FitUnitsToTexts() {
  bool grown = false;
  for (const Control& c : m_controls) {
    const WindowState* state = GetWindowState(c.hWnd);
    if (state == nullptr) continue;
    const wxSize need = TextNeed(c);
    if (need.x > 0) grown |= m_font.FitToAtLeastX(state->rectDlu.right - state->rectDlu.left, need.x);
    if (need.y > 0) grown |= m_font.FitToAtLeastY(state->rectDlu.bottom - state->rectDlu.top, need.y);
  }
  return grown;
}

void CWxDialogWindow::LayOut() {
  if (const WindowState* state = GetWindowState(m_hDlg)) {
    SetClientSize(m_font.ToPixelsX(state->rectDlu.right - state->rectDlu.left),
                  m_font.ToPixelsY(state->rectDlu.bottom - state->rectDlu.top));
  }
  for (const Control& c : m_controls) {
    const WindowState* state = GetWindowState(c.hWnd);
    if (state == nullptr) continue;
    const wxRect r = m_font.ToPixels(state->rectDlu);
    if (c.kind == ControlKind::ComboBox) {
      c.widget->SetSize(r.x, r.y, r.width, c.widget->GetSize().y);
    } else if (c.kind == ControlKind::StaticIcon) {
      c.widget->Move(r.GetPosition());
    } else {
      c.widget->SetSize(r);
    }
    if (c.text != nullptr && c.text != c.widget) {
      c.text->SetSize(c.widget->GetClientSize() - wxSize(2, 0));
    }
  }
}

CWxDialogWindow::Control CWxDialogWindow::MakeControl(const WindowState& state) {
  Control control{state.hWnd, state.kind, state.id, nullptr, nullptr, nullptr};
  const wxRect r = m_font.ToPixels(state.rectDlu);
  const HWND hWnd = state.hWnd;
  const int id = state.id;

  if (state.ownerPainted &&
      (state.kind == ControlKind::Static || state.kind == ControlKind::ProgressBar)) {
    auto* panel = new CWxPaintedPanel(this, hWnd, r.GetPosition(), r.GetSize(), BorderStyle(state));
    if (state.kind == ControlKind::Static) {
      // A label lets clicks through to the dialog, as static controls always did.
      panel->Bind(wxEVT_LEFT_DOWN, [this, panel](wxMouseEvent& event) {
        wxMouseEvent forwarded(event);
        forwarded.SetPosition(ScreenToClient(panel->ClientToScreen(event.GetPosition())));
        OnBackgroundDown(forwarded);
      });
    }
    control.widget = panel;
    control.painted = panel;
    return control;
  }

  switch (state.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* button = new wxButton(this, wxID_ANY, ToWx(state.text), r.GetPosition(), r.GetSize());
      if (state.kind == ControlKind::DefPushButton) button->SetDefault();
      button->Bind(wxEVT_BUTTON, [this, hWnd, id](wxCommandEvent&) { OnButton(hWnd, id); });
      control.widget = button;
      break;
    }
    case ControlKind::ComboBox: {
      // The template's height is the open list's; the closed box keeps the toolkit's height.
      auto* combo = new wxComboBox(this, wxID_ANY, wxString(), r.GetPosition(),
                                   wxSize(r.width, -1), Entries(state), wxCB_DROPDOWN);
      combo->Bind(wxEVT_COMBOBOX,
                  [this, hWnd, id, combo](wxCommandEvent&) { OnComboSelected(hWnd, id, combo); });
      combo->Bind(wxEVT_TEXT, [this, hWnd, combo](wxCommandEvent&) { OnComboText(hWnd, combo); });
      // The list's drop-down button belongs to the list: the focus stops once, in its field.
      KeepFocusOffButtons(combo->GetHandle(), nullptr);
      control.widget = combo;
      MirrorCombo(combo, state, WindowChange::Selection);
      break;
    }
    case ControlKind::GroupBox:
      control.widget = new wxStaticBox(this, wxID_ANY, ToWx(state.text), r.GetPosition(), r.GetSize());
      break;
    case ControlKind::StaticIcon: {
      const CPixelBuffer* image = GetIconImage(LoadIconResource(state.iconId));
      wxBitmap bitmap = image != nullptr ? wxBitmap(IconPixelsToImage(*image)) : wxBitmap();
      control.widget = new wxStaticBitmap(this, wxID_ANY, bitmap, r.GetPosition());
      break;
    }
    case ControlKind::ProgressBar: {
      auto* gauge = new wxGauge(this, wxID_ANY, std::max(1, state.rangeHigh - state.rangeLow),
                                r.GetPosition(), r.GetSize(), wxGA_HORIZONTAL | wxGA_SMOOTH);
      gauge->SetValue(std::clamp(state.pos - state.rangeLow, 0, gauge->GetRange()));
      control.widget = gauge;
      break;
    }
    case ControlKind::Static: {
      const long border = BorderStyle(state);
      if (border == wxBORDER_NONE) {
        control.text = new wxStaticText(this, wxID_ANY, wxString(), r.GetPosition(), r.GetSize(),
                                        wxST_NO_AUTORESIZE);
        control.widget = control.text;
      } else {
        // The toolkit draws no border round a label: a framed panel holds it.
        auto* frame = new CLabelFrame(this, r.GetPosition(), r.GetSize(), border);
        control.text = new wxStaticText(frame, wxID_ANY, wxString(), wxPoint(2, 0),
                                        frame->GetClientSize() - wxSize(2, 0), wxST_NO_AUTORESIZE);
        frame->Bind(wxEVT_LEFT_DOWN, [this, frame](wxMouseEvent& event) {
          wxMouseEvent forwarded(event);
          forwarded.SetPosition(ScreenToClient(frame->ClientToScreen(event.GetPosition())));
          OnBackgroundDown(forwarded);
        });
        control.widget = frame;
      }
      SetLabelText(control.text, state);
      break;
    }
  }
  return control;
}

wxWindow* CWxDialogWindow::FindControl(HWND hWnd) const {
  for (const Control& c : m_controls) {
    if (c.hWnd == hWnd) return c.widget;
  }
  return nullptr;
}

CWxPaintedPanel* CWxDialogWindow::FindPaintedControl(HWND hWnd) const {
  for (const Control& c : m_controls) {
    if (c.hWnd == hWnd) return c.painted;
  }
  return nullptr;
}

bool CWxDialogWindow::ControlClientSize(HWND hWnd, wxSize* size) const {
  wxWindow* widget = FindControl(hWnd);
  if (widget == nullptr) return false;
  *size = widget->GetClientSize();
  return true;
}

HWND CWxDialogWindow::ControlWithId(int id) const {
  for (const Control& c : m_controls) {
    if (c.id == id) return c.hWnd;
  }
  return nullptr;
}

LRESULT CWxDialogWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_hDlg == nullptr || !IsWindow(m_hDlg)) return 0;
  return SendMessage(m_hDlg, message, wParam, lParam);
}

// ---- records -> widgets -------------------------------------------------------------------

void CWxDialogWindow::Mirror(HWND hWnd, WindowChange what) {
  const WindowState* state = GetWindowState(hWnd);
  if (state == nullptr) return;
  m_bMirroring = true;
  if (hWnd == m_hDlg) {
    switch (what) {
      case WindowChange::Text:
        SetTitle(ToWx(state->text));
        break;
      case WindowChange::Icon:
        ApplyIcons(*state);
        break;
      case WindowChange::ToolTip:
        ApplyToolTip(this, state->toolTip);
        break;
      case WindowChange::Created:
        SetTitle(ToWx(state->text));
        ApplyIcons(*state);
        ApplyToolTip(this, state->toolTip);
        for (const Control& c : m_controls) Mirror(c.hWnd, WindowChange::Created);
        break;
      default:
        break;
    }
    m_bMirroring = false;
    return;
  }

  for (const Control& c : m_controls) {
    if (c.hWnd != hWnd) continue;
    const bool all = what == WindowChange::Created;
    if (all || what == WindowChange::Visibility) {
      if (c.widget->IsShown() != state->visible) c.widget->Show(state->visible);
    }
    if (all || what == WindowChange::ToolTip) {
      ApplyToolTip(c.widget, state->toolTip);
      // A framed label's text covers its frame.
      if (c.text != nullptr && c.text != c.widget) ApplyToolTip(c.text, state->toolTip);
    }
    // An owner-painted control shows what its object painted: a change it must show has
    // invalidated it already, and anything else (the same position again) shows nothing new.
    if (c.painted != nullptr) break;
    if (auto* combo = dynamic_cast<wxComboBox*>(c.widget)) {
      MirrorCombo(combo, *state, what);
    } else if (auto* gauge = dynamic_cast<wxGauge*>(c.widget)) {
      if (all || what == WindowChange::Progress) {
        gauge->SetRange(std::max(1, state->rangeHigh - state->rangeLow));
        gauge->SetValue(std::clamp(state->pos - state->rangeLow, 0, gauge->GetRange()));
      }
    } else if (c.text != nullptr) {
      if (all || what == WindowChange::Text) SetLabelText(c.text, *state);
    } else if (all || what == WindowChange::Text) {
      if (c.kind != ControlKind::StaticIcon) c.widget->SetLabel(ToWx(state->text));
    }
    break;
  }
  m_bMirroring = false;
}

void CWxDialogWindow::MirrorCombo(wxComboBox* combo, const WindowState& state, WindowChange what) {
  const bool wasMirroring = m_bMirroring;
  m_bMirroring = true;
  const bool all = what == WindowChange::Created;
  if (all || what == WindowChange::Items) combo->Set(Entries(state));
  if (all || what == WindowChange::Items || what == WindowChange::Selection) {
    if (state.curSel >= 0 && static_cast<unsigned>(state.curSel) < combo->GetCount()) {
      combo->SetSelection(state.curSel);
    } else {
      combo->SetSelection(wxNOT_FOUND);
      combo->ChangeValue(wxString());
    }
  } else if (what == WindowChange::Text) {
    combo->ChangeValue(ToWx(state.text));
  }
  m_bMirroring = wasMirroring;
}

void CWxDialogWindow::ApplyIcons(const WindowState& state) {
  wxIconBundle icons;
  const CPixelBuffer* big = GetIconImage(state.bigIcon);
  const CPixelBuffer* small = GetIconImage(state.smallIcon);
  if (big == nullptr) big = small;
  if (small == nullptr) small = big;
  if (big == nullptr) return;
  icons.AddIcon(IconPixelsToIcon(*big, 0));
  icons.AddIcon(IconPixelsToIcon(*small, 16));
  SetIcons(icons);
}

void CWxDialogWindow::UpdateNow(HWND hWnd) {
  if (hWnd == m_hDlg) {
    for (const Control& c : m_controls) {
      if (c.painted != nullptr) c.painted->PaintNow();
    }
    Update();
    return;
  }
  for (const Control& c : m_controls) {
    if (c.hWnd != hWnd) continue;
    if (c.painted != nullptr) {
      c.painted->PaintNow();
    } else {
      // A label without a frame has no window of its own: it is drawn with the dialog.
      c.widget->Refresh();
      c.widget->Update();
      if (c.widget == c.text) Update();
    }
    return;
  }
}

void CWxDialogWindow::StartMoveDrag() {
  // The press may be long over when the dialog's request arrives; a drag without a pressed
  // button would follow the pointer until the next click.
  if (!wxGetMouseState().LeftIsDown()) return;
  const wxPoint at = wxGetMousePosition();
  gtk_window_begin_move_drag(GTK_WINDOW(GetHandle()), 1, at.x, at.y,
                             static_cast<guint32>(m_lastPressTime));
}

// ---- the user -> messages -----------------------------------------------------------------

void CWxDialogWindow::OnButton(HWND hWnd, int id) {
  Send(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED), reinterpret_cast<LPARAM>(hWnd));
}

void CWxDialogWindow::OnComboSelected(HWND hWnd, int id, wxComboBox* combo) {
  if (m_bMirroring || m_hDlg == nullptr) return;
  WindowState* state = GetWindowState(hWnd);
  if (state == nullptr) return;
  state->curSel = combo->GetSelection();
  state->text = FromWx(combo->GetValue());
  Send(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), CBN_SELCHANGE), reinterpret_cast<LPARAM>(hWnd));
}

void CWxDialogWindow::OnComboText(HWND hWnd, wxComboBox* combo) {
  if (m_bMirroring || m_hDlg == nullptr) return;
  if (WindowState* state = GetWindowState(hWnd)) state->text = FromWx(combo->GetValue());
}

void CWxDialogWindow::OnBackgroundDown(wxMouseEvent& event) {
  event.Skip();
  m_lastPressTime = static_cast<unsigned long>(event.GetTimestamp());
  const wxPoint p = event.GetPosition();
  Send(WM_LBUTTONDOWN, MK_LBUTTON,
       MAKELPARAM(static_cast<unsigned>(static_cast<short>(p.x)), static_cast<unsigned>(static_cast<short>(p.y))));
}

void CWxDialogWindow::OnContextMenu(wxContextMenuEvent& event) {
  wxWindow* source = dynamic_cast<wxWindow*>(event.GetEventObject());
  const bool fromKeyboard = event.GetPosition() == wxDefaultPosition;
  // A right click on a control is the control's business; on the dialog (or from the
  // keyboard on anything but a text field) it opens the system menu.
  if (source != this && !(fromKeyboard && dynamic_cast<wxComboBox*>(source) == nullptr)) {
    event.Skip();
    return;
  }
  ShowSystemMenu(fromKeyboard ? wxDefaultPosition : ScreenToClient(event.GetPosition()));
}

void CWxDialogWindow::ShowSystemMenu(const wxPoint& where) {
  const WindowState* state = GetWindowState(m_hDlg);
  if (state == nullptr || !(state->style & WS_SYSMENU)) return;

  // Menu ids are indices into this list of system commands.
  std::vector<UINT> commands;
  wxMenu menu;
  if (state->style & WS_MINIMIZEBOX) {
    menu.Append(static_cast<int>(commands.size()) + 1, "Mi&nimise");
    commands.push_back(SC_MINIMIZE);
  }
  menu.Append(static_cast<int>(commands.size()) + 1, "&Close\tAlt+F4");
  commands.push_back(SC_CLOSE);
  for (const WindowState::MenuItem& item : state->systemMenuExtra) {
    if (item.flags & MF_SEPARATOR) {
      menu.AppendSeparator();
    } else {
      menu.Append(static_cast<int>(commands.size()) + 1, ToWx(item.text));
      commands.push_back(item.id);
    }
  }
  const int chosen = GetPopupMenuSelectionFromUser(menu, where);
  if (chosen < 1 || static_cast<std::size_t>(chosen) > commands.size()) return;
  Send(WM_SYSCOMMAND, commands[static_cast<std::size_t>(chosen) - 1], 0);
}

void CWxDialogWindow::OnCloseWindow(wxCloseEvent& event) {
  if (m_hDlg == nullptr || !event.CanVeto()) {
    event.Skip();
    return;
  }
  // The dialog's object decides; the layer removes this window when it ends.
  event.Veto();
  Send(WM_CLOSE, 0, 0);
}

void CWxDialogWindow::OnCharHook(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  const bool plain = event.GetModifiers() == wxMOD_NONE;
  if (m_hDlg == nullptr || !plain) {
    event.Skip();
    return;
  }
  if (key == WXK_ESCAPE) {
    Send(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(ControlWithId(IDCANCEL)));
    return;
  }
  if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
    // A focused push button is the default one while it has the focus: the toolkit clicks it.
    if (dynamic_cast<wxButton*>(wxWindow::FindFocus()) != nullptr) {
      event.Skip();
      return;
    }
    Send(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ControlWithId(IDOK)));
    return;
  }
  event.Skip();
}

void CWxDialogWindow::OnIconize(wxIconizeEvent& event) {
  event.Skip();
  if (WindowState* state = GetWindowState(m_hDlg)) state->minimized = event.IsIconized();
}

}  // namespace platform
