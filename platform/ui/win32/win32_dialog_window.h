// CWin32DialogWindow: the native dialog for one of the window layer's dialog records, built from
// the records with CreateDialogIndirectParamW: the template's font and dialog units, controls of
// the real classes (the owner-painted ones of CWin32PaintedControl's class), in template order.
// What the user does reaches the dialog's object as the layer's messages:
//   button click             -> WM_COMMAND (id, BN_CLICKED)
//   list entry chosen        -> the record's selection, then WM_COMMAND (id, CBN_SELCHANGE)
//   Enter / Escape           -> WM_COMMAND IDOK / IDCANCEL (the dialog manager's keys)
//   close box, system menu   -> WM_SYSCOMMAND; its default comes back to DefWindowProc
//   WM_CLOSE, left press on the dialog's surface -> the same messages
// Changes of the records come back through Mirror.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ui_backend.h"
#include "platform/ui/window.h"
#include "platform/ui/win32/win32_painted_control.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform {

class CWin32DialogWindow {
 public:
  // Builds the native dialog, hidden, owned by owner; Native() is nullptr when that failed.
  CWin32DialogWindow(platform::HWND hDlg, ::HWND owner);
  ~CWin32DialogWindow();
  CWin32DialogWindow(const CWin32DialogWindow&) = delete;
  CWin32DialogWindow& operator=(const CWin32DialogWindow&) = delete;

  platform::HWND Handle() const { return m_hDlg; }
  ::HWND Native() const { return m_native; }
  // The native window of the dialog or of one of its controls (nullptr for none of them).
  ::HWND NativeFor(platform::HWND hWnd) const;
  CWin32PaintedControl* PaintedFor(platform::HWND hWnd) const;
  bool Owns(platform::HWND hWnd) const { return hWnd == m_hDlg || FindControl(hWnd) != nullptr; }

  void Mirror(platform::HWND hWnd, WindowChange what);
  void Show(int nCmdShow);
  void Invalidate(platform::HWND hWnd);
  void UpdateNow(platform::HWND hWnd);
  // The records are going: from now on nothing the user does reaches the layer.
  void Detach() { m_hDlg = nullptr; }
  void DestroyNative();

 private:
  struct Control {
    platform::HWND hWnd;
    ::HWND native;
    ControlKind kind;
    int id;
    std::unique_ptr<CWin32PaintedControl> painted;
  };

  static INT_PTR CALLBACK DialogProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool AttachControls();
  const Control* FindControl(platform::HWND hWnd) const;
  const Control* FindNative(::HWND native) const;
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(WPARAM wParam, LPARAM lParam);
  void OnComboChosen(const Control& control);

  void MirrorControl(const Control& control, const WindowState& state, WindowChange what);
  void MirrorCombo(::HWND native, const WindowState& state, WindowChange what);
  void ApplyIcons(const WindowState& state);
  void ApplyStaticIcon(const Control& control, const WindowState& state);
  void ApplySystemMenu(const WindowState& state);
  void ApplyToolTip(::HWND target, const std::string& text);
  void CentreOnOwner();

  platform::HWND m_hDlg;
  ::HWND m_native = nullptr;
  std::vector<Control> m_controls;
  ::HICON m_bigIcon = nullptr;
  ::HICON m_smallIcon = nullptr;
  std::vector<::HICON> m_controlIcons;
  std::size_t m_menuItemsShown = 0;
  ::HWND m_toolTip = nullptr;
  bool m_mirroring = false;
  bool m_placed = false;
};

}  // namespace platform
