// Between the program and its window module (quorin-wx.so, the wxWidgets backend). The program
// loads the module only where a display exists, so the terminal mode never maps the toolkit.
//
// The window layer (records, messages, timers, resources) stays in the program, with all its
// state; the module keeps none of it. The program hands the module a table of the few layer
// services the backend calls, and the module gives back the backend's start and stop. Nothing
// else crosses: the module exports one symbol and resolves nothing in the program. Both tables
// hold C++ types, so both sides must come from the same build: the version and the table's size
// turn a module left over from another build away instead of letting it crash.
//
// No toolkit header here: the program's side includes this file.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/ui_backend.h"
#include "platform/ui/window.h"

namespace platform {

// Raise it whenever either table below changes.
constexpr unsigned WX_MODULE_VERSION = 1;

// The window layer's services the backend uses, each the program's own function of that name
// (window.h, ui_backend.h).
struct WxModuleHost {
  LRESULT (*pfnSendMessage)(HWND, UINT, WPARAM, LPARAM);
  BOOL (*pfnIsWindow)(HWND);
  WindowState* (*pfnGetWindowState)(HWND);
  std::vector<HWND> (*pfnGetChildWindows)(HWND);
  void (*pfnPaintWindowNow)(HWND, bool);
  int (*pfnPumpPostedMessages)();
  std::optional<std::chrono::steady_clock::time_point> (*pfnNextTimerDue)();
  int (*pfnDispatchDueTimers)();
  CWnd* (*pfnAfxGetMainWnd)();
  const DialogTemplate* (*pfnFindDialogTemplate)(int);
  HICON (*pfnLoadIconResource)(int);
  const CPixelBuffer* (*pfnGetIconImage)(HICON);
  std::vector<std::pair<std::string, std::string>> (*pfnParseFileFilter)(const std::string&);
  void (*pfnSetUiBackend)(IUiBackend*);
};

// What the module offers: StartWxBackend and StopWxBackend (wx_backend.h).
struct WxModuleBackend {
  bool (*pfnStart)(int& argc, char** argv);
  void (*pfnStop)();
};

}  // namespace platform

// The module's one exported function, by this name: connects the module to the program's
// layer (the table is copied) and returns its backend, or nullptr when the module was built
// with other tables.
#define QUORIN_WX_MODULE_CONNECT "QuorinWxModuleConnect"
extern "C" {
using QuorinWxModuleConnectFn = const platform::WxModuleBackend* (*)(unsigned version,
                                                                      std::size_t hostSize,
                                                                      const platform::WxModuleHost* host);
}
