#include "platform/ui/win32/win32_ui_backend.h"

#include <algorithm>
#include <chrono>

#include "platform/ui/win32/win32_backend.h"
#include "platform/ui/win32/win32_file_dialog.h"
#include "platform/ui/win32/win32_pixels.h"
#include "platform/os/win32/wide.h"

// Outside the layer's namespace, where HWND in the macro is Win32's.
static const ::HWND kMessageOnlyParent = HWND_MESSAGE;

namespace platform {

namespace {

constexpr const wchar_t* kPumpClassName = L"QuorinLayerPump";
// Private to the pump window: the layer has posted messages waiting.
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT_PTR kLayerTimerId = 1;

bool g_bRunning = false;

}  // namespace

CWin32UiBackend& CWin32UiBackend::Instance() {
  // Never destroyed: a reader thread may still be posting while the process ends.
  static CWin32UiBackend* const backend = new CWin32UiBackend();
  return *backend;
}

CWin32UiBackend::CDispatchScope::CDispatchScope() { ++Instance().m_dispatchDepth; }

CWin32UiBackend::CDispatchScope::~CDispatchScope() {
  CWin32UiBackend& backend = Instance();
  if (--backend.m_dispatchDepth == 0) backend.ReleaseGraveyard();
}

void CWin32UiBackend::ReleaseGraveyard() {
  // Moved out first: a dialog's destructor may run native procedures of its own.
  std::vector<std::unique_ptr<CWin32DialogWindow>> gone;
  gone.swap(m_graveyard);
}

bool CWin32UiBackend::Activate() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES;
  ::InitCommonControlsEx(&controls);
  if (!CWin32PaintedControl::RegisterWindowClass()) return false;

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &CWin32UiBackend::PumpWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kPumpClassName;
  if (::RegisterClassExW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  ::HWND pump = ::CreateWindowExW(0, kPumpClassName, L"", 0, 0, 0, 0, 0, kMessageOnlyParent, nullptr,
                                  instance, nullptr);
  if (pump == nullptr) return false;
  {
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    m_pump = pump;
    m_bActive = true;
    m_bWakeQueued = false;
  }
  OnTimersChanged();
  return true;
}

void CWin32UiBackend::Deactivate() {
  ::HWND pump;
  {
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    m_bActive = false;
    pump = m_pump;
    m_pump = nullptr;
  }
  for (auto& [hDlg, dlg] : m_dialogs) {
    dlg->Detach();
    dlg->DestroyNative();
  }
  m_dialogs.clear();
  m_graveyard.clear();
  m_modal.clear();
  m_endRequested.clear();
  if (pump != nullptr) {
    ::KillTimer(pump, kLayerTimerId);
    ::DestroyWindow(pump);
  }
}

CWin32DialogWindow* CWin32UiBackend::FindDialog(platform::HWND hDlg) const {
  const auto it = m_dialogs.find(hDlg);
  return it != m_dialogs.end() ? it->second.get() : nullptr;
}

CWin32DialogWindow* CWin32UiBackend::FindOwningDialog(platform::HWND hWnd) const {
  if (CWin32DialogWindow* dlg = FindDialog(hWnd)) return dlg;
  const WindowState* state = GetWindowState(hWnd);
  if (state == nullptr || state->isDialog || state->hParent == nullptr) return nullptr;
  CWin32DialogWindow* dlg = FindDialog(state->hParent);
  return dlg != nullptr && dlg->Owns(hWnd) ? dlg : nullptr;
}

::HWND CWin32UiBackend::NativeWindow(platform::HWND hWnd) const {
  const CWin32DialogWindow* dlg = FindOwningDialog(hWnd);
  return dlg != nullptr ? dlg->NativeFor(hWnd) : nullptr;
}

// ---- dialogs and their runs ---------------------------------------------------------------

void CWin32UiBackend::CreateDialogWindow(platform::HWND hDlg) {
  const WindowState* state = GetWindowState(hDlg);
  if (state == nullptr || FindDialog(hDlg) != nullptr) return;
  // The record's parent is the dialog's owner: it stays below it and is disabled by its run.
  const CWin32DialogWindow* owner = FindOwningDialog(state->hParent);
  m_dialogs[hDlg] = std::make_unique<CWin32DialogWindow>(hDlg, owner != nullptr ? owner->Native() : nullptr);
}

void CWin32UiBackend::DestroyDialogWindow(platform::HWND hDlg) {
  // A run still on the stack sees its end request (or the dialog gone) and returns.
  if (std::find(m_modal.begin(), m_modal.end(), hDlg) == m_modal.end()) m_endRequested.erase(hDlg);
  const auto it = m_dialogs.find(hDlg);
  if (it == m_dialogs.end()) return;
  std::unique_ptr<CWin32DialogWindow> dlg = std::move(it->second);
  m_dialogs.erase(it);
  dlg->Detach();
  dlg->DestroyNative();
  if (m_dispatchDepth > 0) m_graveyard.push_back(std::move(dlg));
}

void CWin32UiBackend::RunModalLoop(platform::HWND hDlg) {
  if (m_endRequested.erase(hDlg) != 0) return;
  const CWin32DialogWindow* dlg = FindDialog(hDlg);
  ::HWND native = dlg != nullptr ? dlg->Native() : nullptr;
  if (native == nullptr) return;
  // As a framework's modal run: the owner takes no input while the dialog is up.
  ::HWND owner = ::GetWindow(native, GW_OWNER);
  const bool disabledOwner = owner != nullptr && ::EnableWindow(owner, FALSE) == FALSE;
  m_modal.push_back(hDlg);

  for (;;) {
    dlg = FindDialog(hDlg);
    native = dlg != nullptr ? dlg->Native() : nullptr;
    if (native == nullptr || m_endRequested.count(hDlg) != 0) break;
    MSG msg;
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // WM_QUIT ends this run and, posted again, every run around it.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!::IsDialogMessageW(native, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (m_dispatchDepth == 0) ReleaseGraveyard();
  }

  m_endRequested.erase(hDlg);
  m_modal.erase(std::find(m_modal.begin(), m_modal.end(), hDlg));
  // The owner comes back before the dialog goes, so the activation returns to it rather
  // than to another program.
  if (disabledOwner && ::IsWindow(owner)) ::EnableWindow(owner, TRUE);
  dlg = FindDialog(hDlg);
  native = dlg != nullptr ? dlg->Native() : nullptr;
  if (native != nullptr) {
    if (owner != nullptr && ::GetActiveWindow() == native) ::SetActiveWindow(owner);
    ::SetWindowPos(native, nullptr, 0, 0, 0, 0,
                   SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
}

void CWin32UiBackend::EndModalLoop(platform::HWND hDlg) {
  m_endRequested.insert(hDlg);
  // The loop looks at its end after every message; this one makes sure one comes.
  std::lock_guard<std::mutex> lock(m_wakeMutex);
  if (m_pump != nullptr) ::PostMessageW(m_pump, WM_NULL, 0, 0);
}

bool CWin32UiBackend::DefaultSystemCommand(platform::HWND hDlg, UINT nID, LPARAM lParam) {
  const CWin32DialogWindow* dlg = FindDialog(hDlg);
  if (dlg == nullptr || dlg->Native() == nullptr) return false;
  // Move, minimise, close, the keyboard's menu: the system's own handling. Close comes back
  // as WM_CLOSE, a minimised window as WM_SIZE.
  ::DefWindowProcW(dlg->Native(), WM_SYSCOMMAND, nID, lParam);
  return true;
}

// ---- posted messages and timers -----------------------------------------------------------

void CWin32UiBackend::Wake() {
  std::lock_guard<std::mutex> lock(m_wakeMutex);
  if (!m_bActive || m_pump == nullptr) return;
  // One private message covers every post until it is handled.
  if (m_bWakeQueued.exchange(true)) return;
  if (!::PostMessageW(m_pump, kWakeMessage, 0, 0)) m_bWakeQueued = false;
}

void CWin32UiBackend::OnWake() {
  // Cleared before the pump: a post arriving meanwhile queues another wake-up.
  m_bWakeQueued = false;
  PumpPostedMessages();
  // A steady stream of posts keeps the system's low-priority WM_TIMER away; what is due goes
  // now, after the posts that were waiting.
  const auto due = NextTimerDue();
  if (due && *due <= std::chrono::steady_clock::now()) {
    DispatchDueTimers();
    OnTimersChanged();
  }
}

void CWin32UiBackend::OnTimersChanged() {
  ::HWND pump = m_pump;
  if (pump == nullptr) return;
  const auto due = NextTimerDue();
  if (!due) {
    ::KillTimer(pump, kLayerTimerId);
    return;
  }
  // Rounded up: woken early, the timer would find nothing due and only be set again.
  const auto wait = *due - std::chrono::steady_clock::now();
  const long long ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
  ::SetTimer(pump, kLayerTimerId,
             static_cast<UINT>(std::clamp<long long>(ms, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM)),
             nullptr);
}

void CWin32UiBackend::OnTimerDue() {
  // Set again first: a box opened by what runs below has its own loop, which must see it.
  OnTimersChanged();
  PumpPostedMessages();
  DispatchDueTimers();
  OnTimersChanged();
}

LRESULT CALLBACK CWin32UiBackend::PumpWindowProc(::HWND hwnd, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  CWin32UiBackend& backend = Instance();
  if (hwnd == backend.m_pump) {
    if (message == kWakeMessage) {
      CDispatchScope scope;
      backend.OnWake();
      return 0;
    }
    if (message == WM_TIMER && wParam == kLayerTimerId) {
      CDispatchScope scope;
      backend.OnTimerDue();
      return 0;
    }
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// ---- records -> native windows ------------------------------------------------------------

void CWin32UiBackend::OnWindowChanged(platform::HWND hWnd, WindowChange what) {
  if (what == WindowChange::Destroyed) return;
  if (CWin32DialogWindow* dlg = FindOwningDialog(hWnd)) dlg->Mirror(hWnd, what);
}

void CWin32UiBackend::UpdateWindow(platform::HWND hWnd) {
  if (CWin32DialogWindow* dlg = FindOwningDialog(hWnd)) dlg->UpdateNow(hWnd);
}

void CWin32UiBackend::InvalidateWindow(platform::HWND hWnd, bool) {
  // Native controls repaint what changed in them; a dialog's invalidation reaches its
  // controls one by one.
  if (CWin32DialogWindow* dlg = FindOwningDialog(hWnd)) dlg->Invalidate(hWnd);
}

void CWin32UiBackend::ShowWindow(platform::HWND hWnd, int nCmdShow) {
  if (CWin32DialogWindow* dlg = FindDialog(hWnd)) dlg->Show(nCmdShow);
}

void CWin32UiBackend::BeginMoveDrag(platform::HWND hDlg, platform::POINT) {
  const CWin32DialogWindow* dlg = FindDialog(hDlg);
  if (dlg == nullptr || dlg->Native() == nullptr) return;
  // The press may be over when the request arrives; a caption grab without the button held
  // would wait for the next click.
  const int button = ::GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  if ((::GetAsyncKeyState(button) & 0x8000) == 0) return;
  ::POINT cursor;
  if (!::GetCursorPos(&cursor)) return;
  ::ReleaseCapture();
  ::SendMessageW(dlg->Native(), WM_NCLBUTTONDOWN, HTCAPTION,
                 MAKELPARAM(static_cast<unsigned>(cursor.x), static_cast<unsigned>(cursor.y)));
}

platform::RECT CWin32UiBackend::ClientRectPixels(platform::HWND hWnd) {
  platform::RECT r;
  if (::HWND native = NativeWindow(hWnd)) {
    ::RECT client;
    if (::GetClientRect(native, &client)) {
      r.right = client.right;
      r.bottom = client.bottom;
    }
    return r;
  }
  // No window (yet): the system font's dialog units.
  const WindowState* state = GetWindowState(hWnd);
  if (state == nullptr || state->messageOnly) return r;
  const LONG units = ::GetDialogBaseUnits();
  r.right = ::MulDiv(state->rectDlu.Width(), units & 0xFFFF, 4);
  r.bottom = ::MulDiv(state->rectDlu.Height(), (units >> 16) & 0xFFFF, 8);
  return r;
}

// ---- boxes and file dialogs ---------------------------------------------------------------

::HWND CWin32UiBackend::BoxOwnerFor(platform::HWND hOwner) const {
  const CWin32DialogWindow* dlg = FindOwningDialog(hOwner);
  if (dlg != nullptr && dlg->Native() != nullptr && ::IsWindowVisible(dlg->Native())) return dlg->Native();
  for (auto it = m_modal.rbegin(); it != m_modal.rend(); ++it) {
    ::HWND native = NativeWindow(*it);
    if (native != nullptr && ::IsWindowVisible(native)) return native;
  }
  // A box before any window is shown stands on its own, with its own task bar button.
  return nullptr;
}

int CWin32UiBackend::MessageBox(platform::HWND hOwner, const std::string& text,
                                const std::string& caption, UINT type) {
  const int result = ::MessageBoxW(BoxOwnerFor(hOwner), Utf8ToWide(text).c_str(),
                                   Utf8ToWide(caption).c_str(), type);
  return result != 0 ? result : IDOK;
}

FileDialogResult CWin32UiBackend::FileDialog(platform::HWND hOwner, const FileDialogRequest& request) {
  return win32ui::RunNativeFileDialog(BoxOwnerFor(hOwner), request);
}

// ---- drawing services ---------------------------------------------------------------------

COLORREF CWin32UiBackend::GetSysColor(int index) { return ::GetSysColor(index); }

int CWin32UiBackend::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

::HFONT CWin32UiBackend::FontFor(platform::HWND hFontOwner) const {
  // The dialog's real font, as the dialog manager made it from the template (and remade it
  // for another monitor's DPI).
  if (::HWND native = NativeWindow(hFontOwner)) {
    if (auto font = reinterpret_cast<::HFONT>(::SendMessageW(native, WM_GETFONT, 0, 0))) return font;
  }
  return static_cast<::HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

platform::SIZE CWin32UiBackend::MeasureText(platform::HWND hFontOwner, const std::string& text) {
  const ::SIZE extent = win32ui::MeasureGdiText(FontFor(hFontOwner), Utf8ToWide(text));
  platform::SIZE size;
  size.cx = extent.cx;
  size.cy = extent.cy;
  return size;
}

void CWin32UiBackend::RenderText(platform::HWND hFontOwner, CPixelBuffer& target, int x, int y,
                                 const std::string& text, COLORREF colour, const platform::RECT& clip) {
  win32ui::RenderGdiText(FontFor(hFontOwner), target, x, y, Utf8ToWide(text), colour, clip);
}

void CWin32UiBackend::PresentPixels(platform::HWND hWnd, const CPixelBuffer& pixels) {
  // A dialog's own picture (its minimised paint) has nowhere to go: the system draws a
  // minimised window.
  if (CWin32DialogWindow* dlg = FindOwningDialog(hWnd)) {
    if (CWin32PaintedControl* painted = dlg->PaintedFor(hWnd)) painted->Present(pixels);
  }
}

// ---- start and stop -----------------------------------------------------------------------

bool StartWin32Backend() {
  if (g_bRunning) return true;
  if (!CWin32UiBackend::Instance().Activate()) return false;
  SetUiBackend(&CWin32UiBackend::Instance());
  g_bRunning = true;
  return true;
}

void StopWin32Backend() {
  if (!g_bRunning) return;
  SetUiBackend(nullptr);
  CWin32UiBackend::Instance().Deactivate();
  g_bRunning = false;
}

}  // namespace platform
