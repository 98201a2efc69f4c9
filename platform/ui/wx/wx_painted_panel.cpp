#include "platform/ui/wx/wx_painted_panel.h"

#include "platform/ui/window.h"
#include "platform/ui/wx/wx_pixels.h"

namespace platform {

CWxPaintedPanel::CWxPaintedPanel(wxWindow* parent, HWND hWnd, const wxPoint& pos,
                                 const wxSize& size, long style)
    : m_hWnd(hWnd) {
  // The object paints every pixel itself; no erase by the toolkit in between.
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Create(parent, wxID_ANY, pos, size, style | wxFULL_REPAINT_ON_RESIZE);
  Bind(wxEVT_PAINT, &CWxPaintedPanel::OnPaint, this);
}

void CWxPaintedPanel::Present(const CPixelBuffer& pixels) {
  if (pixels.Width() <= 0 || pixels.Height() <= 0) return;
  m_picture = wxBitmap(PixelsToImage(pixels));
  if (!m_bPainting) Refresh(false);
}

bool CWxPaintedPanel::NeedsObjectPaint() const {
  const WindowState* state = GetWindowState(m_hWnd);
  if (state == nullptr) return false;
  return state->dirty || !m_picture.IsOk();
}

void CWxPaintedPanel::PaintNow() {
  if (NeedsObjectPaint()) {
    PaintWindowNow(m_hWnd, !m_picture.IsOk());
    Refresh(false);
  }
  // Only what is invalid is painted: the picture on screen is the current one otherwise.
  Update();
}

void CWxPaintedPanel::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  if (NeedsObjectPaint()) {
    m_bPainting = true;
    PaintWindowNow(m_hWnd, !m_picture.IsOk());
    m_bPainting = false;
  }
  if (m_picture.IsOk()) {
    dc.DrawBitmap(m_picture, 0, 0, false);
  } else {
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
  }
}

}  // namespace platform
