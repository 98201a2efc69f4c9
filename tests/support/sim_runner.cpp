#include "tests/support/sim_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

int StatusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

bool CSimRunner::Spawn(const std::string& program, const std::vector<std::string>& args) {
  Kill();
  m_slavePath.clear();
  m_output.clear();
  m_nExitStatus = -1;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  m_pid = static_cast<int>(pid);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  m_fd = out[0];
  if (rc == 0) return true;
  m_pid = -1;
  Kill();
  return false;
}

bool CSimRunner::Start(const std::vector<std::string>& args, int timeoutMs) {
  if (!Spawn(QUORIN_SIM_PATH, args)) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t newline;
  while ((newline = m_output.find('\n')) == std::string::npos) {
    if (!Poll(MsLeft(deadline)) || MsLeft(deadline) == 0) return false;
  }
  m_slavePath = m_output.substr(0, newline);
  m_output.erase(0, newline + 1);
  return true;
}

bool CSimRunner::Poll(int ms) {
  if (m_fd < 0) return false;
  pollfd p{m_fd, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return true;
  char buffer[4096];
  const ssize_t got = read(m_fd, buffer, sizeof buffer);
  if (got > 0) m_output.append(buffer, static_cast<std::size_t>(got));
  if (got > 0 || (got < 0 && errno == EINTR)) return true;
  close(m_fd);
  m_fd = -1;
  return false;
}

bool CSimRunner::Wait(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // Output first: a child blocked on a full pipe would never end.
  while (Poll(MsLeft(deadline))) {
    if (MsLeft(deadline) == 0) return false;
  }
  while (m_pid > 0) {
    int status = 0;
    const pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) m_nExitStatus = StatusOf(status);
    if (done == m_pid || (done < 0 && errno != EINTR)) m_pid = -1;
    if (m_pid > 0 && MsLeft(deadline) == 0) return false;
    if (m_pid > 0) usleep(1000);
  }
  return true;
}

void CSimRunner::Kill() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_nExitStatus = StatusOf(status);
    m_pid = -1;
  }
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}
