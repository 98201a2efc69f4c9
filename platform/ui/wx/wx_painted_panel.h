// CWxPaintedPanel: the native window of an owner-painted control. The control's object paints
// through the window layer into a pixel buffer; the panel keeps the last picture presented and
// copies it to the screen in one step, so nothing flickers. A paint the system asks for runs
// the object's paint only when the control was invalidated or has no picture yet.
#pragma once

#include "platform/ui/pixel_buffer.h"
#include "platform/ui/wx/wx_common.h"

namespace platform {

class CWxPaintedPanel : public wxWindow {
 public:
  CWxPaintedPanel(wxWindow* parent, HWND hWnd, const wxPoint& pos, const wxSize& size, long style);

  // Called by the backend when the control's object finished a paint.
  void Present(const CPixelBuffer& pixels);
  // Paints through the object now if it was invalidated, and shows the result at once;
  // nothing when the picture on screen is still the current one.
  void PaintNow();
  bool HasPicture() const { return m_picture.IsOk(); }
  // A label or a bar: the focus passes it by.
  bool AcceptsFocus() const override { return false; }
  bool AcceptsFocusFromKeyboard() const override { return false; }

 private:
  void OnPaint(wxPaintEvent& event);
  bool NeedsObjectPaint() const;

  HWND m_hWnd;
  wxBitmap m_picture;
  bool m_bPainting = false;
};

}  // namespace platform
