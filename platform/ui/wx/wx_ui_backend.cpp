#include "platform/ui/wx/wx_ui_backend.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include <wx/evtloop.h>
#include <wx/generic/msgdlgg.h>

#include "platform/ui/wx/wx_dialog_window.h"
#include "platform/ui/wx/wx_file_dialog.h"
#include "platform/ui/wx/wx_painted_panel.h"

namespace platform {

namespace {

COLORREF ToColorRef(const wxColour& c) { return RGB(c.Red(), c.Green(), c.Blue()); }

long MessageBoxIcon(UINT type) {
  switch (type & 0xF0) {
    case 0x10:
      return wxICON_ERROR;
    case 0x20:
      return wxICON_QUESTION;
    case MB_ICONEXCLAMATION:
      return wxICON_EXCLAMATION;
    case 0x40:
      return wxICON_INFORMATION;
    default:
      return 0;
  }
}

}  // namespace

CWxUiBackend& CWxUiBackend::Instance() {
  // Never destroyed: a reader thread may still be posting while the process ends.
  static CWxUiBackend* const backend = new CWxUiBackend();
  return *backend;
}

void CWxUiBackend::Activate() {
  {
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    m_bActive = true;
    m_bWakeQueued = false;
  }
  m_timer = std::make_unique<wxTimer>();
  m_timer->Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnTimerDue(); });
  OnTimersChanged();
}

void CWxUiBackend::Deactivate() {
  {
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    m_bActive = false;
  }
  m_timer.reset();
  for (auto& [hDlg, dlg] : m_dialogs) {
    dlg->Detach();
    dlg->Destroy();
  }
  m_dialogs.clear();
  m_modal.clear();
  m_destroyAfterRun.clear();
  m_endedBeforeRun.clear();
  m_fonts.clear();
}

CWxDialogWindow* CWxUiBackend::FindDialog(HWND hDlg) const {
  const auto it = m_dialogs.find(hDlg);
  return it != m_dialogs.end() ? it->second : nullptr;
}

CWxDialogWindow* CWxUiBackend::FindOwningDialog(HWND hWnd) const {
  if (CWxDialogWindow* dlg = FindDialog(hWnd)) return dlg;
  const WindowState* state = GetWindowState(hWnd);
  if (state == nullptr || state->hParent == nullptr) return nullptr;
  CWxDialogWindow* dlg = FindDialog(state->hParent);
  return dlg != nullptr && dlg->FindControl(hWnd) != nullptr ? dlg : nullptr;
}

wxWindow* CWxUiBackend::FindWidget(HWND hWnd) const {
  if (CWxDialogWindow* dlg = FindDialog(hWnd)) return dlg;
  CWxDialogWindow* dlg = FindOwningDialog(hWnd);
  return dlg != nullptr ? dlg->FindControl(hWnd) : nullptr;
}

const CWxDialogFont& CWxUiBackend::FontFor(HWND hWnd) {
  if (CWxDialogWindow* dlg = FindOwningDialog(hWnd)) return dlg->DialogFont();
  const WindowState* state = GetWindowState(hWnd);
  if (state != nullptr && !state->isDialog) state = GetWindowState(state->hParent);
  const DialogTemplate* tmpl = state != nullptr ? FindDialogTemplate(state->templateId) : nullptr;
  auto key = tmpl != nullptr ? std::make_pair(tmpl->fontFace, tmpl->pointSize)
                             : std::make_pair(std::string(), 8);
  std::unique_ptr<CWxDialogFont>& font = m_fonts[key];
  if (!font) font = std::make_unique<CWxDialogFont>(key.first, key.second);
  return *font;
}

wxWindow* CWxUiBackend::ParentFor(HWND hOwner) const {
  if (CWxDialogWindow* dlg = FindOwningDialog(hOwner)) {
    if (dlg->IsShown()) return dlg;
  }
  if (!m_modal.empty()) return m_modal.back();
  if (CWnd* main = AfxGetMainWnd()) return FindDialog(main->GetSafeHwnd());
  return nullptr;
}

// ---- dialogs and their runs ------------------------------------------------------------

void CWxUiBackend::CreateDialogWindow(HWND hDlg) {
  const WindowState* state = GetWindowState(hDlg);
  if (state == nullptr || FindDialog(hDlg) != nullptr) return;
  const CWxDialogFont& font = FontFor(hDlg);
  m_dialogs[hDlg] = new CWxDialogWindow(hDlg, ParentFor(state->hParent), font);
}

void CWxUiBackend::DestroyDialogWindow(HWND hDlg) {
  m_endedBeforeRun.erase(hDlg);
  const auto it = m_dialogs.find(hDlg);
  if (it == m_dialogs.end()) return;
  CWxDialogWindow* dlg = it->second;
  m_dialogs.erase(it);
  dlg->Detach();
  if (std::find(m_modal.begin(), m_modal.end(), dlg) != m_modal.end()) {
    // Its modal run is still on the stack: end it, and let the run delete the window.
    if (dlg->IsModal()) dlg->EndModal(wxID_CANCEL);
    dlg->Hide();
    m_destroyAfterRun.insert(dlg);
    return;
  }
  dlg->Destroy();
}

void CWxUiBackend::RunModalLoop(HWND hDlg) {
  if (m_endedBeforeRun.erase(hDlg) != 0) return;
  CWxDialogWindow* dlg = FindDialog(hDlg);
  if (dlg == nullptr) return;
  m_modal.push_back(dlg);
  dlg->ShowModal();
  m_modal.erase(std::find(m_modal.begin(), m_modal.end(), dlg));
  if (m_destroyAfterRun.erase(dlg) != 0) dlg->Destroy();
}

void CWxUiBackend::EndModalLoop(HWND hDlg) {
  CWxDialogWindow* dlg = FindDialog(hDlg);
  if (dlg != nullptr && dlg->IsModal()) {
    dlg->EndModal(wxID_CANCEL);
    return;
  }
  if (dlg != nullptr) m_endedBeforeRun.insert(hDlg);
}

void CWxUiBackend::Wake() {
  std::lock_guard<std::mutex> lock(m_wakeMutex);
  if (!m_bActive || wxTheApp == nullptr) return;
  // One queued call covers every message posted until it runs.
  if (m_bWakeQueued.exchange(true)) return;
  wxTheApp->CallAfter([this] { OnWake(); });
}

void CWxUiBackend::OnWake() {
  m_bWakeQueued = false;
  {
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    if (!m_bActive) return;
  }
  PumpPostedMessages();
}

void CWxUiBackend::OnTimersChanged() {
  if (!m_timer) return;
  const auto due = NextTimerDue();
  if (!due) {
    m_timer->Stop();
    return;
  }
  // Rounded up: woken early, the timer would find nothing due and only be set again.
  const auto wait = *due - std::chrono::steady_clock::now();
  const long long ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
  // A one-shot started anew is a new source for the toolkit, so it also fires in a loop that
  // a handler opened from inside the previous one.
  m_timer->StartOnce(static_cast<int>(std::clamp<long long>(ms, 1, INT_MAX)));
}

void CWxUiBackend::OnTimerDue() {
  // Set again first: a box opened by what runs below has its own loop, which must see it.
  OnTimersChanged();
  // What was posted before the timer fell due goes first, as the toolkit may run this call
  // ahead of the queued wake-up.
  PumpPostedMessages();
  DispatchDueTimers();
  OnTimersChanged();
}

// ---- records -> widgets ---------------------------------------------------------------

void CWxUiBackend::OnWindowChanged(HWND hWnd, WindowChange what) {
  if (what == WindowChange::Destroyed) return;
  CWxDialogWindow* dlg = FindOwningDialog(hWnd);
  if (dlg == nullptr) return;
  if (hWnd == dlg->Handle() && what == WindowChange::Visibility) {
    if (const WindowState* state = GetWindowState(hWnd)) {
      if (dlg->IsShown() != state->visible) dlg->Show(state->visible);
    }
    return;
  }
  dlg->Mirror(hWnd, what);
}

void CWxUiBackend::UpdateWindow(HWND hWnd) {
  if (CWxDialogWindow* dlg = FindOwningDialog(hWnd)) dlg->UpdateNow(hWnd);
}

void CWxUiBackend::InvalidateWindow(HWND hWnd, bool erase) {
  wxWindow* widget = FindWidget(hWnd);
  if (widget == nullptr) return;
  widget->Refresh(erase && dynamic_cast<CWxPaintedPanel*>(widget) == nullptr);
}

void CWxUiBackend::ShowWindow(HWND hWnd, int nCmdShow) {
  if (CWxDialogWindow* dlg = FindDialog(hWnd)) {
    switch (nCmdShow) {
      case SW_HIDE:
        dlg->Hide();
        break;
      case SW_MINIMIZE:
        if (!dlg->IsShown()) dlg->Show();
        dlg->Iconize(true);
        break;
      case SW_RESTORE:
        dlg->Iconize(false);
        dlg->Show();
        break;
      default:
        dlg->Show();
        break;
    }
    return;
  }
  if (wxWindow* widget = FindWidget(hWnd)) widget->Show(nCmdShow != SW_HIDE);
}

void CWxUiBackend::BeginMoveDrag(HWND hDlg, POINT) {
  if (CWxDialogWindow* dlg = FindDialog(hDlg)) dlg->StartMoveDrag();
}

RECT CWxUiBackend::ClientRectPixels(HWND hWnd) {
  RECT r;
  wxSize size;
  if (CWxDialogWindow* dlg = FindDialog(hWnd)) {
    size = dlg->GetClientSize();
  } else if (CWxDialogWindow* owner = FindOwningDialog(hWnd);
             owner == nullptr || !owner->ControlClientSize(hWnd, &size)) {
    const WindowState* state = GetWindowState(hWnd);
    if (state == nullptr) return r;
    const CWxDialogFont& font = FontFor(hWnd);
    size = wxSize(font.ToPixelsX(state->rectDlu.right - state->rectDlu.left),
                  font.ToPixelsY(state->rectDlu.bottom - state->rectDlu.top));
  }
  r.right = size.x;
  r.bottom = size.y;
  return r;
}

// ---- boxes and file dialogs -------------------------------------------------------------

int CWxUiBackend::MessageBox(HWND hOwner, const std::string& text, const std::string& caption,
                             UINT type) {
  // The toolkit's own message dialog shows no icon on GTK 3; the generic one does.
  const bool bYesNo = (type & MB_TYPEMASK) == MB_YESNO;
  // A box before its window is on screen (at start-up) stands on its own in the middle of the
  // screen, not where a window that is not placed yet would be.
  wxWindow* parent = ParentFor(hOwner);
  if (parent != nullptr && !parent->IsShown()) parent = nullptr;
  wxGenericMessageDialog box(parent, ToWx(text), ToWx(caption),
                             (bYesNo ? wxYES_NO | wxNO_DEFAULT : wxOK) | wxCENTRE | MessageBoxIcon(type));
  const int nResult = box.ShowModal();
  if (!bYesNo) return IDOK;
  return nResult == wxID_YES ? IDYES : IDNO;
}

FileDialogResult CWxUiBackend::FileDialog(HWND hOwner, const FileDialogRequest& request) {
  return RunWxFileDialog(ParentFor(hOwner), request);
}

// ---- drawing services ---------------------------------------------------------------------

COLORREF CWxUiBackend::GetSysColor(int index) {
  switch (index) {
    case COLOR_HIGHLIGHT:
      return ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT));
    case COLOR_BTNFACE:
      // The face owner-painted controls stand on is the dialog's own background, which the
      // theme may draw lighter than its buttons.
      if (!m_dialogs.empty()) return ToColorRef(m_dialogs.begin()->second->GetBackgroundColour());
      return ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    case COLOR_BTNSHADOW:
      return ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW));
    case COLOR_BTNTEXT:
      return ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT));
    case COLOR_3DDKSHADOW:
      return ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_3DDKSHADOW));
    case COLOR_WINDOWTEXT:
      return ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT));
    default:
      return 0;
  }
}

int CWxUiBackend::GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXICON: {
      const int size = wxSystemSettings::GetMetric(wxSYS_ICON_X);
      return size > 0 ? size : 32;
    }
    case SM_CYICON: {
      const int size = wxSystemSettings::GetMetric(wxSYS_ICON_Y);
      return size > 0 ? size : 32;
    }
    default:
      return 0;
  }
}

SIZE CWxUiBackend::MeasureText(HWND hFontOwner, const std::string& text) {
  wxBitmap scratch(1, 1);
  wxMemoryDC dc(scratch);
  dc.SetFont(FontFor(hFontOwner).Font());
  wxCoord width = 0, height = 0;
  if (text.empty()) {
    height = dc.GetCharHeight();
  } else {
    dc.GetTextExtent(ToWx(text), &width, &height);
  }
  SIZE size;
  size.cx = width;
  size.cy = height;
  return size;
}

void CWxUiBackend::RenderText(HWND hFontOwner, CPixelBuffer& target, int x, int y,
                              const std::string& text, COLORREF colour, const RECT& clip) {
  if (text.empty()) return;
  const SIZE extent = MeasureText(hFontOwner, text);
  if (extent.cx <= 0 || extent.cy <= 0) return;
  const int left = std::max({x, static_cast<int>(clip.left), 0});
  const int top = std::max({y, static_cast<int>(clip.top), 0});
  const int right = std::min({x + static_cast<int>(extent.cx), static_cast<int>(clip.right), target.Width()});
  const int bottom = std::min({y + static_cast<int>(extent.cy), static_cast<int>(clip.bottom), target.Height()});
  if (left >= right || top >= bottom) return;

  // Black on white gives each pixel's coverage, which blends the colour over what is there,
  // so the text keeps its smoothing on any background.
  wxBitmap glyphs(extent.cx, extent.cy, 24);
  {
    wxMemoryDC dc(glyphs);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetFont(FontFor(hFontOwner).Font());
    dc.SetTextForeground(*wxBLACK);
    dc.DrawText(ToWx(text), 0, 0);
  }
  const wxImage coverage = glyphs.ConvertToImage();
  const auto blend = [](unsigned under, unsigned over, unsigned ink) {
    return (under * ink + over * (255 - ink) + 127) / 255;
  };
  for (int py = top; py < bottom; ++py) {
    for (int px = left; px < right; ++px) {
      const int gx = px - x, gy = py - y;
      const COLORREF under = target.Get(px, py);
      target.Set(px, py,
                 RGB(blend(GetRValue(under), GetRValue(colour), coverage.GetRed(gx, gy)),
                     blend(GetGValue(under), GetGValue(colour), coverage.GetGreen(gx, gy)),
                     blend(GetBValue(under), GetBValue(colour), coverage.GetBlue(gx, gy))));
    }
  }
}

void CWxUiBackend::PresentPixels(HWND hWnd, const CPixelBuffer& pixels) {
  if (CWxDialogWindow* dlg = FindOwningDialog(hWnd)) {
    if (CWxPaintedPanel* panel = dlg->FindPaintedControl(hWnd)) panel->Present(pixels);
  }
}

}  // namespace platform
