// CQuorinApp: the one application object. Start-up runs the main dialog modally; when the
// modal run ends the program ends (there is no message loop of its own).
#pragma once

#include "platform/ui/window.h"
#include "transfer/job_observer.h"

class CQuorinApp : public CWinApp {
 public:
  void SetCommandLine(int argc, const char* const* argv) {
    m_argc = argc;
    m_argv = argv;
  }
  // Watches the main dialog's jobs besides the window itself (the terminal mode).
  void SetJobObserver(IJobObserver* pObserver) { m_pJobObserver = pObserver; }
  BOOL InitInstance() override;

 private:
  IJobObserver* m_pJobObserver = nullptr;
  int m_argc = 0;
  const char* const* m_argv = nullptr;
};

extern CQuorinApp theApp;
