#include "platform/os/process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <iostream>

namespace platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] != nullptr ? argv[i] : "");
  return args;
}

std::string GetModuleFileName() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::string GetModuleBaseName() {
  const std::string path = GetModuleFileName();
  if (path.empty()) return program_invocation_short_name;
  const std::size_t slash = path.find_last_of(PATH_SEPARATOR);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StartDetachedProcess(const std::string& program, const std::vector<std::string>& args) {
  // Everything the child needs is made here: after fork only async-signal-safe calls are safe.
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  // The grandchild reports a failed exec through this pipe; a successful exec closes it.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return false;

  const pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (child == 0) {
    // The middle process ends at once, so the program is reaped by init, not left to us.
    close(report[0]);
    const pid_t grandchild = fork();
    if (grandchild < 0) {
      const int error = errno;
      while (write(report[1], &error, sizeof error) < 0 && errno == EINTR) {
      }
      _exit(1);
    }
    if (grandchild > 0) _exit(0);
    setsid();
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, nullptr);
    // Descriptors opened without close-on-exec by anyone in this process stay behind too.
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execv(program.c_str(), argv.data());
    const int error = errno;
    while (write(report[1], &error, sizeof error) < 0 && errno == EINTR) {
    }
    _exit(127);
  }

  close(report[1]);
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  return got == 0;
}

void ExitProcessNow(int status) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

}  // namespace platform
