// CWxUiBackend: the window layer's backend on wxWidgets. Each dialog record becomes a
// CWxDialogWindow; modal runs are the toolkit's modal dialogs; a message posted from another
// thread wakes the toolkit's loop (a queued call, so it never waits for the user to move the
// mouse) and is dispatched on the window thread. One toolkit timer stands for the layer's
// timers: it is set to the earliest due time, so whatever loop the toolkit runs (a modal
// dialog's, a message box's, a file dialog's) dispatches them.
//
// The object lives as long as the process: PostMessage may reach Wake from a reader thread at
// any moment, also while the toolkit is being shut down.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/ui_backend.h"
#include "platform/ui/wx/wx_common.h"
#include "platform/ui/wx/wx_dialog_font.h"

namespace platform {

class CWxDialogWindow;

class CWxUiBackend : public IUiBackend {
 public:
  static CWxUiBackend& Instance();

  void Activate();
  // Closes what is left and stops taking wake-ups; the toolkit is still up.
  void Deactivate();

  CWxDialogWindow* FindDialog(HWND hDlg) const;
  // The dialog a window belongs to (itself, or a control's dialog).
  CWxDialogWindow* FindOwningDialog(HWND hWnd) const;
  // The widget of a dialog or control record (nullptr when none is shown for it).
  wxWindow* FindWidget(HWND hWnd) const;
  const CWxDialogFont& FontFor(HWND hWnd);

  // ---- IUiBackend ----
  void CreateDialogWindow(HWND hDlg) override;
  void DestroyDialogWindow(HWND hDlg) override;
  void RunModalLoop(HWND hDlg) override;
  void EndModalLoop(HWND hDlg) override;
  void Wake() override;
  void OnTimersChanged() override;
  void OnWindowChanged(HWND hWnd, WindowChange what) override;
  void UpdateWindow(HWND hWnd) override;
  void InvalidateWindow(HWND hWnd, bool erase) override;
  int MessageBox(HWND hOwner, const std::string& text, const std::string& caption,
                 UINT type) override;
  FileDialogResult FileDialog(HWND hOwner, const FileDialogRequest& request) override;
  void ShowWindow(HWND hWnd, int nCmdShow) override;
  void BeginMoveDrag(HWND hDlg, POINT screenPoint) override;
  RECT ClientRectPixels(HWND hWnd) override;
  COLORREF GetSysColor(int index) override;
  int GetSystemMetrics(int index) override;
  SIZE MeasureText(HWND hFontOwner, const std::string& text) override;
  void RenderText(HWND hFontOwner, CPixelBuffer& target, int x, int y, const std::string& text,
                  COLORREF colour, const RECT& clip) override;
  void PresentPixels(HWND hWnd, const CPixelBuffer& pixels) override;

 private:
  CWxUiBackend() = default;
  // The window a new dialog or a box belongs to: the owner's dialog when it is shown, else the
  // innermost modal dialog, else the main window.
  wxWindow* ParentFor(HWND hOwner) const;
  void OnWake();
  void OnTimerDue();

  std::map<HWND, CWxDialogWindow*> m_dialogs;
  std::vector<CWxDialogWindow*> m_modal;        // innermost last
  std::set<CWxDialogWindow*> m_destroyAfterRun;  // destroyed while its modal run was on
  std::set<HWND> m_endedBeforeRun;
  std::map<std::pair<std::string, int>, std::unique_ptr<CWxDialogFont>> m_fonts;
  std::unique_ptr<wxTimer> m_timer;  // while active: it needs the toolkit

  std::mutex m_wakeMutex;
  bool m_bActive = false;
  std::atomic<bool> m_bWakeQueued{false};
};

}  // namespace platform
