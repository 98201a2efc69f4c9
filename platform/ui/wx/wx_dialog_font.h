// CWxDialogFont: a dialog template's font as this desktop can show it, and the dialog units
// measured from it. The face the template names is used where it is installed, the desktop's
// sans face otherwise, at the template's point size. Dialog units follow the classic rule:
// 4 horizontal units are the average width of "A".."Z", "a".."z", 8 vertical units the
// font's line height.
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

  int ToPixelsX(int dlu) const { return MulDivRound(dlu, m_nBaseX, 4); }
  int ToPixelsY(int dlu) const { return MulDivRound(dlu, m_nBaseY, 8); }
  // Position and size of a control given in dialog units (left, top, right, bottom).
  wxRect ToPixels(const RECT& dlu) const;

 private:
  static int MulDivRound(int value, int numerator, int denominator);

  wxFont m_font;
  int m_nBaseX = 0;
  int m_nBaseY = 0;
};

}  // namespace platform
