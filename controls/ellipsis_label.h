// CEllipsisLabel: a one-line text that paints itself on the button face in its parent's font
// and shortens what does not fit with an ellipsis: at the end, or inside a path (keeping the
// path's start and its last component). The text is the control's own window text.
#pragma once

#include "platform/ui/window.h"

class CEllipsisLabel : public CWnd {
 public:
  explicit CEllipsisLabel(UINT nFormat = DT_NOPREFIX | DT_VCENTER, BOOL bPathEllipsis = FALSE);
  ~CEllipsisLabel() override;

  BOOL m_bPathEllipsis;
  UINT m_nFormat;

  LRESULT OnSetText(WPARAM wParam, LPARAM lParam);
  LRESULT OnEraseBkgnd(WPARAM wParam, LPARAM lParam);
  void OnPaint();

  DECLARE_MESSAGE_MAP()
};
