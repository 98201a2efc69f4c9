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
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

CSimRunner::~CSimRunner() {
  Kill();
  CloseDescriptors();
}

bool CSimRunner::Start(const std::vector<std::string>& args, int timeoutMs,
                       const std::string& program) {
  Kill();
  CloseDescriptors();
  m_slavePath.clear();
  m_pendingOut.clear();
  m_output.clear();
  m_errors.clear();
  m_nExitStatus = -1;

  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return false;
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return false;
  }
  const std::string path = program.empty() ? std::string(QUORIN_SIM_PATH) : program;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  const int rc = posix_spawn(&m_pid, path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  m_outFd = outPipe[0];
  m_errFd = errPipe[0];
  m_bOutOpen = m_bErrOpen = true;
  if (rc != 0) {
    m_pid = -1;
    CloseDescriptors();
    return false;
  }

  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (m_slavePath.empty()) {
    const std::size_t newline = m_pendingOut.find('\n');
    if (newline != std::string::npos) {
      m_slavePath = m_pendingOut.substr(0, newline);
      m_output = m_pendingOut.substr(newline + 1);
      break;
    }
    if (!m_bOutOpen || MsLeft(deadline) == 0) return false;
    struct pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    if (poll(fds, 2, MsLeft(deadline)) < 0 && errno != EINTR) return false;
    if (fds[0].revents != 0) ReadAvailable(m_outFd, m_pendingOut, m_bOutOpen);
    if (fds[1].revents != 0) ReadAvailable(m_errFd, m_errors, m_bErrOpen);
  }
  return true;
}

void CSimRunner::ReadAvailable(int fd, std::string& into, bool& open) {
  char buffer[4096];
  const ssize_t got = read(fd, buffer, sizeof(buffer));
  if (got > 0) {
    into.append(buffer, static_cast<std::size_t>(got));
  } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
    open = false;
  }
}

bool CSimRunner::Wait(int timeoutMs) {
  if (m_pid <= 0) return true;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // Output first: a simulator blocked on a full pipe would never end.
  while (m_bOutOpen || m_bErrOpen) {
    struct pollfd fds[2] = {{m_bOutOpen ? m_outFd : -1, POLLIN, 0},
                            {m_bErrOpen ? m_errFd : -1, POLLIN, 0}};
    const int left = MsLeft(deadline);
    const int ready = poll(fds, 2, left);
    if (ready < 0 && errno != EINTR) break;
    if (ready == 0 && left == 0) return false;
    if (fds[0].revents != 0) ReadAvailable(m_outFd, m_output, m_bOutOpen);
    if (fds[1].revents != 0) ReadAvailable(m_errFd, m_errors, m_bErrOpen);
  }
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid) {
      m_nExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      m_pid = -1;
      CloseDescriptors();
      return true;
    }
    if (done < 0 && errno != EINTR) {
      m_pid = -1;
      return true;
    }
    if (MsLeft(deadline) == 0) return false;
    usleep(1000);
  }
}

void CSimRunner::Kill() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  int status = 0;
  while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
  }
  m_pid = -1;
  m_nExitStatus = -1;
}

void CSimRunner::CloseDescriptors() {
  if (m_outFd >= 0) close(m_outFd);
  if (m_errFd >= 0) close(m_errFd);
  m_outFd = m_errFd = -1;
  m_bOutOpen = m_bErrOpen = false;
}

std::string CSimRunner::Verdict() const {
  std::string verdict;
  std::size_t start = 0;
  while (start < m_output.size()) {
    std::size_t end = m_output.find('\n', start);
    if (end == std::string::npos) end = m_output.size();
    const std::string line = m_output.substr(start, end - start);
    if (line.rfind("OK:", 0) == 0 || line.rfind("FAIL:", 0) == 0) verdict = line;
    start = end + 1;
  }
  return verdict;
}
