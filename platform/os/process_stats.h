// What a process costs, and child processes that a measuring program starts and waits for.
//
// CPU time is read through the process's CPU clock (nanoseconds, all threads, user and
// system); where the kernel does not offer it for another process, /proc/<pid>/stat gives it
// in clock ticks. Resident sizes come from /proc/<pid>/status: VmRSS now, VmHWM the peak.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform {

struct ProcessUsage {
  std::uint64_t nCpuMicroseconds = 0;  // user and system time of all threads so far
  std::uint64_t nRssKiB = 0;           // resident now
  std::uint64_t nPeakRssKiB = 0;       // highest resident size since the process started
};

// The calling process.
BOOL GetOwnUsage(ProcessUsage& usage);
// A running process of the same user; FALSE once it has ended (a zombie counts as ended).
BOOL GetProcessUsage(int nPid, ProcessUsage& usage);
// The calling process's id.
int GetOwnProcessId();
// Monotonic time in nanoseconds, for intervals only.
std::uint64_t MonotonicNanoseconds();

// The processors the calling thread may run on, in ascending order (empty when unknown).
std::vector<int> GetAllowedCpus();
// Lets the calling thread, and every thread or process it starts from then on, run on the
// given processors only. FALSE when the list is empty or the system refuses it.
BOOL SetAllowedCpus(const std::vector<int>& cpus);

// One child program, started without a shell and ended by its owner: the destructor kills
// and reaps a child that is still running, so none outlives the object.
class CChildProcess {
 public:
  CChildProcess() = default;
  ~CChildProcess();
  CChildProcess(const CChildProcess&) = delete;
  CChildProcess& operator=(const CChildProcess&) = delete;

  // argv[0] is the program's path. FALSE when a child is running already or the program
  // cannot be started (not found, not executable). With cpus, the child runs on those
  // processors only (its threads too).
  BOOL Start(const std::string& program, const std::vector<std::string>& args,
             const std::vector<int>& cpus = {});
  // The children started from now on write their standard output and error into the file
  // (created, or emptied); an empty path gives them this process's own again.
  void SetOutputFile(const std::string& path) { m_outputPath = path; }
  int Pid() const { return m_nPid; }
  BOOL IsRunning() const { return m_nPid > 0 ? TRUE : FALSE; }
  // Waits up to dwMilliseconds (INFINITE: for ever) for the child to end; TRUE when it has
  // ended and was reaped. The exit status is the child's own, or 128 + signal number.
  BOOL Wait(DWORD dwMilliseconds, int& nExitStatus);
  // Ends a running child at once and reaps it.
  void Kill();
  // What the child cost over its whole life (CPU time of all its threads, peak resident
  // size), known once Wait or Kill has reaped it; zero before.
  const ProcessUsage& EndUsage() const { return m_endUsage; }

 private:
  int m_nPid = -1;
  std::string m_outputPath;
  ProcessUsage m_endUsage;
};

}  // namespace platform
