#define QUORIN_NO_LAYER_IMPORT
#include "tests/ui_win32/ui_win32_support.h"

#include <cstdlib>

#include "platform/ui/win32/win32_backend.h"
#include "platform/os/win32/wide.h"

namespace {

bool UnderWine() {
  const ::HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Why no window can be shown here, or empty.
std::string NoDesktopReason() {
  if (UnderWine()) {
    wchar_t display[256] = L"";
    if (::GetEnvironmentVariableW(L"DISPLAY", display, 256) == 0 || display[0] == L'\0') {
      return "no X display under Wine (DISPLAY is not set): run the suite with an X server, "
             "for example under xvfb-run";
    }
  }
  if (::GetSystemMetrics(SM_CXSCREEN) <= 0) return "the window station has no screen";
  return std::string();
}

CUserScript* g_pScript = nullptr;

void SetSettingsFolder(const std::wstring& folder) {
  ::SetEnvironmentVariableW(L"APPDATA", folder.c_str());
  _wputenv_s(L"APPDATA", folder.c_str());
}

}  // namespace

// ---- the fixture --------------------------------------------------------------------------

void CWin32WindowTest::SetUp() {
  const std::string reason = NoDesktopReason();
  if (!reason.empty()) GTEST_SKIP() << reason;
  static int counter = 0;
  m_settings = std::filesystem::temp_directory_path() /
               (L"quorin-ui-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
  std::filesystem::create_directories(m_settings);
  SetSettingsFolder(m_settings.wstring());
  ASSERT_TRUE(platform::StartWin32Backend());
  m_started = true;
}

void CWin32WindowTest::TearDown() {
  if (m_started) platform::StopWin32Backend();
  // Whatever a test left (a timer message, a window's last paint) goes before the next one.
  PumpNative(50);
  std::error_code ignored;
  if (!m_settings.empty()) std::filesystem::remove_all(m_settings, ignored);
}

// ---- the user's script --------------------------------------------------------------------

CUserScript::~CUserScript() { Stop(); }

CUserScript& CUserScript::Then(const std::string& what, std::function<bool()> ready,
                               std::function<void()> act) {
  m_steps.push_back(Step{what, std::move(ready), std::move(act)});
  return *this;
}

void CUserScript::Start(std::function<void()> rescue, unsigned timeoutMs) {
  m_rescue = std::move(rescue);
  m_deadline = ::GetTickCount64() + timeoutMs;
  g_pScript = this;
  m_timer = ::SetTimer(nullptr, 0, 25, &CUserScript::OnTick);
}

void CUserScript::Stop() {
  if (m_timer != 0) ::KillTimer(nullptr, m_timer);
  m_timer = 0;
  if (g_pScript == this) g_pScript = nullptr;
}

void CALLBACK CUserScript::OnTick(::HWND, UINT, UINT_PTR, DWORD) {
  if (g_pScript != nullptr) g_pScript->Tick();
}

void CUserScript::Tick() {
  // A step's action may run a loop that ticks again: the next step waits for it to return.
  if (m_inTick || Finished()) return;
  m_inTick = true;
  if (::GetTickCount64() > m_deadline) {
    ADD_FAILURE() << "the script stalled waiting for: " << m_steps[m_next].what;
    m_next = m_steps.size();
    Stop();
    if (m_rescue) m_rescue();
  } else if (m_steps[m_next].ready()) {
    const std::size_t step = m_next++;
    m_steps[step].act();
    if (Finished()) Stop();
  }
  m_inTick = false;
}

// ---- native windows -----------------------------------------------------------------------

void PumpNative(unsigned milliseconds) {
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  MSG msg;
  for (;;) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now >= end) break;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  }
}

std::wstring ClassOf(::HWND hwnd) {
  wchar_t name[128] = L"";
  ::GetClassNameW(hwnd, name, 128);
  return name;
}

std::wstring TextOf(::HWND hwnd) {
  const int length = ::GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  const int copied = ::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

std::vector<::HWND> ShownDialogs() {
  std::vector<::HWND> found;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](::HWND hwnd, LPARAM list) -> BOOL {
        if (::IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770") {
          reinterpret_cast<std::vector<::HWND>*>(list)->push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring BoxText(::HWND box) {
  std::wstring longest;
  for (::HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (::CompareStringOrdinal(ClassOf(child).c_str(), -1, L"Static", -1, TRUE) != CSTR_EQUAL) continue;
    const std::wstring text = TextOf(child);
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}

std::vector<::HWND> ChildrenInOrder(::HWND dialog) {
  std::vector<::HWND> children;
  for (::HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

::RECT DialogUnitsToPixels(::HWND dialog, int x, int y, int cx, int cy) {
  ::RECT r{x, y, x + cx, y + cy};
  ::MapDialogRect(dialog, &r);
  return r;
}

::RECT RectInParent(::HWND control) {
  ::RECT r;
  ::GetWindowRect(control, &r);
  ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<::POINT*>(&r), 2);
  return r;
}

std::string BuildFolderPath(const std::string& name) {
  std::string path = std::string(QUORIN_BUILD_DIR) + "/" + name;
  // Under Wine the build folder is a Linux path: its DOS name is asked for.
  using ToDos = LPWSTR(CDECL*)(LPCSTR);
  const ::HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto toDos = kernel != nullptr ? reinterpret_cast<ToDos>(
                                             reinterpret_cast<void*>(::GetProcAddress(kernel, "wine_get_dos_file_name")))
                                       : nullptr;
  if (toDos != nullptr && !path.empty() && path.front() == '/') {
    if (LPWSTR dos = toDos(path.c_str())) {
      path = platform::WideToUtf8(dos);
      ::HeapFree(::GetProcessHeap(), 0, dos);
    }
  }
  return path;
}
