#include "platform/ui/window.h"

#include <vector>

#include "platform/ui/ui_backend.h"
#include "platform/ui/window_manager.h"

namespace platform {

// ---- free functions -----------------------------------------------------------------------

LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return CWindowManager::Dispatch(hWnd, message, wParam, lParam);
}

BOOL PostMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return CWindowManager::Post(hWnd, message, wParam, lParam);
}

BOOL IsWindow(HWND hWnd) { return CWindowManager::Find(hWnd) != nullptr ? TRUE : FALSE; }

HWND CreateMessageWindow(CWnd* pObject) {
  if (pObject == nullptr || pObject->m_hWnd != nullptr) return nullptr;
  WindowState state;
  state.messageOnly = true;
  state.visible = false;
  const HWND hWnd = CWindowManager::NewWindow(std::move(state));
  CWindowManager::Attach(hWnd, pObject);
  return hWnd;
}

int PumpPostedMessages() { return CWindowManager::Pump(); }

void WaitForPostedMessage(DWORD dwMilliseconds) { CWindowManager::WaitForPost(dwMilliseconds); }

BOOL DestroyWindow(HWND hWnd) { return CWindowManager::Destroy(hWnd); }

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse) {
  return CWindowManager::SetTimer(hWnd, nIDEvent, uElapse);
}

BOOL KillTimer(HWND hWnd, UINT_PTR nIDEvent) { return CWindowManager::KillTimer(hWnd, nIDEvent); }

TimerLateness GetTimerLateness(HWND hWnd, UINT_PTR nIDEvent) {
  return CWindowManager::TimerLatenessOf(hWnd, nIDEvent);
}

std::optional<std::chrono::steady_clock::time_point> NextTimerDue() {
  return CWindowManager::NextTimerDue();
}

int DispatchDueTimers() { return CWindowManager::DispatchDueTimers(); }

HWND GetDlgItem(HWND hDlg, int nID) {
  for (HWND hChild : CWindowManager::Children(hDlg)) {
    const WindowState* state = CWindowManager::Find(hChild);
    if (state != nullptr && state->id == nID) return hChild;
  }
  return nullptr;
}

void PaintWindowNow(HWND hWnd, bool bErase) {
  WindowState* state = CWindowManager::Find(hWnd);
  if (state == nullptr) return;
  const bool erase = bErase || state->eraseBackground;
  // Cleared first: whatever the paint invalidates again is painted next time.
  state->dirty = false;
  state->eraseBackground = false;
  if (erase) CWindowManager::Dispatch(hWnd, WM_ERASEBKGND, 0, 0);
  CWindowManager::Dispatch(hWnd, WM_PAINT, 0, 0);
}

HWND GetFontOwner(HFONT hFont) {
  const HWND hWnd = reinterpret_cast<HWND>(hFont);
  const WindowState* state = CWindowManager::Find(hWnd);
  return state != nullptr && state->isDialog ? hWnd : nullptr;
}

WindowState* GetWindowState(HWND hWnd) { return CWindowManager::Find(hWnd); }

std::vector<HWND> GetChildWindows(HWND hDlg) { return CWindowManager::Children(hDlg); }

// ---- CWnd ---------------------------------------------------------------------------------

CWnd::~CWnd() {
  if (m_hWnd != nullptr) CWindowManager::ObjectGone(this);
}

CWnd* CWnd::FromHandle(HWND hWnd) {
  const WindowState* state = CWindowManager::Find(hWnd);
  return state != nullptr ? state->object : nullptr;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return platform::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return platform::PostMessage(m_hWnd, message, wParam, lParam);
}

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
  static const AFX_MSGMAP messageMap = {nullptr, &entries[0]};
  return &messageMap;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    if (OnCommand(wParam, lParam)) return 0;
    return DefWindowProc(message, wParam, lParam);
  }
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr; map = map->pBaseMap) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn != nullptr; ++entry) {
      if (entry->nMessage == message) return entry->pfn(this, wParam, lParam);
    }
  }
  return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return CWindowManager::DefaultProc(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  const UINT nCode = HIWORD(wParam);
  const UINT nID = LOWORD(wParam);
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr; map = map->pBaseMap) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn != nullptr; ++entry) {
      if (entry->nMessage == WM_COMMAND && entry->nCode == nCode && entry->nID == nID) {
        entry->pfn(this, wParam, lParam);
        return TRUE;
      }
    }
  }
  return FALSE;
}

void CWnd::SetWindowText(const std::string& text) {
  SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string CWnd::GetWindowText() const {
  const LRESULT length = platform::SendMessage(m_hWnd, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT copied = platform::SendMessage(m_hWnd, WM_GETTEXT, buffer.size(),
                                       reinterpret_cast<LPARAM>(buffer.data()));
  return std::string(buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

BOOL CWnd::ShowWindow(int nCmdShow) { return CWindowManager::Show(m_hWnd, nCmdShow); }

BOOL CWnd::IsIconic() const {
  const WindowState* state = CWindowManager::Find(m_hWnd);
  return state != nullptr && state->minimized ? TRUE : FALSE;
}

void CWnd::Invalidate(BOOL bErase) { CWindowManager::Invalidate(m_hWnd, bErase != FALSE); }

void CWnd::UpdateWindow() {
  if (IsWindow(m_hWnd)) GetUiBackend().UpdateWindow(m_hWnd);
}

BOOL CWnd::RedrawWindow(UINT flags) {
  if (!IsWindow(m_hWnd)) return FALSE;
  if (flags & RDW_INVALIDATE) Invalidate((flags & RDW_ERASE) != 0 ? TRUE : FALSE);
  if (flags & RDW_UPDATENOW) UpdateWindow();
  return TRUE;
}

void CWnd::GetClientRect(RECT* rect) const {
  if (rect == nullptr) return;
  *rect = IsWindow(m_hWnd) ? GetUiBackend().ClientRectPixels(m_hWnd) : RECT{};
}

CWnd* CWnd::GetParent() const {
  const WindowState* state = CWindowManager::Find(m_hWnd);
  return state != nullptr ? CWindowManager::Wrapper(state->hParent) : nullptr;
}

CWnd* CWnd::GetDlgItem(int id) const { return CWindowManager::Wrapper(platform::GetDlgItem(m_hWnd, id)); }

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                                             reinterpret_cast<LPARAM>(hIcon)));
}

BOOL CWnd::DestroyWindow() { return platform::DestroyWindow(m_hWnd); }

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse) {
  return platform::SetTimer(m_hWnd, nIDEvent, nElapse);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return platform::KillTimer(m_hWnd, nIDEvent); }

void CWnd::SetToolTipText(const std::string& text) {
  WindowState* state = CWindowManager::Find(m_hWnd);
  if (state == nullptr || state->messageOnly || state->toolTip == text) return;
  state->toolTip = text;
  GetUiBackend().OnWindowChanged(m_hWnd, WindowChange::ToolTip);
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
  if (pParent == nullptr) return FALSE;
  return CWindowManager::Attach(platform::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID)), this);
}

BOOL CWnd::AppendSystemMenu(UINT flags, UINT id, const std::string& text) {
  if (!HasSystemMenu()) return FALSE;
  CWindowManager::Find(m_hWnd)->systemMenuExtra.push_back(WindowState::MenuItem{flags, id, text});
  GetUiBackend().OnWindowChanged(m_hWnd, WindowChange::SystemMenu);
  return TRUE;
}

BOOL CWnd::HasSystemMenu() const {
  const WindowState* state = CWindowManager::Find(m_hWnd);
  return state != nullptr && state->isDialog && (state->style & WS_SYSMENU) != 0 ? TRUE : FALSE;
}

void CWnd::PostNcDestroy() {}

void CWnd::Default() { DefWindowProc(m_curMessage, m_curWParam, m_curLParam); }

// ---- CComboBox ----------------------------------------------------------------------------

int CComboBox::AddString(const std::string& text) {
  return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int CComboBox::GetCount() const { return static_cast<int>(platform::SendMessage(m_hWnd, CB_GETCOUNT)); }

int CComboBox::GetCurSel() const {
  if (!IsWindow(m_hWnd)) return CB_ERR;
  return static_cast<int>(platform::SendMessage(m_hWnd, CB_GETCURSEL));
}

int CComboBox::SetCurSel(int index) {
  if (!IsWindow(m_hWnd)) return CB_ERR;
  return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
}

std::string CComboBox::GetLBText(int index) const {
  const LRESULT length = platform::SendMessage(m_hWnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  const LRESULT copied = platform::SendMessage(m_hWnd, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                       reinterpret_cast<LPARAM>(buffer.data()));
  return copied > 0 ? std::string(buffer.data(), static_cast<std::size_t>(copied)) : std::string();
}


// ---- CProgressCtrl ------------------------------------------------------------------------

void CProgressCtrl::SetRange(short lower, short upper) {
  SendMessage(PBM_SETRANGE, 0,
              MAKELPARAM(static_cast<unsigned short>(lower), static_cast<unsigned short>(upper)));
}

void CProgressCtrl::SetRange32(int lower, int upper) {
  SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

void CProgressCtrl::GetRange(int& lower, int& upper) const {
  PBRANGE range;
  platform::SendMessage(m_hWnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  lower = range.iLow;
  upper = range.iHigh;
}

int CProgressCtrl::SetPos(int pos) {
  return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos)));
}

int CProgressCtrl::GetPos() const { return static_cast<int>(platform::SendMessage(m_hWnd, PBM_GETPOS)); }

}  // namespace platform
