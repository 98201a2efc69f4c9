// CShadedProgressCtrl: the progress bar painted as a shaded tube in the colour family of the
// system highlight colour, double-buffered, on the button face. Range and position stay the
// platform control's; every paint reads them back.
#pragma once

#include "platform/window.h"

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
};
