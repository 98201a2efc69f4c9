// CWxDialogFont: a dialog template's font as this desktop can show it, and the dialog units
// measured from it. The face the template names is used where it is installed, the desktop's
// sans face otherwise, at the template's point size. Dialog units follow the classic rule:
// 4 horizontal units are the average width of "A".."Z", "a".."z", 8 vertical units the
// font's line height.
//
// Those units were made for the fonts the templates were drawn with; in another face a label can
// come out wider than its control. A dialog then widens (or heightens) its units until every
// label fits (FitToAtLeast): the whole layout grows in proportion and keeps its look.
#pragma once

#include <string>

#include "platform/ui/wx/wx_common.h"

namespace platform {

class CWxDialogFont {
 public:
  CWxDialogFont(const std::string& faceName, int pointSize);

  const wxFont& Font() const { return m_font; }
  int BaseUnitX() const { return m_nBaseX; }
  int BaseUnitY() const { return m_nBaseY; }

  int ToPixelsX(int dlu) const { return MulDivRound(dlu, m_nBaseX * m_nScaleX, 4 * kScaleOne); }
  int ToPixelsY(int dlu) const { return MulDivRound(dlu, m_nBaseY * m_nScaleY, 8 * kScaleOne); }
  // Grows the units so that dlu units are at least pixels wide (X) or high (Y); never shrinks
  // them. True when they changed.
  bool FitToAtLeastX(int dlu, int pixels) { return FitScale(dlu, pixels, m_nBaseX, 4, &m_nScaleX); }
  bool FitToAtLeastY(int dlu, int pixels) { return FitScale(dlu, pixels, m_nBaseY, 8, &m_nScaleY); }
  bool IsFitted() const { return m_nScaleX != kScaleOne || m_nScaleY != kScaleOne; }
  // Position and size of a control given in dialog units (left, top, right, bottom).
  wxRect ToPixels(const RECT& dlu) const;

 private:
  static constexpr int kScaleOne = 1000;  // the units' scale in thousandths

  static int MulDivRound(int value, int numerator, int denominator);
  static bool FitScale(int dlu, int pixels, int base, int unitsPerBase, int* scale);

  wxFont m_font;
  int m_nBaseX = 0;
  int m_nBaseY = 0;
  int m_nScaleX = kScaleOne;
  int m_nScaleY = kScaleOne;
};

}  // namespace platform
