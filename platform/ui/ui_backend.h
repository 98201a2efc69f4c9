// The backend under the window layer: what shows the windows and asks the user. Three exist:
// the headless backend (headless_backend.h: tests and the terminal mode), the wxWidgets
// backend (wx/: a native window on Linux) and the Win32 backend (win32/: the Windows build).
// Which one runs is chosen once, at start-up.
//
// The window layer owns the state of every window (window.h); it tells the backend what
// changed, and the backend feeds the user's actions back as messages (SendMessage on the
// window thread). The backend runs the modal loop, wakes it for posted messages and has it
// dispatch the timers when they fall due.
#pragma once

#include <string>

#include "platform/ui/pixel_buffer.h"
#include "platform/ui/window.h"

namespace platform {

enum class WindowChange {
  Created,     // the dialog and all its controls exist (after WM_INITDIALOG's preparations)
  Text,        // window text (title for a dialog)
  Visibility,  // a control shown or hidden (a dialog's own state comes as ShowWindow)
  Items,       // combo box entries
  Selection,   // combo box selection
  Progress,    // progress range or position
  Icon,        // dialog icons
  SystemMenu,  // system menu items appended
  ToolTip,     // the window's tooltip text
  Destroyed,   // about to be removed; the record is still readable
};

class IUiBackend {
 public:
  virtual ~IUiBackend() = default;

  // Builds whatever shows the dialog and its controls (records exist already).
  virtual void CreateDialogWindow(HWND hDlg) = 0;
  virtual void DestroyDialogWindow(HWND hDlg) = 0;
  // Runs until the layer calls EndModalLoop for this dialog. Dispatches posted messages.
  virtual void RunModalLoop(HWND hDlg) = 0;
  virtual void EndModalLoop(HWND hDlg) = 0;
  // Any thread: a message was posted; the window thread should call PumpPostedMessages soon.
  virtual void Wake() = 0;
  // Window thread: NextTimerDue() may have changed (a timer set, killed, gone with its window,
  // or dispatched and due again later). A loop that sleeps in a toolkit wakes itself by then.
  virtual void OnTimersChanged() {}
  // A dialog's default handling of a system command (WM_SYSCOMMAND that no handler took):
  // true when the backend carried it out with the desktop's own handling (moving by the
  // caption, the menu from the keyboard), false to leave close, minimise and restore to the
  // layer.
  virtual bool DefaultSystemCommand(HWND hDlg, UINT nID, LPARAM lParam) { return false; }

  virtual void OnWindowChanged(HWND hWnd, WindowChange what) = 0;
  // Paints invalidated owner-painted windows now (WM_ERASEBKGND/WM_PAINT through the layer)
  // and shows the result at once, also when the window thread is busy afterwards.
  virtual void UpdateWindow(HWND hWnd) = 0;
  // The record is marked (WindowState::dirty, eraseBackground) already; invalidating a dialog
  // invalidates its controls too, each reported here.
  virtual void InvalidateWindow(HWND hWnd, bool erase) = 0;

  virtual int MessageBox(HWND hOwner, const std::string& text, const std::string& caption,
                         UINT type) = 0;
  virtual FileDialogResult FileDialog(HWND hOwner, const FileDialogRequest& request) = 0;

  // Window management the desktop does. ShowWindow: a dialog is shown, hidden, minimised or
  // restored; its record says so already.
  virtual void ShowWindow(HWND hWnd, int nCmdShow) = 0;
  virtual void BeginMoveDrag(HWND hDlg, POINT screenPoint) = 0;
  // Pixel size of a window's client area (from the dialog units of its template).
  virtual RECT ClientRectPixels(HWND hWnd) = 0;

  // Drawing services for owner-painted controls (drawing.h uses them).
  virtual COLORREF GetSysColor(int index) = 0;
  virtual int GetSystemMetrics(int index) = 0;
  virtual SIZE MeasureText(HWND hFontOwner, const std::string& text) = 0;
  virtual void RenderText(HWND hFontOwner, CPixelBuffer& target, int x, int y,
                          const std::string& text, COLORREF colour, const RECT& clip) = 0;
  // The control's picture after a paint: show it in one step.
  virtual void PresentPixels(HWND hWnd, const CPixelBuffer& pixels) = 0;
};

// The backend in use; the headless one until another is installed.
IUiBackend& GetUiBackend();
void SetUiBackend(IUiBackend* backend);  // nullptr: back to the headless default

}  // namespace platform
