#include "platform/ui/win32/win32_dialog_window.h"

#include <algorithm>

#include "platform/ui/win32/win32_dialog_template.h"
#include "platform/ui/win32/win32_pixels.h"
#include "platform/os/win32/wide.h"
#include "platform/ui/win32/win32_ui_backend.h"

namespace platform {

namespace {


bool IsPainted(const WindowState& state) {
  return state.ownerPainted &&
         (state.kind == ControlKind::Static || state.kind == ControlKind::ProgressBar);
}

win32ui::DialogItemLayout ItemFor(const WindowState& state) {
  win32ui::DialogItemLayout item;
  item.x = static_cast<short>(state.rectDlu.left);
  item.y = static_cast<short>(state.rectDlu.top);
  item.cx = static_cast<short>(state.rectDlu.Width());
  item.cy = static_cast<short>(state.rectDlu.Height());
  item.id = static_cast<DWORD>(state.id);
  item.style = (state.style | WS_CHILD) & ~static_cast<DWORD>(WS_VISIBLE);
  if (state.visible) item.style |= WS_VISIBLE;
  item.exStyle = state.exStyle;
  if (IsPainted(state)) {
    // The object paints the inside; the frame stays the system's, as the template gives it.
    item.className = CWin32PaintedControl::kClassName;
    item.style = WS_CHILD | (item.style & (WS_VISIBLE | WS_BORDER | WS_TABSTOP | WS_GROUP));
    if (state.kind == ControlKind::Static && (state.style & SS_SUNKEN) != 0) {
      item.exStyle |= WS_EX_STATICEDGE;
    }
    return item;
  }
  switch (state.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::GroupBox:
      item.classOrdinal = win32ui::kButtonClass;
      item.text = Utf8ToWide(state.text);
      break;
    case ControlKind::Static:
      item.classOrdinal = win32ui::kStaticClass;
      item.text = Utf8ToWide(state.text);
      break;
    case ControlKind::StaticIcon:
      // The picture comes from the layer's icon (STM_SETICON), not from a resource.
      item.classOrdinal = win32ui::kStaticClass;
      break;
    case ControlKind::ComboBox:
      item.classOrdinal = win32ui::kComboBoxClass;
      break;
    case ControlKind::ProgressBar:
      item.className = PROGRESS_CLASSW;
      break;
  }
  return item;
}

win32ui::DialogLayout SpecFor(platform::HWND hDlg) {
  win32ui::DialogLayout layout;
  const WindowState* dlg = GetWindowState(hDlg);
  if (dlg == nullptr) return layout;
  layout.caption = Utf8ToWide(dlg->text);
  // Shown by the layer's ShowWindow once it is initialised.
  layout.style = dlg->style & ~static_cast<DWORD>(WS_VISIBLE);
  layout.exStyle = dlg->exStyle;
  layout.cx = static_cast<short>(dlg->rectDlu.Width());
  layout.cy = static_cast<short>(dlg->rectDlu.Height());
  if (const DialogTemplate* tmpl = FindDialogTemplate(dlg->templateId)) {
    layout.fontFace = Utf8ToWide(tmpl->fontFace);
    layout.pointSize = static_cast<WORD>(tmpl->pointSize);
  }
  if (layout.fontFace.empty()) {
    layout.fontFace = L"MS Shell Dlg";
    layout.pointSize = 8;
  }
  for (platform::HWND hChild : GetChildWindows(hDlg)) {
    if (const WindowState* state = GetWindowState(hChild)) layout.items.push_back(ItemFor(*state));
  }
  return layout;
}

int NativeShowCommand(int nCmdShow) {
  switch (nCmdShow) {
    case SW_HIDE:
    case SW_MINIMIZE:
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      return nCmdShow;  // the layer's values are Win32's
    default:
      return SW_SHOW;
  }
}

}  // namespace

CWin32DialogWindow::CWin32DialogWindow(platform::HWND hDlg, ::HWND owner) : m_hDlg(hDlg) {
  const std::vector<BYTE> bytes = win32ui::BuildDialogTemplate(SpecFor(hDlg));
  m_native = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), owner,
                                          &CWin32DialogWindow::DialogProc,
                                          reinterpret_cast<LPARAM>(this));
  if (m_native != nullptr && !AttachControls()) DestroyNative();
}

CWin32DialogWindow::~CWin32DialogWindow() {
  DestroyNative();
  for (::HICON icon : m_controlIcons) ::DestroyIcon(icon);
  if (m_bigIcon != nullptr) ::DestroyIcon(m_bigIcon);
  if (m_smallIcon != nullptr) ::DestroyIcon(m_smallIcon);
}

void CWin32DialogWindow::DestroyNative() {
  if (m_toolTip != nullptr && ::IsWindow(m_toolTip)) ::DestroyWindow(m_toolTip);
  m_toolTip = nullptr;
  if (m_native != nullptr) ::DestroyWindow(m_native);  // WM_NCDESTROY clears m_native
  m_native = nullptr;
}

bool CWin32DialogWindow::AttachControls() {
  // The dialog manager makes the controls in template order, each below the one before.
  const std::vector<platform::HWND> records = GetChildWindows(m_hDlg);
  ::HWND native = ::GetWindow(m_native, GW_CHILD);
  for (platform::HWND hWnd : records) {
    const WindowState* state = GetWindowState(hWnd);
    if (state == nullptr || native == nullptr || ::GetDlgCtrlID(native) != state->id) return false;
    Control control{hWnd, native, state->kind, state->id, nullptr};
    if (IsPainted(*state)) {
      control.painted = std::make_unique<CWin32PaintedControl>(hWnd, native, state->kind == ControlKind::Static);
    }
    m_controls.push_back(std::move(control));
    native = ::GetWindow(native, GW_HWNDNEXT);
  }
  return true;
}

const CWin32DialogWindow::Control* CWin32DialogWindow::FindControl(platform::HWND hWnd) const {
  for (const Control& c : m_controls) {
    if (c.hWnd == hWnd) return &c;
  }
  return nullptr;
}

const CWin32DialogWindow::Control* CWin32DialogWindow::FindNative(::HWND native) const {
  for (const Control& c : m_controls) {
    if (c.native == native) return &c;
  }
  return nullptr;
}

::HWND CWin32DialogWindow::NativeFor(platform::HWND hWnd) const {
  if (hWnd == m_hDlg) return m_native;
  const Control* control = FindControl(hWnd);
  return control != nullptr && m_native != nullptr ? control->native : nullptr;
}

CWin32PaintedControl* CWin32DialogWindow::PaintedFor(platform::HWND hWnd) const {
  const Control* control = FindControl(hWnd);
  return control != nullptr && m_native != nullptr ? control->painted.get() : nullptr;
}

LRESULT CWin32DialogWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_hDlg == nullptr || !platform::IsWindow(m_hDlg)) return 0;
  return platform::SendMessage(m_hDlg, message, wParam, lParam);
}

// ---- the user -> messages -----------------------------------------------------------------

INT_PTR CALLBACK CWin32DialogWindow::DialogProc(::HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    return TRUE;  // the focus to the first control that takes it
  }
  auto* self = reinterpret_cast<CWin32DialogWindow*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->m_native = nullptr;
    return FALSE;
  }
  if (self->m_hDlg == nullptr) return FALSE;
  CWin32UiBackend::CDispatchScope scope;
  return self->OnMessage(message, wParam, lParam);
}

INT_PTR CWin32DialogWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(wParam, lParam);
      return TRUE;
    case WM_CLOSE:
      // The object decides; DefDlgProc would send IDCANCEL on its own.
      Send(WM_CLOSE, 0, 0);
      return TRUE;
    case WM_SYSCOMMAND:
      // The layer's default handling gives it back to DefWindowProc (DefaultSystemCommand).
      Send(WM_SYSCOMMAND, wParam, lParam);
      return TRUE;
    case WM_LBUTTONDOWN:
      Send(WM_LBUTTONDOWN, wParam, lParam);
      return TRUE;
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED || wParam == SIZE_RESTORED) {
        // Minimised or restored by the desktop (the task bar, a key): the record follows.
        if (WindowState* state = GetWindowState(m_hDlg)) state->minimized = wParam == SIZE_MINIMIZED;
      }
      return FALSE;
    case WM_PAINT:
      // The dialog's own object may paint (a minimised window's picture); the face and the
      // controls are the system's.
      if (const WindowState* state = GetWindowState(m_hDlg)) {
        if (state->ownerPainted && state->dirty && !::IsIconic(m_native)) PaintWindowNow(m_hDlg);
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void CWin32DialogWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
  const int id = static_cast<int>(static_cast<short>(wParam & 0xFFFF));
  const UINT code = static_cast<UINT>((wParam >> 16) & 0xFFFF);
  const auto* from = FindNative(reinterpret_cast<::HWND>(lParam));
  if (from == nullptr) {
    // The dialog manager's Enter and Escape with no such button, or a menu's command.
    if (lParam == 0 && (id == IDOK || id == IDCANCEL)) {
      Send(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED),
           reinterpret_cast<LPARAM>(platform::GetDlgItem(m_hDlg, id)));
    }
    return;
  }
  switch (from->kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
      if (code == BN_CLICKED) {
        Send(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(from->id), BN_CLICKED),
             reinterpret_cast<LPARAM>(from->hWnd));
      }
      break;
    case ControlKind::ComboBox:
      if (m_mirroring) break;
      if (code == CBN_SELCHANGE) {
        OnComboChosen(*from);
      } else if (code == CBN_EDITCHANGE) {
        const int length = ::GetWindowTextLengthW(from->native);
        std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
        ::GetWindowTextW(from->native, text.data(), static_cast<int>(text.size()));
        if (WindowState* state = GetWindowState(from->hWnd)) state->text = WideToUtf8(text.c_str());
      }
      break;
    default:
      break;
  }
}

void CWin32DialogWindow::OnComboChosen(const Control& control) {
  WindowState* state = GetWindowState(control.hWnd);
  if (state == nullptr) return;
  // The edit field may still show the old entry here; the list's selection is the truth.
  const LRESULT sel = ::SendMessageW(control.native, CB_GETCURSEL, 0, 0);
  const bool inRange = sel >= 0 && static_cast<std::size_t>(sel) < state->items.size();
  state->curSel = inRange ? static_cast<int>(sel) : CB_ERR;
  state->text = inRange ? state->items[static_cast<std::size_t>(sel)] : std::string();
  Send(WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(control.id), CBN_SELCHANGE),
       reinterpret_cast<LPARAM>(control.hWnd));
}

// ---- records -> native windows ------------------------------------------------------------

void CWin32DialogWindow::Mirror(platform::HWND hWnd, WindowChange what) {
  const WindowState* state = GetWindowState(hWnd);
  if (state == nullptr || m_native == nullptr) return;
  const bool wasMirroring = m_mirroring;
  m_mirroring = true;
  if (hWnd == m_hDlg) {
    const bool all = what == WindowChange::Created;
    if (all || what == WindowChange::Text) ::SetWindowTextW(m_native, Utf8ToWide(state->text).c_str());
    if (all || what == WindowChange::Icon) ApplyIcons(*state);
    if (all || what == WindowChange::SystemMenu) ApplySystemMenu(*state);
    if (all || what == WindowChange::ToolTip) ApplyToolTip(m_native, state->toolTip);
    if (all) {
      for (const Control& c : m_controls) {
        if (const WindowState* child = GetWindowState(c.hWnd)) MirrorControl(c, *child, what);
      }
    }
  } else if (const Control* control = FindControl(hWnd)) {
    MirrorControl(*control, *state, what);
  }
  m_mirroring = wasMirroring;
}

void CWin32DialogWindow::MirrorControl(const Control& c, const WindowState& state, WindowChange what) {
  const bool all = what == WindowChange::Created;
  if (all || what == WindowChange::Visibility) {
    const bool shown = (::GetWindowLongW(c.native, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != state.visible) ::ShowWindow(c.native, state.visible ? SW_SHOWNA : SW_HIDE);
  }
  if (all || what == WindowChange::ToolTip) {
    ApplyToolTip(c.native, state.toolTip);
    if (c.kind == ControlKind::ComboBox) {
      // The pointer rests on the combo box's edit field, a window of its own.
      COMBOBOXINFO info{};
      info.cbSize = sizeof(info);
      if (::GetComboBoxInfo(c.native, &info) && info.hwndItem != nullptr) {
        ApplyToolTip(info.hwndItem, state.toolTip);
      }
    }
  }
  // An owner-painted control shows what its object painted: what it must show has invalidated
  // it already, and anything else (the same position again) shows nothing new.
  if (c.painted != nullptr) return;
  switch (c.kind) {
    case ControlKind::ComboBox:
      MirrorCombo(c.native, state, what);
      break;
    case ControlKind::ProgressBar:
      if (all || what == WindowChange::Progress) {
        ::SendMessageW(c.native, PBM_SETRANGE32, static_cast<WPARAM>(state.rangeLow), state.rangeHigh);
        ::SendMessageW(c.native, PBM_SETPOS, static_cast<WPARAM>(state.pos), 0);
      }
      break;
    case ControlKind::StaticIcon:
      if (all || what == WindowChange::Icon) ApplyStaticIcon(c, state);
      break;
    default:
      if (all || what == WindowChange::Text) ::SetWindowTextW(c.native, Utf8ToWide(state.text).c_str());
      break;
  }
}

void CWin32DialogWindow::MirrorCombo(::HWND native, const WindowState& state, WindowChange what) {
  const bool all = what == WindowChange::Created;
  if (all || what == WindowChange::Items) {
    ::SendMessageW(native, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : state.items) {
      ::SendMessageW(native, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(item).c_str()));
    }
  }
  if (all || what == WindowChange::Items || what == WindowChange::Selection) {
    // An index outside the list clears the selection and the edit field.
    ::SendMessageW(native, CB_SETCURSEL, static_cast<WPARAM>(state.curSel), 0);
  } else if (what == WindowChange::Text) {
    ::SetWindowTextW(native, Utf8ToWide(state.text).c_str());
  }
}

void CWin32DialogWindow::ApplyIcons(const WindowState& state) {
  const CPixelBuffer* big = GetIconImage(state.bigIcon);
  const CPixelBuffer* little = GetIconImage(state.smallIcon);
  if (big == nullptr) big = little;
  if (little == nullptr) little = big;
  ::HICON newBig = big != nullptr ? win32ui::MakeNativeIcon(*big, ::GetSystemMetrics(SM_CXICON)) : nullptr;
  ::HICON newSmall = little != nullptr ? win32ui::MakeNativeIcon(*little, ::GetSystemMetrics(SM_CXSMICON)) : nullptr;
  // The title bar shows the small one, the task bar and Alt+Tab the big one.
  ::SendMessageW(m_native, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(newBig));
  ::SendMessageW(m_native, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(newSmall));
  if (m_bigIcon != nullptr) ::DestroyIcon(m_bigIcon);
  if (m_smallIcon != nullptr) ::DestroyIcon(m_smallIcon);
  m_bigIcon = newBig;
  m_smallIcon = newSmall;
}

void CWin32DialogWindow::ApplyStaticIcon(const Control& control, const WindowState& state) {
  const CPixelBuffer* image = GetIconImage(state.bigIcon);
  if (image == nullptr) return;
  ::HICON icon = win32ui::MakeNativeIcon(*image, ::GetSystemMetrics(SM_CXICON));
  if (icon == nullptr) return;
  ::SendMessageW(control.native, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  m_controlIcons.push_back(icon);
}

void CWin32DialogWindow::ApplySystemMenu(const WindowState& state) {
  ::HMENU menu = ::GetSystemMenu(m_native, FALSE);
  if (menu == nullptr) return;
  for (; m_menuItemsShown < state.systemMenuExtra.size(); ++m_menuItemsShown) {
    const WindowState::MenuItem& item = state.systemMenuExtra[m_menuItemsShown];
    if ((item.flags & MF_SEPARATOR) != 0) {
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else {
      ::AppendMenuW(menu, MF_STRING, item.id, Utf8ToWide(item.text).c_str());
    }
  }
}

void CWin32DialogWindow::ApplyToolTip(::HWND target, const std::string& text) {
  if (m_toolTip == nullptr) {
    if (text.empty()) return;
    m_toolTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                  WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_native, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (m_toolTip == nullptr) return;
    // A width makes the tip break its text at the line ends it holds.
    ::SendMessageW(m_toolTip, TTM_SETMAXTIPWIDTH, 0, 640);
  }
  std::wstring wide = Utf8ToWide(text);
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = m_native;
  tool.uId = reinterpret_cast<UINT_PTR>(target);
  ::SendMessageW(m_toolTip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  if (wide.empty()) return;
  tool.lpszText = wide.data();
  ::SendMessageW(m_toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CWin32DialogWindow::CentreOnOwner() {
  ::RECT window;
  if (!::GetWindowRect(m_native, &window)) return;
  ::HWND owner = ::GetWindow(m_native, GW_OWNER);
  const bool overOwner = owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(overOwner ? owner : m_native, MONITOR_DEFAULTTOPRIMARY), &monitor);
  ::RECT around = monitor.rcWork;
  if (overOwner) ::GetWindowRect(owner, &around);
  const ::LONG width = window.right - window.left;
  const ::LONG height = window.bottom - window.top;
  ::LONG x = around.left + ((around.right - around.left) - width) / 2;
  ::LONG y = around.top + ((around.bottom - around.top) - height) / 2;
  // Whole on the monitor's work area where it fits, its caption on it where it does not.
  x = std::max(monitor.rcWork.left, std::min(x, monitor.rcWork.right - width));
  y = std::max(monitor.rcWork.top, std::min(y, monitor.rcWork.bottom - height));
  ::SetWindowPos(m_native, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWin32DialogWindow::Show(int nCmdShow) {
  if (m_native == nullptr) return;
  if (nCmdShow != SW_HIDE && !m_placed) {
    // The templates place their dialogs at (0, 0): centred, as the framework's dialogs were.
    CentreOnOwner();
    m_placed = true;
  }
  ::ShowWindow(m_native, NativeShowCommand(nCmdShow));
}

void CWin32DialogWindow::Invalidate(platform::HWND hWnd) {
  if (CWin32PaintedControl* painted = PaintedFor(hWnd)) painted->Invalidate();
}

void CWin32DialogWindow::UpdateNow(platform::HWND hWnd) {
  if (m_native == nullptr) return;
  if (hWnd == m_hDlg) {
    for (const Control& c : m_controls) {
      if (c.painted != nullptr) c.painted->UpdateNow();
    }
    ::RedrawWindow(m_native, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return;
  }
  const Control* control = FindControl(hWnd);
  if (control == nullptr) return;
  if (control->painted != nullptr) {
    control->painted->UpdateNow();
  } else {
    ::UpdateWindow(control->native);
  }
}

}  // namespace platform
