// The headless backend: the windows exist only as the layer's records. Nothing waits for a
// person: a message box is recorded and answered OK at once, a file dialog takes the next
// answer from a script (none scripted: cancelled). Every change a person would see is recorded
// in order and handed to an observer (the terminal mode prints them; tests read them back).
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ui_backend.h"

namespace platform {

// A dialog's own events (Title, its Visibility, its ToolTip) carry the dialog's template id as id.
struct HeadlessEvent {
  enum Kind {
    Text,        // a control's text (id = control id)
    Title,       // the dialog's title
    MessageBox,  // text = the box's text, detail = its caption, value = its type (MB_*)
    Progress,    // value = position (id = control id)
    Selection,   // value = selection (id = control id)
    Visibility,  // value = 1 shown, 0 hidden
    FileDialog,  // text = the path answered, empty when cancelled; value 1 save, 0 open
    ToolTip,     // text = the window's new tooltip, empty when removed (id = control id)
  };
  Kind kind;
  int id = -1;
  std::string text;
  std::string detail;
  int value = 0;
};

class IHeadlessObserver {
 public:
  virtual ~IHeadlessObserver() = default;
  // On the window thread, in order, as the change happens.
  virtual void OnHeadlessEvent(const HeadlessEvent& event) = 0;
};

class CHeadlessBackend : public IUiBackend {
 public:
  CHeadlessBackend();
  ~CHeadlessBackend() override;

  // ---- scripting (tests, terminal mode) ----
  void SetObserver(IHeadlessObserver* observer);
  // The recorded history keeps at most kMaxRecordedEvents; past that, a quarter goes, the oldest
  // bar positions first (the observer sees every event all the same).
  static constexpr std::size_t kMaxRecordedEvents = 4096;
  std::vector<HeadlessEvent> Events() const;
  void ClearEvents();
  // Back to a fresh backend: events, queued answers, requests, observer, pictures.
  void Reset();
  // Texts of the events of one kind (and control id, -1 for any), in order.
  std::vector<std::string> Texts(HeadlessEvent::Kind kind, int id = -1) const;
  std::vector<int> Values(HeadlessEvent::Kind kind, int id = -1) const;

  // The next Yes/No box is answered so (IDYES or IDNO); unscripted, the answer is No: the
  // choice that changes nothing. Boxes with only OK need no answer.
  void QueueMessageBoxAnswer(int nAnswer);

  // The next file dialog returns this path; std::nullopt: the user cancels.
  void QueueFileDialogAnswer(std::optional<std::string> path);
  // The requests file dialogs were opened with, in order.
  std::vector<FileDialogRequest> FileDialogRequests() const;

  // The points of the caption grabs (drag-to-move) asked for, in order.
  std::vector<POINT> MoveDrags() const;

  // Runs queued actions, posted messages and timers on the calling (window) thread until the
  // predicate holds or the time runs out; TRUE when it held. Between rounds it sleeps until
  // there is something to do or a timer falls due.
  bool PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs);
  void Pump(DWORD milliseconds);
  // Any thread: runs the action on the window thread from the loop.
  void PostAction(std::function<void()> action);

  // What a person does, on the window thread: the message reaches the dialog as it would.
  static void Click(HWND hDlg, int id);                       // BN_CLICKED
  static void SelectComboEntry(HWND hDlg, int id, int index);  // CB_SETCURSEL + CBN_SELCHANGE
  static void CloseWindow(HWND hDlg);                         // WM_CLOSE (close box)
  static void PressEnter(HWND hDlg);                          // IDOK
  static void PressEscape(HWND hDlg);                         // IDCANCEL

  // ---- IUiBackend ----
  void CreateDialogWindow(HWND hDlg) override;
  void DestroyDialogWindow(HWND hDlg) override;
  void RunModalLoop(HWND hDlg) override;
  void EndModalLoop(HWND hDlg) override;
  void Wake() override;
  void OnWindowChanged(HWND hWnd, WindowChange what) override;
  void UpdateWindow(HWND hWnd) override;
  void InvalidateWindow(HWND hWnd, bool erase) override;
  int MessageBox(HWND hOwner, const std::string& text, const std::string& caption,
                 UINT type) override;
  FileDialogResult FileDialog(HWND hOwner, const FileDialogRequest& request) override;
  void ShowWindow(HWND hWnd, int nCmdShow) override;
  void BeginMoveDrag(HWND hDlg, POINT screenPoint) override;
  RECT ClientRectPixels(HWND hWnd) override;
  COLORREF GetSysColor(int index) override;  // the classic Windows defaults
  int GetSystemMetrics(int index) override;
  // A fixed-width face: every character is 6 by 13 pixels; a non-blank one is drawn as a
  // 4 x 9 block one pixel right of and two pixels below its cell's corner.
  SIZE MeasureText(HWND hFontOwner, const std::string& text) override;
  void RenderText(HWND hFontOwner, CPixelBuffer& target, int x, int y, const std::string& text,
                  COLORREF colour, const RECT& clip) override;
  void PresentPixels(HWND hWnd, const CPixelBuffer& pixels) override;
  // The last picture presented for a window (empty when none).
  CPixelBuffer LastPresented(HWND hWnd) const;

  // Pixels per dialog unit used for sizes: 4 horizontal units are this many pixels...
  static constexpr int kBaseUnitX = 7;
  // ...and 8 vertical units this many.
  static constexpr int kBaseUnitY = 14;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;

  void RunRound();
  // Sleeps until an action, a post, the end of hModal's run (if given), the earliest timer or
  // the deadline (if given); false when the deadline came first.
  bool WaitForWork(std::optional<std::chrono::steady_clock::time_point> deadline, HWND hModal);
  void PaintInvalidated();
  void Record(const HeadlessEvent& event);
};

// The process's headless backend (the default backend).
CHeadlessBackend& GetHeadlessBackend();

}  // namespace platform
