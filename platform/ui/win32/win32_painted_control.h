// CWin32PaintedControl: the native window of an owner-painted control (the file-name label, the
// shaded progress bar). The control's object paints into the layer's picture (PaintWindowNow);
// this window keeps the last picture presented and blits it whenever the system asks for a
// paint. The object is asked again only when its record is invalid, so an exposed window is
// shown from the picture without running the object's paint.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ui/pixel_buffer.h"
#include "platform/ui/window.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform {

class CWin32PaintedControl {
 public:
  static constexpr const wchar_t* kClassName = L"QuorinPaintedControl";
  static bool RegisterWindowClass();

  // Attaches to the native window the dialog manager made; a label lets clicks through to the
  // dialog, as static controls do.
  CWin32PaintedControl(platform::HWND hWnd, ::HWND native, bool clickThrough);
  ~CWin32PaintedControl();
  CWin32PaintedControl(const CWin32PaintedControl&) = delete;
  CWin32PaintedControl& operator=(const CWin32PaintedControl&) = delete;

  ::HWND Native() const { return m_native; }
  bool HasPicture() const { return m_width > 0; }
  // A picture from the object's paint (EndPaint).
  void Present(const CPixelBuffer& pixels);
  // Marks the native window for a paint.
  void Invalidate();
  // Paints now what is invalid (asking the object when its record is) and shows it before
  // returning.
  void UpdateNow();

 private:
  static LRESULT CALLBACK WindowProc(::HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaint();
  bool NeedsObjectPaint() const;

  platform::HWND m_hWnd;
  ::HWND m_native;
  bool m_clickThrough;
  bool m_painting = false;
  int m_width = 0;
  int m_height = 0;
  std::vector<std::uint32_t> m_picture;
};

}  // namespace platform
