#include "controls/ellipsis_label.h"

#include "platform/ui/drawing.h"

BEGIN_MESSAGE_MAP(CEllipsisLabel, CWnd)
ON_MESSAGE(WM_SETTEXT, OnSetText)
ON_MESSAGE(WM_ERASEBKGND, OnEraseBkgnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

CEllipsisLabel::CEllipsisLabel(UINT nFormat, BOOL bPathEllipsis)
    : m_bPathEllipsis(bPathEllipsis), m_nFormat(nFormat) {}

CEllipsisLabel::~CEllipsisLabel() = default;

LRESULT CEllipsisLabel::OnSetText(WPARAM wParam, LPARAM lParam) {
  DefWindowProc(WM_SETTEXT, wParam, lParam);
  // Even the same text again repaints: the old picture may be stale.
  Invalidate(TRUE);
  return TRUE;
}

LRESULT CEllipsisLabel::OnEraseBkgnd(WPARAM wParam, LPARAM /*lParam*/) {
  // No context given means the window's own paint buffer.
  HDC hDC = reinterpret_cast<HDC>(wParam);
  CClientDC ownDC(hDC == nullptr ? this : nullptr);
  if (hDC == nullptr) hDC = ownDC.GetSafeHdc();
  RECT rc;
  GetClientRect(&rc);
  CBrush face(GetSysColor(COLOR_BTNFACE));
  FillRect(hDC, &rc, face.GetSafeHandle());
  return TRUE;
}

void CEllipsisLabel::OnPaint() {
  CPaintDC dc(this);
  CWnd* pParent = GetParent();
  if (pParent != nullptr) {
    dc.SelectFont(reinterpret_cast<HFONT>(pParent->SendMessage(WM_GETFONT, 0, 0)));
  }
  const std::string text = GetWindowText();
  RECT rc;
  GetClientRect(&rc);
  const UINT nFormat = m_nFormat | (m_bPathEllipsis ? DT_PATH_ELLIPSIS : DT_END_ELLIPSIS);
  dc.DrawTextEx(text.c_str(), static_cast<int>(text.size()), &rc, nFormat, nullptr);
}
