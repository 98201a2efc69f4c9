// StartWxBackend / StopWxBackend (platform/wx_backend.h).
#include "platform/ui/wx/wx_backend.h"

#include <cstdlib>

#include "platform/ui/ui_backend.h"
#include "platform/ui/wx/wx_app.h"
#include "platform/ui/wx/wx_ui_backend.h"

namespace platform {

namespace {

bool g_bRunning = false;

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

bool StartWxBackend(int& argc, char** argv) {
  if (g_bRunning) return true;
  if (!HasDisplay()) return false;
  wxApp::SetInstance(new CWxApp());
  bool started = false;
  {
    // A display that cannot be opened is the caller's to report, once.
    wxLogNull quiet;
    started = wxEntryStart(argc, argv);
  }
  if (!started) return false;
  if (wxTheApp == nullptr || !wxTheApp->CallOnInit()) {
    wxEntryCleanup();
    return false;
  }
  CWxUiBackend::Instance().Activate();
  SetUiBackend(&CWxUiBackend::Instance());
  g_bRunning = true;
  return true;
}

void StopWxBackend() {
  if (!g_bRunning) return;
  SetUiBackend(nullptr);
  CWxUiBackend::Instance().Deactivate();
  if (wxTheApp != nullptr) {
    wxTheApp->ProcessPendingEvents();
    wxTheApp->OnExit();
  }
  wxEntryCleanup();
  g_bRunning = false;
}

}  // namespace platform
