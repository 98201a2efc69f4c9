#include "platform/ui/window_module.h"

#include <filesystem>
#include <system_error>

#include "platform/os/module.h"
#include "platform/os/process.h"
#include "platform/ui/wx/wx_module_interface.h"

#ifndef QUORIN_WX_MODULE_NAME
#define QUORIN_WX_MODULE_NAME "quorin-wx.so"
#endif
// Relative to the executable's folder, as installed (set by the build from the install folders).
#ifndef QUORIN_WX_MODULE_INSTALLED
#define QUORIN_WX_MODULE_INSTALLED "../lib/quorin/" QUORIN_WX_MODULE_NAME
#endif

namespace platform {

namespace {

const WxModuleBackend* g_pBackend = nullptr;

// By name: several entries share a type, so an entry out of place would still compile.
const WxModuleHost kHost = {
    .pfnSendMessage = &SendMessage,
    .pfnIsWindow = &IsWindow,
    .pfnGetWindowState = &GetWindowState,
    .pfnGetChildWindows = &GetChildWindows,
    .pfnPaintWindowNow = &PaintWindowNow,
    .pfnPumpPostedMessages = &PumpPostedMessages,
    .pfnNextTimerDue = &NextTimerDue,
    .pfnDispatchDueTimers = &DispatchDueTimers,
    .pfnAfxGetMainWnd = &AfxGetMainWnd,
    .pfnFindDialogTemplate = &FindDialogTemplate,
    .pfnLoadIconResource = &LoadIconResource,
    .pfnGetIconImage = &GetIconImage,
    .pfnParseFileFilter = &ParseFileFilter,
    .pfnSetUiBackend = &SetUiBackend,
};

}  // namespace

std::vector<std::string> WindowModulePaths() {
  namespace fs = std::filesystem;
  const fs::path exe = GetModuleFileName();
  const fs::path folder = exe.empty() ? fs::path(".") : exe.parent_path();
  return {(folder / QUORIN_WX_MODULE_NAME).string(),
          (folder / QUORIN_WX_MODULE_INSTALLED).lexically_normal().string()};
}

bool LoadWindowModule(std::string& reason) {
  if (g_pBackend != nullptr) return true;
  const std::vector<std::string> paths = WindowModulePaths();
  std::string path;
  for (const std::string& candidate : paths) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec)) {
      path = candidate;
      break;
    }
  }
  if (path.empty()) {
    reason = std::string(QUORIN_WX_MODULE_NAME) + " is neither beside the program nor in " +
             std::filesystem::path(paths.back()).parent_path().string();
    return false;
  }
  void* connect = LoadModuleFunction(path, QUORIN_WX_MODULE_CONNECT, reason);
  if (connect == nullptr) return false;
  const WxModuleBackend* backend = reinterpret_cast<QuorinWxModuleConnectFn>(connect)(
      WX_MODULE_VERSION, sizeof kHost, &kHost);
  if (backend == nullptr) {
    reason = path + " belongs to another build of the program";
    return false;
  }
  g_pBackend = backend;
  return true;
}

bool StartWindowModule(int& argc, char** argv) {
  return g_pBackend != nullptr && g_pBackend->pfnStart(argc, argv);
}

void StopWindowModule() {
  if (g_pBackend != nullptr) g_pBackend->pfnStop();
}

}  // namespace platform
