// The built-in handling of a window record: what the system's own window procedures did for
// dialogs, static texts, buttons, combo boxes and progress bars.
#include <algorithm>
#include <cstring>

#include "platform/ui/ui_backend.h"
#include "platform/ui/window_manager.h"

namespace platform {

namespace {

void Changed(HWND hWnd, WindowChange what) { GetUiBackend().OnWindowChanged(hWnd, what); }

// Copies text and its terminating zero into a caller's buffer of the given size.
LRESULT CopyText(const std::string& text, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<LRESULT>(n);
}

LRESULT ComboProc(HWND hWnd, WindowState& s, UINT message, WPARAM wParam, LPARAM lParam) {
  const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
  const bool inRange = index >= 0 && index < static_cast<int>(s.items.size());
  switch (message) {
    case CB_ADDSTRING:
      s.items.emplace_back(lParam != 0 ? reinterpret_cast<const char*>(lParam) : "");
      Changed(hWnd, WindowChange::Items);
      return static_cast<LRESULT>(s.items.size() - 1);
    case CB_GETCOUNT:
      return static_cast<LRESULT>(s.items.size());
    case CB_GETCURSEL:
      return s.curSel;
    case CB_SETCURSEL:
      // An index outside the list (-1 among them) leaves no entry selected.
      s.curSel = inRange ? index : CB_ERR;
      s.text = inRange ? s.items[static_cast<std::size_t>(index)] : std::string();
      Changed(hWnd, WindowChange::Selection);
      return s.curSel;
    case CB_GETLBTEXT: {
      if (!inRange || lParam == 0) return CB_ERR;
      const std::string& item = s.items[static_cast<std::size_t>(index)];
      return CopyText(item, reinterpret_cast<char*>(lParam), item.size() + 1);
    }
    case CB_GETLBTEXTLEN:
      return inRange ? static_cast<LRESULT>(s.items[static_cast<std::size_t>(index)].size())
                     : CB_ERR;
    case CB_RESETCONTENT: {
      const bool hadSelection = s.curSel != CB_ERR;
      s.items.clear();
      s.curSel = CB_ERR;
      s.text.clear();
      Changed(hWnd, WindowChange::Items);
      if (hadSelection) Changed(hWnd, WindowChange::Selection);
      return 0;
    }
    default:
      return 0;
  }
}

int ClampToRange(int pos, int low, int high) {
  return std::clamp(pos, std::min(low, high), std::max(low, high));
}

LRESULT SetProgressRange(HWND hWnd, WindowState& s, int low, int high) {
  const LRESULT previous =
      MAKELPARAM(static_cast<unsigned>(s.rangeLow), static_cast<unsigned>(s.rangeHigh));
  if (low == s.rangeLow && high == s.rangeHigh) return previous;
  s.rangeLow = low;
  s.rangeHigh = high;
  s.pos = ClampToRange(s.pos, low, high);
  CWindowManager::Invalidate(hWnd, true);
  Changed(hWnd, WindowChange::Progress);
  return previous;
}

LRESULT ProgressProc(HWND hWnd, WindowState& s, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case PBM_SETRANGE:
      return SetProgressRange(hWnd, s, LOWORD(static_cast<std::uintptr_t>(lParam)),
                              HIWORD(static_cast<std::uintptr_t>(lParam)));
    case PBM_SETRANGE32:
      return SetProgressRange(hWnd, s, static_cast<int>(static_cast<std::intptr_t>(wParam)),
                              static_cast<int>(lParam));
    case PBM_SETPOS: {
      const int previous = s.pos;
      s.pos = ClampToRange(static_cast<int>(static_cast<std::intptr_t>(wParam)), s.rangeLow,
                           s.rangeHigh);
      // The same position again shows nothing new; a job sets it for every block it sends.
      if (s.pos != previous) CWindowManager::Invalidate(hWnd, true);
      Changed(hWnd, WindowChange::Progress);
      return previous;
    }
    case PBM_GETRANGE:
      if (lParam != 0) {
        PBRANGE* range = reinterpret_cast<PBRANGE*>(lParam);
        range->iLow = s.rangeLow;
        range->iHigh = s.rangeHigh;
      }
      return wParam != 0 ? s.rangeLow : s.rangeHigh;
    case PBM_GETPOS:
      return s.pos;
    default:
      return 0;
  }
}

}  // namespace

LRESULT CWindowManager::DefaultProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowState* state = Find(hWnd);
  if (state == nullptr) return 0;
  WindowState& s = *state;

  switch (message) {
    case WM_SETTEXT:
      s.text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
      Changed(hWnd, WindowChange::Text);
      if (!s.isDialog) Invalidate(hWnd, true);
      return TRUE;
    case WM_GETTEXT:
      return CopyText(s.text, reinterpret_cast<char*>(lParam), static_cast<std::size_t>(wParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(s.text.size());
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(DialogOf(hWnd));
    case WM_SETICON: {
      HICON& slot = wParam == ICON_BIG ? s.bigIcon : s.smallIcon;
      HICON previous = slot;
      slot = reinterpret_cast<HICON>(lParam);
      Changed(hWnd, WindowChange::Icon);
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_CLOSE:
      if (s.isDialog) {
        // A dialog closes as if Cancel had been pressed.
        return Dispatch(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(hWnd, IDCANCEL)));
      }
      Destroy(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      if (s.isDialog &&
          GetUiBackend().DefaultSystemCommand(hWnd, static_cast<UINT>(wParam), lParam)) {
        return 0;
      }
      switch (static_cast<UINT>(wParam) & 0xFFF0) {
        case SC_CLOSE:
          return Dispatch(hWnd, WM_CLOSE, 0, 0);
        case SC_MINIMIZE:
          Show(hWnd, SW_MINIMIZE);
          return 0;
        case SC_RESTORE:
          Show(hWnd, SW_RESTORE);
          return 0;
        default:
          return 0;
      }
    case WM_NCLBUTTONDOWN:
      if (static_cast<LPARAM>(wParam) == HTCAPTION && DialogOf(hWnd) != nullptr) {
        POINT pt;
        pt.x = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam)));
        pt.y = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lParam)));
        GetUiBackend().BeginMoveDrag(DialogOf(hWnd), pt);
      }
      return 0;
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_ICONERASEBKGND:
    case WM_QUERYDRAGICON:
      return 0;
    default:
      break;
  }

  if (s.isDialog || s.messageOnly) return 0;
  if (s.kind == ControlKind::ComboBox) return ComboProc(hWnd, s, message, wParam, lParam);
  if (s.kind == ControlKind::ProgressBar) return ProgressProc(hWnd, s, message, wParam, lParam);
  return 0;
}

}  // namespace platform
