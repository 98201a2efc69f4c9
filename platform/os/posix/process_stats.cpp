#include "platform/os/process_stats.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/os/sync.h"

extern char** environ;

namespace platform {

namespace {

BOOL ReadStatusSizes(const std::string& statusPath, ProcessUsage& usage) {
  std::ifstream in(statusPath);
  if (!in) return FALSE;
  bool bRss = false;
  bool bPeak = false;
  std::string line;
  while (std::getline(in, line)) {
    unsigned long long n = 0;
    if (std::sscanf(line.c_str(), "VmRSS: %llu kB", &n) == 1) {
      usage.nRssKiB = n;
      bRss = true;
    } else if (std::sscanf(line.c_str(), "VmHWM: %llu kB", &n) == 1) {
      usage.nPeakRssKiB = n;
      bPeak = true;
    }
  }
  // A zombie has a status file without the memory lines.
  return bRss && bPeak ? TRUE : FALSE;
}

BOOL ReadCpuFromStat(int nPid, std::uint64_t& nMicroseconds) {
  std::ifstream in("/proc/" + std::to_string(nPid) + "/stat");
  std::string text;
  if (!std::getline(in, text)) return FALSE;
  // The command name may hold blanks and parentheses; the fields follow the last ')'.
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return FALSE;
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  unsigned long long utime = 0;
  unsigned long long stime = 0;
  // Fields 3 .. 13 come before utime (14) and stime (15).
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
    if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
  }
  const long ticks = sysconf(_SC_CLK_TCK);
  if (ticks <= 0) return FALSE;
  nMicroseconds = (utime + stime) * 1000000ull / static_cast<unsigned long long>(ticks);
  return TRUE;
}

BOOL ReadCpuClock(clockid_t clock, std::uint64_t& nMicroseconds) {
  struct timespec ts {};
  if (clock_gettime(clock, &ts) != 0) return FALSE;
  nMicroseconds = static_cast<std::uint64_t>(ts.tv_sec) * 1000000ull +
                  static_cast<std::uint64_t>(ts.tv_nsec) / 1000ull;
  return TRUE;
}

// Through the system call: the C library's declaration of it is not usable from C++ here.
int OpenProcessDescriptor(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

// TRUE once the child has ended (it is not reaped here), FALSE when the time ran out first.
bool WaitUntilEnded(pid_t pid, DWORD dwMilliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
  auto msLeft = [&deadline] {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
  };
  // A descriptor of the child becomes readable when it ends: the wait costs nothing meanwhile.
  const int pidFd = OpenProcessDescriptor(pid);
  if (pidFd >= 0) {
    struct pollfd pfd = {pidFd, POLLIN, 0};
    int ready;
    while ((ready = poll(&pfd, 1, msLeft())) < 0 && errno == EINTR) {
    }
    close(pidFd);
    if (ready >= 0) return ready > 0;
  }
  siginfo_t info {};
  for (;;) {
    info.si_pid = 0;
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
      if (errno == EINTR) continue;
      return true;  // no such child: the reaping fails and says so
    }
    if (info.si_pid != 0) return true;
    if (msLeft() == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int StatusFromWait(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

int GetOwnProcessId() { return static_cast<int>(getpid()); }

std::uint64_t MonotonicNanoseconds() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(ts.tv_nsec);
}

std::vector<int> GetAllowedCpus() {
  std::vector<int> cpus;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (int i = 0; i < CPU_SETSIZE; ++i) {
    if (CPU_ISSET(i, &set)) cpus.push_back(i);
  }
  return cpus;
}

BOOL SetAllowedCpus(const std::vector<int>& cpus) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu : cpus) {
    if (cpu < 0 || cpu >= CPU_SETSIZE) return FALSE;
    CPU_SET(cpu, &set);
  }
  if (cpus.empty()) return FALSE;
  return sched_setaffinity(0, sizeof set, &set) == 0 ? TRUE : FALSE;
}

BOOL GetOwnUsage(ProcessUsage& usage) {
  if (!ReadCpuClock(CLOCK_PROCESS_CPUTIME_ID, usage.nCpuMicroseconds)) return FALSE;
  return ReadStatusSizes("/proc/self/status", usage);
}

BOOL GetProcessUsage(int nPid, ProcessUsage& usage) {
  if (nPid <= 0) return FALSE;
  if (nPid == GetOwnProcessId()) return GetOwnUsage(usage);
  if (!ReadStatusSizes("/proc/" + std::to_string(nPid) + "/status", usage)) return FALSE;
  clockid_t clock;
  if (clock_getcpuclockid(static_cast<pid_t>(nPid), &clock) == 0 &&
      ReadCpuClock(clock, usage.nCpuMicroseconds)) {
    return TRUE;
  }
  return ReadCpuFromStat(nPid, usage.nCpuMicroseconds);
}

// ---- CChildProcess ----------------------------------------------------------------------

CChildProcess::~CChildProcess() { Kill(); }

BOOL CChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<int>& cpus) {
  if (m_nPid > 0) return FALSE;
  m_endUsage = ProcessUsage{};
  if (!cpus.empty()) {
    // The child inherits the processors of the thread that starts it, from its first
    // instruction on; this thread gets its own back at once.
    const std::vector<int> own = GetAllowedCpus();
    if (own.empty() || !SetAllowedCpus(cpus)) return FALSE;
    const BOOL bStarted = Start(program, args);
    SetAllowedCpus(own);
    return bStarted;
  }
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return FALSE;
  if (!m_outputPath.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  pid_t pid = -1;
  // posix_spawn reports a failed exec (or a failed open of the output) as its result, so a
  // missing program is no child.
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return FALSE;
  m_nPid = static_cast<int>(pid);
  return TRUE;
}

namespace {

ProcessUsage UsageFromRusage(const struct rusage& usage) {
  ProcessUsage u;
  u.nCpuMicroseconds = static_cast<std::uint64_t>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000u +
                       static_cast<std::uint64_t>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  u.nPeakRssKiB = static_cast<std::uint64_t>(usage.ru_maxrss);  // Linux counts it in KiB
  return u;
}

}  // namespace

BOOL CChildProcess::Wait(DWORD dwMilliseconds, int& nExitStatus) {
  if (m_nPid <= 0) return FALSE;
  const pid_t pid = static_cast<pid_t>(m_nPid);
  if (dwMilliseconds != INFINITE && !WaitUntilEnded(pid, dwMilliseconds)) return FALSE;
  int status = 0;
  pid_t got;
  struct rusage usage {};
  while ((got = wait4(pid, &status, 0, &usage)) < 0 && errno == EINTR) {
  }
  m_nPid = -1;
  if (got < 0) return FALSE;
  m_endUsage = UsageFromRusage(usage);
  nExitStatus = StatusFromWait(status);
  return TRUE;
}

void CChildProcess::Kill() {
  if (m_nPid <= 0) return;
  (void)kill(static_cast<pid_t>(m_nPid), SIGKILL);
  int status = 0;
  struct rusage usage {};
  pid_t got;
  while ((got = wait4(static_cast<pid_t>(m_nPid), &status, 0, &usage)) < 0 && errno == EINTR) {
  }
  m_nPid = -1;
  if (got > 0) m_endUsage = UsageFromRusage(usage);
}

}  // namespace platform
