// The window layer: windows with handles, message tables, dialogs built from templates and the
// controls the program uses, in the shape the program's classes were written against.
//
// How it works. Every window (a dialog or one of its controls) is a record held by the layer
// under a handle that is never reused; the record holds the control's state (text, visibility,
// list entries and selection, progress range and position, icons). A C++ window object (CWnd
// and its subclasses) may be attached to a record; messages sent to the handle then go through
// the object's message table first and reach the control's built-in handling (DefWindowProc)
// only when no entry takes them, as subclassing did. A backend (ui_backend.h) shows the records:
// the headless backend keeps them in memory and reports what changes; the wxWidgets backend
// mirrors them into native widgets. The program never talks to a backend directly.
//
// Threads. Everything runs on the thread that runs the dialog (the window thread), except
// PostMessage, which any thread may call: the message waits in the layer's queue and is
// dispatched on the window thread by the modal loop.
//
// Timers. SetTimer gives a window a periodic WM_TIMER. Nothing is queued for it: every loop
// the layer runs (the backends' modal loops, the headless pumps) dispatches the timers that
// are due once the posted messages already waiting are through, so a timer never overtakes a
// post and is never starved by a stream of them. A timer handled late is next due a period
// after it was handled: a window thread that was held up sees one late WM_TIMER, not a burst.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform {

class CWnd;
class CDialog;

// ---- message tables ---------------------------------------------------------------------

using AFX_PMSG = LRESULT (*)(CWnd* self, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // window message
  UINT nCode;     // notification code, for WM_COMMAND entries
  UINT nID;       // control id, for WM_COMMAND entries
  AFX_PMSG pfn;   // nullptr ends the table
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* pBaseMap;
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                  \
 public:                                       \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }   \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                    \
    using ThisClass = theClass;                                                        \
    using TheBaseClass = baseClass;                                                    \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                           \
  { 0, 0, 0, nullptr }                                                              \
  }                                                                                 \
  ;                                                                                 \
  static const AFX_MSGMAP messageMap = {TheBaseClass::GetThisMessageMap(), &_messageEntries[0]}; \
  return &messageMap;                                                               \
  }

// LRESULT ThisClass::memberFxn(WPARAM, LPARAM)
#define ON_MESSAGE(message, memberFxn)                                         \
  {message, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {               \
     return static_cast<ThisClass*>(w)->memberFxn(wp, lp);                     \
   }},
// void OnXxx() for a control notification
#define ON_CONTROL(code, id, memberFxn)                                        \
  {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id),                 \
   [](CWnd* w, WPARAM, LPARAM) -> LRESULT {                                    \
     static_cast<ThisClass*>(w)->memberFxn();                                  \
     return 0;                                                                 \
   }},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
// void OnPaint()
#define ON_WM_PAINT()                                                          \
  {WM_PAINT, 0, 0, [](CWnd* w, WPARAM, LPARAM) -> LRESULT {                    \
     static_cast<ThisClass*>(w)->OnPaint();                                    \
     return 0;                                                                 \
   }},
// void OnClose()
#define ON_WM_CLOSE()                                                          \
  {WM_CLOSE, 0, 0, [](CWnd* w, WPARAM, LPARAM) -> LRESULT {                    \
     static_cast<ThisClass*>(w)->OnClose();                                    \
     return 0;                                                                 \
   }},
// void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND()                                                     \
  {WM_SYSCOMMAND, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {         \
     static_cast<ThisClass*>(w)->OnSysCommand(static_cast<UINT>(wp), lp);      \
     return 0;                                                                 \
   }},
// HICON OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                                  \
  {WM_QUERYDRAGICON, 0, 0, [](CWnd* w, WPARAM, LPARAM) -> LRESULT {            \
     return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(w)->OnQueryDragIcon()); \
   }},
// void OnTimer(UINT_PTR nIDEvent)
#define ON_WM_TIMER()                                                          \
  {WM_TIMER, 0, 0, [](CWnd* w, WPARAM wp, LPARAM) -> LRESULT {                 \
     static_cast<ThisClass*>(w)->OnTimer(static_cast<UINT_PTR>(wp));           \
     return 0;                                                                 \
   }},
// void OnLButtonDown(UINT nFlags, POINT point)
#define ON_WM_LBUTTONDOWN()                                                    \
  {WM_LBUTTONDOWN, 0, 0, [](CWnd* w, WPARAM wp, LPARAM lp) -> LRESULT {        \
     POINT pt;                                                                 \
     pt.x = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lp)));       \
     pt.y = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lp)));       \
     static_cast<ThisClass*>(w)->OnLButtonDown(static_cast<UINT>(wp), pt);     \
     return 0;                                                                 \
   }},

// ---- templates --------------------------------------------------------------------------

// Window styles (only those the templates use; values as on Windows).
constexpr UINT WS_POPUP = 0x80000000;
constexpr UINT WS_VISIBLE = 0x10000000;
constexpr UINT WS_CAPTION = 0x00C00000;
constexpr UINT WS_BORDER = 0x00800000;
constexpr UINT WS_VSCROLL = 0x00200000;
constexpr UINT WS_SYSMENU = 0x00080000;
constexpr UINT WS_GROUP = 0x00020000;
constexpr UINT WS_TABSTOP = 0x00010000;
constexpr UINT WS_MINIMIZEBOX = 0x00020000;
constexpr UINT WS_CHILD = 0x40000000;
constexpr UINT DS_MODALFRAME = 0x0080;
constexpr UINT DS_SETFONT = 0x0040;
constexpr UINT WS_EX_APPWINDOW = 0x00040000;
constexpr UINT WS_EX_STATICEDGE = 0x00020000;
constexpr UINT BS_PUSHBUTTON = 0x0000;
constexpr UINT BS_DEFPUSHBUTTON = 0x0001;
constexpr UINT BS_GROUPBOX = 0x0007;
constexpr UINT CBS_DROPDOWN = 0x0002;
constexpr UINT SS_LEFT = 0x0000;
constexpr UINT SS_ICON = 0x0003;
constexpr UINT SS_ETCHEDHORZ = 0x0010;
constexpr UINT SS_NOPREFIX = 0x0080;
constexpr UINT SS_SUNKEN = 0x1000;

enum class ControlKind {
  PushButton,
  DefPushButton,
  GroupBox,
  Static,
  StaticIcon,
  ComboBox,
  ProgressBar,
};

struct ControlTemplate {
  ControlKind kind;
  int id;  // -1: no id (IDC_STATIC)
  std::string text;
  int x, y, cx, cy;  // dialog units
  UINT style;        // WS_*, BS_*, CBS_*, SS_* as in the resource script
  UINT exStyle;
  std::vector<std::string> items;  // combo box entries the template fills, in order
  int iconId;                      // StaticIcon: the icon resource
};

struct DialogTemplate {
  int id;
  std::string caption;
  std::string fontFace;
  int pointSize;
  int cx, cy;  // dialog units
  UINT style;
  UINT exStyle;
  std::vector<ControlTemplate> controls;  // template order = tab order
};

// Resource lookups; resources/ registers its templates, strings and icons at start-up.
void RegisterDialogTemplate(const DialogTemplate& tmpl);
const DialogTemplate* FindDialogTemplate(int id);
void RegisterStringResource(int id, const std::string& text);
std::string LoadStringResource(int id);  // empty when missing
class CPixelBuffer;
void RegisterIconResource(int id, const CPixelBuffer& image);
// The picture is made by render the first time GetIconImage asks for it, on the thread that
// asks: a run that never shows the icon (the terminal mode) never pays for it.
void RegisterIconResource(int id, std::function<CPixelBuffer()> render);
HICON LoadIconResource(int id);  // nullptr when missing
const CPixelBuffer* GetIconImage(HICON icon);

// ---- the layer's free functions (Win32 names) -------------------------------------------

LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Any thread. FALSE when the window is gone.
BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
BOOL IsWindow(HWND hWnd);
// A window with no picture that only receives messages (the owner of a serial link in tests
// and tools). The object stays the caller's; DestroyWindow or its destructor removes it.
HWND CreateMessageWindow(CWnd* pObject);
// Dispatches every posted message that is waiting; returns how many. Window thread only.
// Timers are the loops' to dispatch (DispatchDueTimers below).
int PumpPostedMessages();
// Waits (window thread) until a message is posted or the time runs out.
void WaitForPostedMessage(DWORD dwMilliseconds);
// Removes the window (and a dialog's controls): WM_DESTROY, WM_NCDESTROY, then the attached
// object's PostNcDestroy. FALSE for a dead handle.
BOOL DestroyWindow(HWND hWnd);
// The dialog's control with the id, or nullptr.
HWND GetDlgItem(HWND hDlg, int nID);
// Paints the window now through its object: WM_ERASEBKGND (wParam 0, which the drawing layer
// takes as the window's own paint buffer) when an erase is pending or asked for, then
// WM_PAINT; the pending flags are cleared first. Backends call it (window thread).
void PaintWindowNow(HWND hWnd, bool bErase = false);
// WM_GETFONT answers with the font of the window's dialog; that font's handle is the dialog's
// window handle, so the backend can tell which face it stands for.
HWND GetFontOwner(HFONT hFont);  // nullptr when the font is no dialog's

// ---- timers ------------------------------------------------------------------------------

// WM_TIMER (wParam = nIDEvent, lParam = 0) to the window every uElapse milliseconds (at least
// USER_TIMER_MINIMUM) until KillTimer or the window's end. Setting an id again replaces its
// timer: the new period, counted from now. Nonzero on success (nIDEvent itself unless it is
// 0), 0 for a window that is gone or going. Window thread only, as KillTimer.
UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse);
BOOL KillTimer(HWND hWnd, UINT_PTR nIDEvent);  // FALSE when there is no such timer

// How late one timer's WM_TIMER messages were handled since SetTimer last set it: the time
// each was dispatched minus the time it fell due.
struct TimerLateness {
  std::uint64_t count = 0;  // WM_TIMER messages dispatched
  double maxMs = 0.0;       // the latest of them, in milliseconds
};
// Any thread. The record outlives the timer and its window (a handle is never reused), so a
// run's figure can be read after its window closed; an id never set reads as nothing.
TimerLateness GetTimerLateness(HWND hWnd, UINT_PTR nIDEvent);

// For backends, on the window thread: when the earliest timer falls due (nothing when there
// is no timer), and the dispatch of every timer due now (returns how many). A loop calls
// PumpPostedMessages first. IUiBackend::OnTimersChanged says when the first changes.
std::optional<std::chrono::steady_clock::time_point> NextTimerDue();
int DispatchDueTimers();

// The record behind a handle, for backends.
struct WindowState {
  HWND hWnd = nullptr;
  HWND hParent = nullptr;
  bool isDialog = false;
  ControlKind kind = ControlKind::Static;  // controls only
  int id = -1;
  int templateId = 0;  // dialogs: the template they were built from
  std::string text;
  UINT style = 0;
  UINT exStyle = 0;
  RECT rectDlu;  // position in dialog units (controls), size in dialog units (dialogs)
  bool visible = true;
  bool minimized = false;
  std::vector<std::string> items;
  int curSel = CB_ERR;
  int rangeLow = 0, rangeHigh = 100, pos = 0;
  HICON bigIcon = nullptr, smallIcon = nullptr;
  int iconId = 0;
  struct MenuItem {
    UINT flags;
    UINT id;
    std::string text;
  };
  std::vector<MenuItem> systemMenuExtra;  // items appended to the system menu
  std::string toolTip;                    // shown while the pointer rests on it; empty: none
  bool ownerPainted = false;              // an attached object paints it (WM_PAINT entry)
  CWnd* object = nullptr;                 // attached window object, if any
  bool dirty = false;                     // invalidated, not painted since
  bool eraseBackground = false;           // the next paint erases first
  bool messageOnly = false;               // CreateMessageWindow: nothing to show
};
// Window thread only; nullptr for a dead handle.
WindowState* GetWindowState(HWND hWnd);
std::vector<HWND> GetChildWindows(HWND hDlg);  // in template order

// ---- window objects ---------------------------------------------------------------------

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }

  static CWnd* FromHandle(HWND hWnd);  // the attached object, or nullptr

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  // Routes a message through the message tables of this class and its bases; what no entry
  // takes goes to DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The window's built-in handling (the control's own procedure, or the dialog default).
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;

  void SetWindowText(const std::string& text);
  std::string GetWindowText() const;
  BOOL ShowWindow(int nCmdShow);
  BOOL IsIconic() const;
  void Invalidate(BOOL bErase = TRUE);
  void UpdateWindow();
  BOOL RedrawWindow(UINT flags);
  void GetClientRect(RECT* rect) const;  // pixels
  CWnd* GetParent() const;
  CWnd* GetDlgItem(int id) const;  // a temporary wrapper for unattached controls
  HICON SetIcon(HICON hIcon, BOOL bBigIcon);
  BOOL DestroyWindow();

  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse);
  BOOL KillTimer(UINT_PTR nIDEvent);
  // The window's tooltip; an empty text removes it.
  void SetToolTipText(const std::string& text);

  // Attaches this object to the dialog's control (subclassing): messages to the control reach
  // this object's table first.
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);

  // System menu: the items the program appended (Windows gave it a whole menu; desktops
  // without one show these items another way, e.g. in a context menu).
  BOOL AppendSystemMenu(UINT flags, UINT id, const std::string& text);
  BOOL HasSystemMenu() const;

 protected:
  virtual void PostNcDestroy();
  void Default();  // passes the message being handled to DefWindowProc

 private:
  friend class CWindowManager;
  UINT m_curMessage = 0;
  WPARAM m_curWParam = 0;
  LPARAM m_curLParam = 0;
};

class CStatic : public CWnd {};
class CButton : public CWnd {};

class CComboBox : public CWnd {
 public:
  int AddString(const std::string& text);
  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int index);  // CB_ERR when out of range (the selection is then cleared)
  std::string GetLBText(int index) const;
};

class CProgressCtrl : public CWnd {
 public:
  void SetRange(short lower, short upper);
  void SetRange32(int lower, int upper);
  void GetRange(int& lower, int& upper) const;
  int SetPos(int pos);  // clamped to the range; returns the previous position
  int GetPos() const;
};

// Data exchange: binds a member object to the dialog's control.
void DDX_Control(CDialog* pDlg, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParent = nullptr);
  ~CDialog() override;

  // Builds the window from its template, initialises it and runs it until EndDialog or its
  // destruction; returns the EndDialog result (IDCANCEL when it was destroyed, -1 when it could
  // not be built). The main window's destruction ends every modal run.
  virtual INT_PTR DoModal();
  // Builds and initialises the window without running a loop (tests pump it themselves).
  BOOL Create();
  void EndDialog(int nResult);
  bool IsModalRunEnded() const { return m_bEnded; }
  int ModalResult() const { return m_nResult; }

  virtual BOOL OnInitDialog();
  virtual void OnOK();      // Enter: EndDialog(IDOK)
  virtual void OnCancel();  // Escape, WM_CLOSE: EndDialog(IDCANCEL)
  virtual void DoDataExchange();

  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  static const AFX_MSGMAP* GetThisMessageMap();
  const AFX_MSGMAP* GetMessageMap() const override;


 private:
  friend class CWindowManager;
  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
  bool m_bEnded = false;
  int m_nResult = IDCANCEL;
};

// The application object's slot for the main window and the three-dimensional look call.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  virtual BOOL InitInstance() { return TRUE; }
  void Enable3dControls() {}  // the look is the toolkit's own
  CWnd* m_pMainWnd = nullptr;
};
CWinApp* AfxGetApp();
// CWinApp::m_pMainWnd when set, else the dialog of the outermost modal run (nullptr if none).
CWnd* AfxGetMainWnd();

// ---- modal boxes and common dialogs -----------------------------------------------------

// Modal, on the window thread; the caption is normally the executable's base name.
int MessageBox(HWND hOwner, const std::string& text, const std::string& caption, UINT type);
// AfxMessageBox: the executable's base name as caption, owned by the main window.
int AfxMessageBox(const std::string& text, UINT type = MB_OK | MB_ICONEXCLAMATION);

struct FileDialogRequest {
  bool save = false;           // file-save dialog instead of file-open
  std::string filter;          // Windows filter string: "Name (*.a)|*.a|All (*.*)|*.*||"
  std::string initialFolder;   // empty: the toolkit's choice
  std::string defaultExt;      // empty: none
  std::string fileName;        // preset name, empty: none
  bool hideReadOnly = true;
  bool overwritePrompt = false;
};
struct FileDialogResult {
  bool ok = false;
  std::string path;      // full path
  std::string fileName;  // name without folder
  std::string ext;       // extension without the dot, empty when none
};
FileDialogResult RunFileDialog(HWND hOwner, const FileDialogRequest& request);

// Splits a Windows filter string into (description, patterns) pairs; patterns are ';'-separated.
std::vector<std::pair<std::string, std::string>> ParseFileFilter(const std::string& filter);

}  // namespace platform
