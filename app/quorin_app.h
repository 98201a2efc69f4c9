// CQuorinApp: the one application object. Start-up runs the main dialog modally; when the
// modal run ends the program ends (there is no message loop of its own).
#pragma once

#include "platform/ui/window.h"

class CQuorinApp : public CWinApp {
 public:
  void SetCommandLine(int argc, const char* const* argv) {
    m_argc = argc;
    m_argv = argv;
  }
  BOOL InitInstance() override;

 private:
  int m_argc = 0;
  const char* const* m_argv = nullptr;
};

extern CQuorinApp theApp;
