// CWxDialogWindow: the native dialog for one of the window layer's dialog records. It builds
// a widget for every control record, in template order (which is the tab order), at the
// control's dialog-unit position in the template's font, and turns what the user does into
// the messages the dialog's object expects:
//   button click        -> WM_COMMAND (id, BN_CLICKED)
//   list entry chosen   -> the record's selection, then WM_COMMAND (id, CBN_SELCHANGE)
//   close box, Alt+F4   -> WM_CLOSE
//   Enter / Escape      -> WM_COMMAND IDOK / IDCANCEL (Enter on a focused button clicks it)
//   left press on the background -> WM_LBUTTONDOWN (the object asks for the move drag)
//   right click on the background -> the system menu as a context menu -> WM_SYSCOMMAND
// Changes of the records come back through Mirror.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/ui_backend.h"
#include "platform/ui/window.h"
#include "platform/ui/wx/wx_common.h"
#include "platform/ui/wx/wx_dialog_font.h"

namespace platform {

class CWxPaintedPanel;

class CWxDialogWindow : public wxDialog {
 public:
  CWxDialogWindow(HWND hDlg, wxWindow* parent, const CWxDialogFont& font);

  HWND Handle() const { return m_hDlg; }
  const CWxDialogFont& DialogFont() const { return m_font; }

  // The widget of one of this dialog's controls (nullptr when it is none of them).
  wxWindow* FindControl(HWND hWnd) const;
  CWxPaintedPanel* FindPaintedControl(HWND hWnd) const;
  // The control's client area in pixels; false when hWnd is none of this dialog's controls.
  bool ControlClientSize(HWND hWnd, wxSize* size) const;

  // Brings a widget (or the dialog itself) in line with its record.
  void Mirror(HWND hWnd, WindowChange what);
  // Repaints the window now: owner-painted controls through their objects, native ones by the
  // toolkit, before this call returns.
  void UpdateNow(HWND hWnd);
  void StartMoveDrag();
  // The records are gone: from now on nothing the user does reaches the layer.
  void Detach() { m_hDlg = nullptr; }

  bool Show(bool show = true) override;

  // The look every dialog of the program shares (compact list boxes, like the templates').
  static void InstallStyle();

 private:
  struct Control {
    HWND hWnd;
    ControlKind kind;
    int id;
    wxWindow* widget;          // the dialog's child
    wxStaticText* text;        // a label's text (inside its frame when it has a border)
    CWxPaintedPanel* painted;  // an owner-painted control's panel
  };

  void BuildControls();
  Control MakeControl(const WindowState& state);
  // What a control's template text needs, its padding and frame included; 0 where nothing is
  // to fit (lists, bars, pictures, labels without a text of the template's).
  wxSize TextNeed(const Control& control) const;
  // Grows the dialog units until every template text fits its control; true when they grew.
  bool FitUnitsToTexts();
  // Places the dialog's size and every control anew in the current units.
  void LayOut();
  static void SetLabelText(wxStaticText* label, const WindowState& state);
  void MirrorCombo(wxComboBox* combo, const WindowState& state, WindowChange what);
  void ApplyIcons(const WindowState& state);
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);
  HWND ControlWithId(int id) const;

  void OnButton(HWND hWnd, int id);
  void OnComboSelected(HWND hWnd, int id, wxComboBox* combo);
  void OnComboText(HWND hWnd, wxComboBox* combo);
  void OnBackgroundDown(wxMouseEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  void OnCloseWindow(wxCloseEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnIconize(wxIconizeEvent& event);
  void ShowSystemMenu(const wxPoint& where);

  HWND m_hDlg;
  CWxDialogFont m_font;
  std::vector<Control> m_controls;
  bool m_bMainWindow = false;  // the application's window, not a passing dialog
  bool m_bMirroring = false;
  unsigned long m_lastPressTime = 0;
};

}  // namespace platform
