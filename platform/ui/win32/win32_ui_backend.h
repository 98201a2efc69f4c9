// CWin32UiBackend: the window layer's backend on Win32. Each dialog record becomes a
// CWin32DialogWindow. A modal run is a GetMessage loop with IsDialogMessage that disables the
// dialog's owner while it runs. The layer's posted messages and timers go through a
// message-only window of ours: a post from any thread posts it a private message (one at a
// time), and one native timer on it is kept at the layer's earliest due time, so every loop
// the thread runs (ours, a message box's, a file dialog's, a window move's, a menu's)
// dispatches them.
//
// The object lives as long as the process: PostMessage may reach Wake from a reader thread at
// any moment, also while the backend is being stopped.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/ui_backend.h"
#include "platform/ui/win32/win32_dialog_window.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform {

class CWin32UiBackend : public IUiBackend {
 public:
  static CWin32UiBackend& Instance();

  bool Activate();
  // Removes what is left and stops taking wake-ups.
  void Deactivate();

  CWin32DialogWindow* FindDialog(platform::HWND hDlg) const;
  // The dialog a window belongs to (itself, or a control's dialog).
  CWin32DialogWindow* FindOwningDialog(platform::HWND hWnd) const;
  // The native window shown for a dialog or control record (nullptr when none).
  ::HWND NativeWindow(platform::HWND hWnd) const;

  // Held by a native window procedure while it calls into the layer: a dialog destroyed
  // meanwhile is deleted once the last scope ends, not under the procedure's feet.
  class CDispatchScope {
   public:
    CDispatchScope();
    ~CDispatchScope();
    CDispatchScope(const CDispatchScope&) = delete;
    CDispatchScope& operator=(const CDispatchScope&) = delete;
  };

  // ---- IUiBackend ----
  void CreateDialogWindow(platform::HWND hDlg) override;
  void DestroyDialogWindow(platform::HWND hDlg) override;
  void RunModalLoop(platform::HWND hDlg) override;
  void EndModalLoop(platform::HWND hDlg) override;
  void Wake() override;
  void OnTimersChanged() override;
  bool DefaultSystemCommand(platform::HWND hDlg, UINT nID, LPARAM lParam) override;
  void OnWindowChanged(platform::HWND hWnd, WindowChange what) override;
  void UpdateWindow(platform::HWND hWnd) override;
  void InvalidateWindow(platform::HWND hWnd, bool erase) override;
  int MessageBox(platform::HWND hOwner, const std::string& text, const std::string& caption,
                 UINT type) override;
  FileDialogResult FileDialog(platform::HWND hOwner, const FileDialogRequest& request) override;
  void ShowWindow(platform::HWND hWnd, int nCmdShow) override;
  void BeginMoveDrag(platform::HWND hDlg, platform::POINT screenPoint) override;
  platform::RECT ClientRectPixels(platform::HWND hWnd) override;
  COLORREF GetSysColor(int index) override;
  int GetSystemMetrics(int index) override;
  platform::SIZE MeasureText(platform::HWND hFontOwner, const std::string& text) override;
  void RenderText(platform::HWND hFontOwner, CPixelBuffer& target, int x, int y,
                  const std::string& text, COLORREF colour, const platform::RECT& clip) override;
  void PresentPixels(platform::HWND hWnd, const CPixelBuffer& pixels) override;

 private:
  CWin32UiBackend() = default;
  static LRESULT CALLBACK PumpWindowProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnWake();
  void OnTimerDue();
  // The window a box belongs to: the owner's dialog when it is shown, else the innermost
  // modal dialog that is shown, else none.
  ::HWND BoxOwnerFor(platform::HWND hOwner) const;
  ::HFONT FontFor(platform::HWND hFontOwner) const;
  void ReleaseGraveyard();

  std::map<platform::HWND, std::unique_ptr<CWin32DialogWindow>> m_dialogs;
  std::vector<std::unique_ptr<CWin32DialogWindow>> m_graveyard;
  std::vector<platform::HWND> m_modal;  // innermost last
  std::set<platform::HWND> m_endRequested;
  int m_dispatchDepth = 0;
  ::HWND m_pump = nullptr;

  std::mutex m_wakeMutex;
  bool m_bActive = false;
  std::atomic<bool> m_bWakeQueued{false};
};

}  // namespace platform
