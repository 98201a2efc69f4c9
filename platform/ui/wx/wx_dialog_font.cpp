#include "platform/ui/wx/wx_dialog_font.h"

#include <wx/fontenum.h>

namespace platform {

CWxDialogFont::CWxDialogFont(const std::string& faceName, int pointSize) {
  const int size = pointSize > 0 ? pointSize : 8;
  if (!faceName.empty() && wxFontEnumerator::IsValidFacename(ToWx(faceName))) {
    m_font = wxFont(wxFontInfo(size).FaceName(ToWx(faceName)));
  } else {
    m_font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    m_font.SetPointSize(size);
  }

  wxBitmap scratch(1, 1);
  wxMemoryDC dc(scratch);
  dc.SetFont(m_font);
  wxCoord width = 0, height = 0;
  dc.GetTextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", &width, &height);
  m_nBaseX = (width / 26 + 1) / 2;
  m_nBaseY = dc.GetCharHeight();
  if (m_nBaseX <= 0) m_nBaseX = 6;
  if (m_nBaseY <= 0) m_nBaseY = 13;
}

wxRect CWxDialogFont::ToPixels(const RECT& dlu) const {
  return wxRect(ToPixelsX(dlu.left), ToPixelsY(dlu.top), ToPixelsX(dlu.right - dlu.left),
                ToPixelsY(dlu.bottom - dlu.top));
}

bool CWxDialogFont::FitScale(int dlu, int pixels, int base, int unitsPerBase, int* scale) {
  // dlu * base / unitsPerBase pixels at the scale: the smallest scale that gives at least the
  // pixels asked for, rounded up.
  if (dlu <= 0 || pixels <= 0 || base <= 0) return false;
  const long long denominator = static_cast<long long>(dlu) * base;
  const long long needed =
      (static_cast<long long>(pixels) * unitsPerBase * kScaleOne + denominator - 1) / denominator;
  if (needed <= *scale) return false;
  *scale = static_cast<int>(needed);
  return true;
}

int CWxDialogFont::MulDivRound(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : -((-product + half) / denominator));
}

}  // namespace platform
