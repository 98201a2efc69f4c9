// CSimRunner under Wine: the simulator through the line broker, other programs (the console
// build) as Windows child processes with their output on a pipe.
#include <windows.h>

#include <chrono>
#include <sstream>

#include "platform/os/win32/command_line.h"
#include "platform/os/win32/wide.h"
#include "tests/support/sim_runner.h"
#include "tests/support/win32/remote_line.h"

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits up to ms for the broker's simulator to end; then takes its status and output.
bool WaitForSim(int& simId, int ms, int& status, std::string& output) {
  std::istringstream answer(AskLineBroker("SIMWAIT " + std::to_string(simId) + " " + std::to_string(ms)));
  std::string ok, code, hex;
  answer >> ok >> code >> hex;
  if (ok != "OK") return false;
  status = std::stoi(code);
  output = FromHex(hex);
  simId = 0;
  return true;
}

bool LooksLikeWindowsPath(const std::string& arg) {
  return arg.size() > 2 && arg[1] == ':' && (arg[2] == '\\' || arg[2] == '/');
}

}  // namespace

bool CSimRunner::Start(const std::vector<std::string>& args, int timeoutMs) {
  Kill();
  m_output.clear();
  m_slavePath.clear();
  m_nExitStatus = -1;
  std::string request = "SIM";
  for (const std::string& arg : args) {
    request += " " + ToHex(LooksLikeWindowsPath(arg) ? UnixPathOf(arg) : arg);
  }
  std::istringstream answer(AskLineBroker(request));
  std::string ok, rest;
  answer >> ok >> rest;
  if (ok != "OK") {
    m_output = ok.empty() ? "no line broker (QUORIN_LINE_BROKER)" : FromHex(rest);
    return false;
  }
  m_nSimId = std::stoi(rest);
  answer >> m_slavePath;
  (void)timeoutMs;  // the broker waits for the simulator's first line itself
  return true;
}

bool CSimRunner::Spawn(const std::string& program, const std::vector<std::string>& args) {
  Kill();
  m_output.clear();
  m_slavePath.clear();
  m_nExitStatus = -1;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return false;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  std::wstring commandLine = platform::Utf8ToWide(platform::BuildCommandLine(program, args));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write;
  startup.hStdError = write;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &process);
  CloseHandle(write);
  if (!started) {
    CloseHandle(read);
    return false;
  }
  CloseHandle(process.hThread);
  m_hProcess = process.hProcess;
  m_hOutput = read;
  m_pid = static_cast<int>(process.dwProcessId);
  return true;
}

bool CSimRunner::Poll(int ms) {
  // The broker collects the simulator's output; here only its end is news.
  if (m_nSimId > 0) return !WaitForSim(m_nSimId, ms, m_nExitStatus, m_output);
  if (m_hOutput == nullptr) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(m_hOutput, nullptr, 0, nullptr, &available, nullptr)) {
      CloseHandle(m_hOutput);  // the writer is gone: the output has ended
      m_hOutput = nullptr;
      return false;
    }
    if (available > 0) {
      char buffer[4096];
      DWORD got = 0;
      if (ReadFile(m_hOutput, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        m_output.append(buffer, got);
      }
      return true;
    }
    if (MsLeft(deadline) == 0) return true;
    Sleep(5);
  }
}

bool CSimRunner::Wait(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  if (m_nSimId > 0) return WaitForSim(m_nSimId, timeoutMs, m_nExitStatus, m_output);
  while (Poll(MsLeft(deadline))) {
    if (MsLeft(deadline) == 0) return false;
  }
  if (m_hProcess == nullptr) return true;
  if (WaitForSingleObject(m_hProcess, static_cast<DWORD>(MsLeft(deadline))) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(m_hProcess, &code);
  m_nExitStatus = static_cast<int>(code);
  CloseHandle(m_hProcess);
  m_hProcess = nullptr;
  m_pid = -1;
  return true;
}

void CSimRunner::Kill() {
  if (m_nSimId > 0) AskLineBroker("SIMKILL " + std::to_string(m_nSimId));
  m_nSimId = 0;
  if (m_hProcess != nullptr) {
    TerminateProcess(m_hProcess, 137);
    WaitForSingleObject(m_hProcess, 5000);
    DWORD code = 0;
    GetExitCodeProcess(m_hProcess, &code);
    m_nExitStatus = static_cast<int>(code);
    CloseHandle(m_hProcess);
    m_hProcess = nullptr;
  }
  if (m_hOutput != nullptr) CloseHandle(m_hOutput);
  m_hOutput = nullptr;
  m_pid = -1;
}
