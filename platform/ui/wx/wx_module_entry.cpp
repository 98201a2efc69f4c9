// The window module's side of wx_module_interface.h: the layer's services the backend calls are
// defined here by handing them on to the program's table, so the module carries no copy of the
// window layer (its records and queues exist once, in the program). Only the module is built
// from this unit; the window suite links the backend with the layer itself.
#include "platform/ui/wx/wx_module_interface.h"

#include "platform/ui/wx/wx_backend.h"

namespace platform {

namespace {

WxModuleHost g_host{};

}  // namespace

LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return g_host.pfnSendMessage(hWnd, message, wParam, lParam);
}
BOOL IsWindow(HWND hWnd) { return g_host.pfnIsWindow(hWnd); }
WindowState* GetWindowState(HWND hWnd) { return g_host.pfnGetWindowState(hWnd); }
std::vector<HWND> GetChildWindows(HWND hDlg) { return g_host.pfnGetChildWindows(hDlg); }
void PaintWindowNow(HWND hWnd, bool bErase) { g_host.pfnPaintWindowNow(hWnd, bErase); }
int PumpPostedMessages() { return g_host.pfnPumpPostedMessages(); }
std::optional<std::chrono::steady_clock::time_point> NextTimerDue() {
  return g_host.pfnNextTimerDue();
}
int DispatchDueTimers() { return g_host.pfnDispatchDueTimers(); }
CWnd* AfxGetMainWnd() { return g_host.pfnAfxGetMainWnd(); }
const DialogTemplate* FindDialogTemplate(int id) { return g_host.pfnFindDialogTemplate(id); }
HICON LoadIconResource(int id) { return g_host.pfnLoadIconResource(id); }
const CPixelBuffer* GetIconImage(HICON icon) { return g_host.pfnGetIconImage(icon); }
std::vector<std::pair<std::string, std::string>> ParseFileFilter(const std::string& filter) {
  return g_host.pfnParseFileFilter(filter);
}
void SetUiBackend(IUiBackend* backend) { g_host.pfnSetUiBackend(backend); }

}  // namespace platform

extern "C" __attribute__((visibility("default"))) const platform::WxModuleBackend*
QuorinWxModuleConnect(unsigned version, std::size_t hostSize, const platform::WxModuleHost* host) {
  static constexpr platform::WxModuleBackend kBackend = {&platform::StartWxBackend,
                                                         &platform::StopWxBackend};
  if (version != platform::WX_MODULE_VERSION || hostSize != sizeof(platform::WxModuleHost) ||
      host == nullptr) {
    return nullptr;
  }
  platform::g_host = *host;
  return &kBackend;
}
