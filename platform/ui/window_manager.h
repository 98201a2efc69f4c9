// Inside the window layer: the registry of window records, the posted-message queue, message
// dispatch to attached objects and the built-in procedures, and the lifetime of windows.
// Only the layer's own units include this header.
#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "platform/ui/window.h"

namespace platform {

class CWindowManager {
 public:
  // ---- records ----
  // Registers a record (its hWnd is filled in) under a new handle; a control is added to its
  // parent's children in order.
  static HWND NewWindow(WindowState state);
  static WindowState* Find(HWND hWnd);
  static std::vector<HWND> Children(HWND hWnd);
  static bool IsDestroying(HWND hWnd);
  // A wrapper object for a record that has none attached; it lives as long as the record.
  static CWnd* Wrapper(HWND hWnd);
  static HWND DialogOf(HWND hWnd);  // the dialog a control belongs to, or the dialog itself

  // ---- messages ----
  static LRESULT Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT DefaultProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  static BOOL Post(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  static int Pump();
  static void WaitForPost(DWORD dwMilliseconds);

  // ---- timers ----
  static UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse);
  static BOOL KillTimer(HWND hWnd, UINT_PTR nIDEvent);
  static TimerLateness TimerLatenessOf(HWND hWnd, UINT_PTR nIDEvent);
  static std::optional<std::chrono::steady_clock::time_point> NextTimerDue();
  static int DispatchDueTimers();

  // ---- state changes a person would see ----
  static BOOL Show(HWND hWnd, int nCmdShow);
  static void Invalidate(HWND hWnd, bool erase);

  // ---- objects ----
  static bool HasMapEntry(const CWnd* pWnd, UINT message);
  static BOOL Attach(HWND hWnd, CWnd* pWnd);
  static void ObjectGone(CWnd* pWnd);
  static void CallPostNcDestroy(CWnd* pWnd) { pWnd->PostNcDestroy(); }

  // ---- dialogs ----
  static BOOL CreateDialogFor(CDialog* pDlg);
  static INT_PTR RunModal(CDialog* pDlg);
  static void EndDialog(CDialog* pDlg, int nResult);
  static CDialog* OutermostModal();

  static BOOL Destroy(HWND hWnd);

 private:
  static void RemoveRecord(HWND hWnd);
  static void EndModalRunsFor(HWND hWnd, bool all);
};

}  // namespace platform
