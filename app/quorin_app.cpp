#include "app/quorin_app.h"

#include "app/quorin_dlg.h"

CQuorinApp theApp;

BOOL CQuorinApp::InitInstance() {
  Enable3dControls();

  CQuorinDlg dlg(nullptr, m_argc, m_argv);
  if (m_pJobObserver != nullptr) dlg.AddJobObserver(m_pJobObserver);
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;

  // The dialog has ended: report failure so that no message loop of our own is run.
  return FALSE;
}
