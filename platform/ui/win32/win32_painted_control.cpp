#include "platform/ui/win32/win32_painted_control.h"

#include <algorithm>

#include "platform/ui/win32/win32_pixels.h"

namespace platform {

bool CWin32PaintedControl::RegisterWindowClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &CWin32PaintedControl::WindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = kClassName;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

CWin32PaintedControl::CWin32PaintedControl(platform::HWND hWnd, ::HWND native, bool clickThrough)
    : m_hWnd(hWnd), m_native(native), m_clickThrough(clickThrough) {
  ::SetWindowLongPtrW(m_native, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CWin32PaintedControl::~CWin32PaintedControl() {
  if (::IsWindow(m_native) &&
      ::GetWindowLongPtrW(m_native, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)) {
    ::SetWindowLongPtrW(m_native, GWLP_USERDATA, 0);
  }
}

void CWin32PaintedControl::Present(const CPixelBuffer& pixels) {
  if (pixels.Width() <= 0 || pixels.Height() <= 0) return;
  m_picture = win32ui::ToDibPixels(pixels);
  m_width = pixels.Width();
  m_height = pixels.Height();
  // Outside a paint (a picture drawn through GetDC), the window shows it at its next paint.
  if (!m_painting) Invalidate();
}

void CWin32PaintedControl::Invalidate() {
  // Without a window, a null handle would invalidate every window of the desktop.
  if (m_native != nullptr) ::InvalidateRect(m_native, nullptr, FALSE);
}

void CWin32PaintedControl::UpdateNow() {
  if (m_native == nullptr) return;
  if (NeedsObjectPaint()) Invalidate();
  // Paints only when some of the window is invalid.
  ::UpdateWindow(m_native);
}

bool CWin32PaintedControl::NeedsObjectPaint() const {
  const WindowState* state = GetWindowState(m_hWnd);
  if (state == nullptr || !state->ownerPainted) return false;
  return state->dirty || !HasPicture();
}

void CWin32PaintedControl::OnPaint() {
  PAINTSTRUCT ps;
  ::HDC dc = ::BeginPaint(m_native, &ps);
  if (dc == nullptr) return;
  if (NeedsObjectPaint()) {
    m_painting = true;
    PaintWindowNow(m_hWnd, !HasPicture());
    m_painting = false;
  }
  ::RECT client;
  ::GetClientRect(m_native, &client);
  if (HasPicture()) {
    const BITMAPINFO info = win32ui::TopDownDibInfo(m_width, m_height);
    ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(m_width), static_cast<DWORD>(m_height), 0, 0, 0,
                        static_cast<UINT>(m_height), m_picture.data(), &info, DIB_RGB_COLORS);
  }
  // What the picture does not cover (before the first paint, or while a resize waits for
  // the next one) shows the dialog's face.
  const ::HBRUSH face = ::GetSysColorBrush(COLOR_BTNFACE);
  if (client.right > m_width) {
    const ::RECT right{m_width, 0, client.right, client.bottom};
    ::FillRect(dc, &right, face);
  }
  if (client.bottom > m_height) {
    const ::RECT below{0, m_height, std::min<::LONG>(client.right, m_width), client.bottom};
    ::FillRect(dc, &below, face);
  }
  ::EndPaint(m_native, &ps);
}

LRESULT CALLBACK CWin32PaintedControl::WindowProc(::HWND hwnd, UINT message, WPARAM wParam,
                                                  LPARAM lParam) {
  auto* self = reinterpret_cast<CWin32PaintedControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_PAINT:
      if (self != nullptr) {
        self->OnPaint();
        return 0;
      }
      break;
    case WM_NCHITTEST:
      if (self != nullptr && self->m_clickThrough) return HTTRANSPARENT;
      break;
    case WM_SIZE:
      // A new size (the dialog scaled for another monitor's DPI) needs a new picture.
      if (self != nullptr) {
        if (WindowState* state = GetWindowState(self->m_hWnd)) state->dirty = true;
        ::InvalidateRect(hwnd, nullptr, FALSE);
      }
      break;
    case WM_NCDESTROY:
      if (self != nullptr) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_native = nullptr;
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace platform
