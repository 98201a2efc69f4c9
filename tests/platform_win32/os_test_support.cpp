#define QUORIN_NO_LAYER_IMPORT
#include "tests/platform_win32/os_test_support.h"

#include <algorithm>
#include <filesystem>

#include "platform/os/console.h"
#include "platform/os/process.h"
#include "platform/os/win32/wide.h"
#include "platform/os/win32/win32_sdk.h"

namespace ostest {

namespace {

namespace fs = std::filesystem;

// Written whole under another name first, so that a waiting test never reads half of it.
void WriteResult(const std::wstring& path, const std::string& bytes) {
  const std::wstring part = path + L".part";
  if (WriteBytes(part, bytes)) ::MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The child jobs that need nothing of the C++ runtime, run before main.
//   args|<file>    writes the arguments (CommandLineArguments), each followed by a NUL byte
//   stdout|<text>  writes whether standard output is a terminal, then the text, on it
bool RunChildJobIfAsked() {
  const std::wstring job = GetEnv(L"QUORIN_OS_TEST_CHILD");
  const std::size_t bar = job.find(L'|');
  if (bar == std::wstring::npos) return false;
  const std::wstring kind = job.substr(0, bar);
  const std::wstring rest = job.substr(bar + 1);
  if (kind == L"args") {
    std::string out;
    for (const std::string& arg : platform::CommandLineArguments(0, nullptr)) {
      out += arg;
      out += '\0';
    }
    WriteResult(rest, out);
    ::ExitProcess(0);
  }
  if (kind == L"stdout") {
    platform::WriteStdout(platform::IsStdoutTerminal() ? "terminal:" : "redirected:");
    platform::WriteStdout(Utf8(rest));
    ::ExitProcess(0);
  }
  return false;
}

const bool g_bChildJob = RunChildJobIfAsked();

// Starts the child; its process handle, or nullptr.
HANDLE StartChild(const std::wstring& commandLine, const std::wstring& job, HANDLE hStdout) {
  SetEnv(L"QUORIN_OS_TEST_CHILD", job.c_str());
  ::SECURITY_ATTRIBUTES inherit{sizeof(::SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE hNul =
      ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
  ::STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = hNul;
  startup.hStdOutput = hStdout != nullptr ? hStdout : hNul;
  startup.hStdError = hNul;
  ::PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  const std::wstring self = SelfPath();
  const BOOL started = ::CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &info);
  SetEnv(L"QUORIN_OS_TEST_CHILD", nullptr);
  if (hNul != INVALID_HANDLE_VALUE) ::CloseHandle(hNul);
  if (!started) return nullptr;
  ::CloseHandle(info.hThread);
  return info.hProcess;
}

// The child's exit code once it ended (-1 when it is still running at the deadline: it is
// ended then); closes the handle.
int FinishChild(HANDLE hProcess, ::DWORD waitMs) {
  if (hProcess == nullptr) return -1;
  int code = -1;
  if (::WaitForSingleObject(hProcess, waitMs) == WAIT_OBJECT_0) {
    ::DWORD exitCode = 0;
    if (::GetExitCodeProcess(hProcess, &exitCode)) code = static_cast<int>(exitCode);
  } else {
    ::TerminateProcess(hProcess, 99);
  }
  ::CloseHandle(hProcess);
  return code;
}

std::wstring SelfTestLine(const std::string& testName) {
  return L"\"" + SelfPath() + L"\" --gtest_also_run_disabled_tests --gtest_filter=" +
         Wide(testName);
}

}  // namespace

CTempDir::CTempDir() {
  static unsigned s_nCount = 0;
  wchar_t temp[MAX_PATH + 1] = {};
  const ::DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
  std::wstring base(temp, n);
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  m_dir = base + L"\\quorin os test " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
          std::to_wstring(++s_nCount) + L" \u00e4\u00f6\u65e5";
  fs::create_directories(fs::path(m_dir));
}

CTempDir::~CTempDir() {
  std::error_code ignored;
  fs::remove_all(fs::path(m_dir), ignored);
}

std::string Utf8(const std::wstring& text) { return platform::WideToUtf8(text); }
std::wstring Wide(const std::string& text) { return platform::Utf8ToWide(text); }

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::DWORD wrote = 0;
  const bool ok = bytes.empty() || (::WriteFile(h, bytes.data(), static_cast<::DWORD>(bytes.size()),
                                                &wrote, nullptr) &&
                                    wrote == bytes.size());
  ::CloseHandle(h);
  return ok;
}

std::string ReadBytes(const std::wstring& path) {
  const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[4096];
  ::DWORD n = 0;
  while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
  ::CloseHandle(h);
  return bytes;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(folder), error)) {
    names.push_back(entry.path().filename().wstring());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring GetEnv(const wchar_t* name) {
  std::vector<wchar_t> buffer(32768);
  const ::DWORD n =
      ::GetEnvironmentVariableW(name, buffer.data(), static_cast<::DWORD>(buffer.size()));
  return n > 0 && n < buffer.size() ? std::wstring(buffer.data(), n) : std::wstring();
}

void SetEnv(const wchar_t* name, const wchar_t* value) { ::SetEnvironmentVariableW(name, value); }

std::wstring SelfPath() { return Wide(platform::GetModuleFileName()); }

bool WaitForFile(const std::wstring& path, unsigned ms) {
  for (unsigned waited = 0; waited < ms; waited += 20) {
    if (Exists(path)) return true;
    ::Sleep(20);
  }
  return Exists(path);
}

int RunSelfTest(const std::string& testName, const std::wstring& job) {
  return RunSelfTests(testName, {job}).front();
}

std::vector<int> RunSelfTests(const std::string& testName, const std::vector<std::wstring>& jobs) {
  std::vector<HANDLE> children;
  for (const std::wstring& job : jobs) {
    children.push_back(StartChild(SelfTestLine(testName), job, nullptr));
  }
  const ::DWORD deadline = ::GetTickCount() + 60000;
  std::vector<int> codes;
  for (HANDLE hChild : children) {
    const ::DWORD left = deadline - ::GetTickCount();
    codes.push_back(FinishChild(hChild, left > 60000 ? 0 : left));
  }
  return codes;
}

int RunSelfWithStdout(const std::wstring& job, const std::wstring& stdoutPath) {
  ::SECURITY_ATTRIBUTES inherit{sizeof(::SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE h = ::CreateFileW(stdoutPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  const int code = FinishChild(StartChild(L"\"" + SelfPath() + L"\"", job, h), 60000);
  ::CloseHandle(h);
  return code;
}

}  // namespace ostest
