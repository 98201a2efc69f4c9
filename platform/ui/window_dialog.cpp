#include "platform/ui/window.h"
#include "platform/ui/window_manager.h"

namespace platform {

// ---- CDialog ------------------------------------------------------------------------------

CDialog::CDialog(UINT nIDTemplate, CWnd* pParent) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParent) {}

// A window still up goes with the object (CWnd's destructor removes it, without calling back
// into the object that is half gone).
CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() { return CWindowManager::RunModal(this); }

BOOL CDialog::Create() { return CWindowManager::CreateDialogFor(this); }

void CDialog::EndDialog(int nResult) { CWindowManager::EndDialog(this, nResult); }

BOOL CDialog::OnInitDialog() { return TRUE; }

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange() {}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog();
  return CWnd::DefWindowProc(message, wParam, lParam);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (CWnd::OnCommand(wParam, lParam)) return TRUE;
  // Enter and Escape (and buttons with these ids) end the dialog unless a table took them.
  if (HIWORD(wParam) != BN_CLICKED) return FALSE;
  switch (LOWORD(wParam)) {
    case IDOK:
      OnOK();
      return TRUE;
    case IDCANCEL:
      OnCancel();
      return TRUE;
    default:
      return FALSE;
  }
}

const AFX_MSGMAP* CDialog::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
  static const AFX_MSGMAP messageMap = {CWnd::GetThisMessageMap(), &entries[0]};
  return &messageMap;
}

const AFX_MSGMAP* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

void DDX_Control(CDialog* pDlg, int nIDC, CWnd& rControl) {
  if (pDlg == nullptr) return;
  rControl.SubclassDlgItem(static_cast<UINT>(nIDC), pDlg);
}

// ---- the application object ---------------------------------------------------------------

namespace {
CWinApp* g_pApp = nullptr;
}

CWinApp::CWinApp() {
  if (g_pApp == nullptr) g_pApp = this;
}

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }

CWnd* AfxGetMainWnd() {
  if (g_pApp != nullptr && g_pApp->m_pMainWnd != nullptr) return g_pApp->m_pMainWnd;
  return CWindowManager::OutermostModal();
}

}  // namespace platform
