#include "platform/os/console.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/os/win32/console_control.h"
#include "platform/os/win32/wide.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform {

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
std::function<void(int)> g_onSignal;
bool g_bRouting = false;
bool g_bInstalled = false;
int g_nCalling = 0;  // handler threads inside g_onSignal
bool g_bSignalled = false;  // an event has been routed since routing began
int g_nKeptStatus = -1;

bool IsConsole(HANDLE h) {
  ::DWORD mode = 0;
  return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode);
}

void WriteStandard(::DWORD which, const std::string& text) {
  const HANDLE h = ::GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE || text.empty()) return;
  if (IsConsole(h)) {
    // A console shows UTF-16; the bytes would be read in its code page.
    const std::wstring wide = Utf8ToWide(text);
    std::size_t done = 0;
    while (done < wide.size()) {
      const ::DWORD chunk = static_cast<::DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
      ::DWORD wrote = 0;
      if (!::WriteConsoleW(h, wide.data() + done, chunk, &wrote, nullptr) || wrote == 0) return;
      done += wrote;
    }
    return;
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const ::DWORD chunk = static_cast<::DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
    ::DWORD wrote = 0;
    if (!::WriteFile(h, text.data() + done, chunk, &wrote, nullptr) || wrote == 0) return;
    done += wrote;
  }
}

BOOL WINAPI OnConsoleControl(::DWORD type) { return HandleConsoleControl(type); }

}  // namespace

int HandleConsoleControl(unsigned long type, unsigned nGraceMs) {
  int nStatus = 0;
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      nStatus = 130;
      break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      nStatus = 143;
      break;
    default:
      return FALSE;
  }
  // Windows ends a process about five seconds after its console was closed, whatever its
  // handler does; the program's clean-up has to fit in that.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nGraceMs);
  std::function<void(int)> onSignal;
  int nEndNow = -1;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    // Routing stopped: Ctrl+C stays ignored (as the blocked signals on Linux); a close ends
    // the process at once.
    if (!g_bRouting) return nStatus == 130 ? TRUE : FALSE;
    if (g_bSignalled) {
      nEndNow = g_nKeptStatus >= 0 ? g_nKeptStatus : nStatus;
    } else {
      g_bSignalled = true;
      onSignal = g_onSignal;
      ++g_nCalling;
    }
  }
  // Asked twice: the process ends here, without waiting for a main thread that may be blocked.
  if (nEndNow >= 0) {
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(nEndNow));
    return TRUE;
  }
  onSignal(nStatus);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    --g_nCalling;
  }
  g_changed.notify_all();
  if (nStatus == 130) return TRUE;

  // The process ends when this returns. The program stops its job first (keeps a partial file,
  // closes its port) and then stops routing; after that it ends with its own status, which
  // ends this thread too.
  {
    std::unique_lock<std::mutex> lock(g_mutex);
    g_changed.wait_until(lock, deadline, [] { return !g_bRouting; });
  }
  std::this_thread::sleep_until(deadline);
  return TRUE;
}

bool IsStdoutTerminal() { return IsConsole(::GetStdHandle(STD_OUTPUT_HANDLE)); }

void WriteStdout(const std::string& text) { WriteStandard(STD_OUTPUT_HANDLE, text); }
void WriteStderr(const std::string& text) { WriteStandard(STD_ERROR_HANDLE, text); }

void RouteTerminationSignals(std::function<void(int nExitStatus)> onSignal) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_onSignal = std::move(onSignal);
  g_bRouting = true;
  g_bSignalled = false;
  g_nKeptStatus = -1;
  if (!g_bInstalled) {
    // A process started in a new process group ignores Ctrl+C until told otherwise.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    g_bInstalled = ::SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
  }
}

void KeepExitStatusOnSignals(int nExitStatus) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_nKeptStatus = nExitStatus;
}

void StopRoutingTerminationSignals() {
  {
    std::unique_lock<std::mutex> lock(g_mutex);
    if (!g_bRouting) return;
    g_bRouting = false;
    // As the routing thread's join on Linux: no call back is under way once this returns.
    g_changed.wait(lock, [] { return g_nCalling == 0; });
    g_onSignal = nullptr;
  }
  g_changed.notify_all();
}

}  // namespace platform
