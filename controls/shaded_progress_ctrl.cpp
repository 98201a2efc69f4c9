#include "controls/shaded_progress_ctrl.h"

#include <algorithm>

namespace {

constexpr UINT kRampStep = 51;

COLORREF MakeColour(int r, int g, int b) {
  return RGB(static_cast<unsigned>(r), static_cast<unsigned>(g), static_cast<unsigned>(b));
}

// Channel by channel, the shadow moved half-way towards the dark shadow, rounded down.
COLORREF HalfWay(COLORREF shadow, COLORREF darkShadow) {
  const auto mid = [](int s, int d) { return s + ((d - s) >> 1); };
  return MakeColour(mid(GetRValue(shadow), GetRValue(darkShadow)),
                    mid(GetGValue(shadow), GetGValue(darkShadow)),
                    mid(GetBValue(shadow), GetBValue(darkShadow)));
}

void Line(CDC& dc, int x0, int y0, int x1, int y1) {
  dc.MoveTo(x0, y0);
  dc.LineTo(x1, y1);
}

}  // namespace

COLORREF ColorStepUp(COLORREF colour, UINT amount) {
  const int a = static_cast<int>(amount & 0xFF);
  const auto up = [a](int v) { return v + a <= 255 ? v + a : v; };
  return MakeColour(up(GetRValue(colour)), up(GetGValue(colour)), up(GetBValue(colour)));
}

COLORREF ColorStepDown(COLORREF colour, UINT amount) {
  const int a = static_cast<int>(amount & 0xFF);
  const auto down = [a](int v) { return v >= a ? v - a : v; };
  return MakeColour(down(GetRValue(colour)), down(GetGValue(colour)), down(GetBValue(colour)));
}

BEGIN_MESSAGE_MAP(CShadedProgressCtrl, CProgressCtrl)
ON_WM_PAINT()
ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
END_MESSAGE_MAP()

CShadedProgressCtrl::CShadedProgressCtrl() {
  m_crBase = GetSysColor(COLOR_HIGHLIGHT);
  m_crLight1 = ColorStepUp(m_crBase, kRampStep);
  m_crLight2 = ColorStepUp(m_crLight1, kRampStep);
  m_crLight3 = ColorStepUp(m_crLight2, kRampStep);
  m_crDark1 = ColorStepDown(m_crBase, kRampStep);
  m_crDark2 = ColorStepDown(m_crDark1, kRampStep);
  m_crDarkShadow = GetSysColor(COLOR_3DDKSHADOW);
  m_crShadow = GetSysColor(COLOR_BTNSHADOW);
  m_crHalfShadow = HalfWay(m_crShadow, m_crDarkShadow);
  CreatePens();
}

CShadedProgressCtrl::~CShadedProgressCtrl() {
  for (CPen* pen : {&m_penBase, &m_penLight1, &m_penLight2, &m_penDark1, &m_penDark2,
                    &m_penHalfShadow, &m_penShadow}) {
    if (pen->GetSafeHandle() != nullptr) pen->DeleteObject();
  }
}

void CShadedProgressCtrl::CreatePens() {
  const struct {
    CPen* pen;
    COLORREF colour;
  } pens[] = {{&m_penBase, m_crBase},       {&m_penLight1, m_crLight1},
              {&m_penLight2, m_crLight2},   {&m_penDark1, m_crDark1},
              {&m_penDark2, m_crDark2},     {&m_penHalfShadow, m_crHalfShadow},
              {&m_penShadow, m_crShadow}};
  for (const auto& p : pens) {
    p.pen->DeleteObject();
    p.pen->CreatePen(PS_SOLID, 1, p.colour);
  }
}

LRESULT CShadedProgressCtrl::OnEraseBkgnd(WPARAM /*wParam*/, LPARAM /*lParam*/) {
  // The paint covers every pixel; erasing first would only flicker.
  return TRUE;
}

void CShadedProgressCtrl::OnPaint() {
  CPaintDC dc(this);
  RECT rcClient;
  GetClientRect(&rcClient);
  const int nWidth = rcClient.Width();
  const int nHeight = rcClient.Height();

  CDC memDC;
  memDC.CreateCompatibleDC(&dc);
  memDC.SaveDC();
  CBitmap bitmap;
  bitmap.CreateCompatibleBitmap(&dc, nWidth, nHeight);
  const HGDIOBJ hOldBitmap = memDC.SelectObject(&bitmap);

  CBrush barBrush(m_crLight3);
  CBrush faceBrush(GetSysColor(COLOR_BTNFACE));
  memDC.FillRect(&rcClient, &faceBrush);

  int nLower = 0;
  int nUpper = 0;
  GetRange(nLower, nUpper);
  const int nPos = GetPos();
  if (nUpper != nLower) {
    double extent = (static_cast<double>(nPos) - nLower) * nWidth /
                    (static_cast<double>(nUpper) - nLower);
    // Beyond a few pixels past either side nothing more would show; the limit keeps the
    // conversion below defined whatever the range.
    extent = std::clamp(extent, -(nWidth + 4.0), nWidth + 4.0);
    RECT rcBar;
    rcBar.right = static_cast<LONG>(extent);
    rcBar.bottom = nHeight;
    memDC.FillRect(&rcBar, &barBrush);
    if (rcBar.right != 0) DrawShading(memDC, rcBar);
  }

  dc.BitBlt(0, 0, nWidth, nHeight, &memDC, 0, 0, SRCCOPY);
  memDC.SelectObject(hOldBitmap);
  memDC.RestoreDC(-1);
  memDC.DeleteDC();
}

void CShadedProgressCtrl::DrawShading(CDC& dc, const RECT& rcBar) {
  const int L = rcBar.left;
  const int T = rcBar.top;
  const int R = rcBar.right;
  const int B = rcBar.bottom;

  const HGDIOBJ hOldPen = dc.SelectObject(&m_penLight1);
  Line(dc, L + 2, B - 4, R - 2, B - 4);
  Line(dc, L + 2, T + 2, R - 2, T + 2);
  dc.SetPixel(L + 1, B - 3, m_crLight1);
  dc.SetPixel(L + 1, T + 1, m_crLight1);

  dc.SelectObject(&m_penLight2);
  dc.MoveTo(L + 2, B - 5);
  dc.LineTo(R - 3, B - 5);
  dc.LineTo(R - 3, T + 3);
  dc.LineTo(L + 1, T + 3);
  dc.SetPixel(L + 1, B - 4, m_crLight2);
  dc.SetPixel(L + 1, T + 2, m_crLight2);

  dc.SelectObject(&m_penBase);
  dc.MoveTo(L, B - 1);
  dc.LineTo(L, T);
  dc.LineTo(L + 2, T);
  dc.SetPixel(L + 1, B - 2, m_crBase);
  Line(dc, L + 2, B - 3, R - 2, B - 3);
  Line(dc, L + 2, T + 1, R - 1, T + 1);

  dc.SelectObject(&m_penDark1);
  dc.MoveTo(L + 2, B - 2);
  dc.LineTo(R - 2, B - 2);
  dc.LineTo(R - 2, T + 1);
  Line(dc, L + 2, T, R, T);
  dc.SetPixel(L + 1, B - 1, m_crDark1);

  dc.SelectObject(&m_penDark2);
  dc.MoveTo(L + 2, B - 1);
  dc.LineTo(R - 1, B - 1);
  dc.LineTo(R - 1, T);

  dc.SelectObject(&m_penHalfShadow);
  Line(dc, R, T, R, B);
  dc.SelectObject(&m_penShadow);
  Line(dc, R + 1, T, R + 1, B);

  dc.SelectObject(hOldPen);
}
