// Entry point: the window where a display is available, the terminal mode otherwise. The
// choice is made once, here.
#include <cstdlib>

#include "app/quorin_app.h"
#include "app/terminal_mode.h"
#ifdef QUORIN_HAVE_WX
#include "platform/ui/wx/wx_backend.h"
#endif

int main(int argc, char** argv) {
#ifdef QUORIN_HAVE_WX
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool wantWindow = (display != nullptr && *display != '\0') ||
                          (wayland != nullptr && *wayland != '\0');
  if (wantWindow && StartWxBackend(argc, argv)) {
    theApp.SetCommandLine(argc, argv);
    theApp.InitInstance();
    StopWxBackend();
    return 0;
  }
#endif
  CTerminalMode terminal;
  return terminal.Run(argc, argv);
}
