#include "tests/ui_win32/ui_win32_program.h"

#include "app/quorin_dlg.h"

namespace {
CQuorinDlg* g_pRunning = nullptr;
}

std::intptr_t RunQuorinMainDialog(const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  argv.push_back(nullptr);
  CQuorinDlg dlg(nullptr, static_cast<int>(args.size()), argv.data());
  g_pRunning = &dlg;
  const INT_PTR result = dlg.DoModal();
  g_pRunning = nullptr;
  return result;
}

platform::HWND QuorinMainDialog() { return g_pRunning != nullptr ? g_pRunning->m_hWnd : nullptr; }
