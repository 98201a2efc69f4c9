// Entry point: the window where a display is available, the terminal mode otherwise. The
// choice is made once, here. On Linux the window comes from a module (quorin-wx.so) that is
// loaded only then; without it, or when the display cannot be opened, the program says so in
// one line and runs in the terminal. On Windows the window is its own program (quorin.exe)
// and the console one (quorin-cli.exe) is the terminal mode.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/port_choice.h"
#include "app/quorin_app.h"
#include "app/terminal_mode.h"
#include "platform/os/console.h"
#include "platform/os/process.h"
#ifdef QUORIN_WINDOW_MODULE
#include "platform/ui/window_module.h"
#endif
#if defined(_WIN32) && !defined(QUORIN_CONSOLE_BUILD)
#include "platform/ui/win32/win32_backend.h"
#endif

namespace {

[[maybe_unused]] int RunWindow(int argc, const char* const* argv) {
  theApp.SetCommandLine(argc, argv);
  theApp.InitInstance();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The arguments as the system has them, in UTF-8 (on Windows not the ANSI code page's).
  const std::vector<std::string> args = CommandLineArguments(argc, argv);
  std::vector<const char*> argvUtf8;
  for (const std::string& arg : args) argvUtf8.push_back(arg.c_str());
  argvUtf8.push_back(nullptr);
  const int nArgs = static_cast<int>(args.size());

#if !defined(_WIN32) || defined(QUORIN_CONSOLE_BUILD)
  // The listing is for the terminal, with or without a display; it opens no port.
  CCommandLine commandLine;
  commandLine.Parse(nArgs, argvUtf8.data());
  if (commandLine.HasOption("--ports")) {
    WriteStdout(PortsReport());
    return 0;
  }
#endif

#if defined(_WIN32) && !defined(QUORIN_CONSOLE_BUILD)
  if (!StartWin32Backend()) return 1;
  const int nStatus = RunWindow(nArgs, argvUtf8.data());
  StopWin32Backend();
  return nStatus;
#else
#ifdef QUORIN_WINDOW_MODULE
  // Asked from a terminal, the help and the version are answered there, display or not.
  if (CTerminalMode::AsksForInformation(nArgs, argvUtf8.data())) {
    CTerminalMode terminal;
    return terminal.Run(nArgs, argvUtf8.data());
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* shown = display != nullptr && *display != '\0'   ? display
                      : wayland != nullptr && *wayland != '\0' ? wayland
                                                               : nullptr;
  if (shown != nullptr) {
    std::string reason;
    if (!LoadWindowModule(reason)) {
      std::fprintf(stderr, "%s: no window (%s); running in the terminal\n",
                   GetModuleBaseName().c_str(), reason.c_str());
    } else if (StartWindowModule(argc, argv)) {  // the toolkit takes its own options out
      const int nStatus = RunWindow(argc, argv);
      StopWindowModule();
      return nStatus;
    } else {
      std::fprintf(stderr, "%s: the display %s cannot be opened; running in the terminal\n",
                   GetModuleBaseName().c_str(), shown);
    }
  }
#endif
  CTerminalMode terminal;
  return terminal.Run(nArgs, argvUtf8.data());
#endif
}
