// CShadedProgressCtrl: the progress bar painted as a shaded tube in the colour family of the
// system highlight colour, double-buffered, on the button face. Range and position stay the
// platform control's; every paint reads them back.
#pragma once

#include "platform/ui/drawing.h"
#include "platform/ui/window.h"

// Lighten / darken each channel by the amount (low 8 bits) where it stays within 0..255;
// a channel that would leave the range keeps its value.
COLORREF ColorStepUp(COLORREF colour, UINT amount);
COLORREF ColorStepDown(COLORREF colour, UINT amount);

class CShadedProgressCtrl : public CProgressCtrl {
 public:
  CShadedProgressCtrl();
  ~CShadedProgressCtrl() override;

  void OnPaint();
  LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 private:
  void CreatePens();
  // The seventeen shading steps over the bar rectangle, in order.
  void DrawShading(CDC& dc, const RECT& rcBar);

  CPen m_penBase;
  CPen m_penLight1;
  CPen m_penLight2;
  CPen m_penDark1;
  CPen m_penDark2;
  CPen m_penHalfShadow;
  CPen m_penShadow;
  COLORREF m_crBase;
  COLORREF m_crLight1;
  COLORREF m_crLight2;
  COLORREF m_crLight3;  // the bar's fill
  COLORREF m_crDark1;
  COLORREF m_crDark2;
  COLORREF m_crDarkShadow;
  COLORREF m_crHalfShadow;
  COLORREF m_crShadow;
};
