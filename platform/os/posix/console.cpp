#include "platform/os/console.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <thread>


namespace platform {

namespace {

std::thread g_signalThread;
std::atomic<bool> g_stopping{false};
std::atomic<int> g_nKeptStatus{-1};

int ExitStatusOf(int sig) {
  switch (sig) {
    case SIGHUP:
      return 129;
    case SIGINT:
      return 130;
    case SIGTERM:
      return 143;
    default:
      return 0;
  }
}

void WriteFd(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

bool IsStdoutTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

void WriteStdout(const std::string& text) { WriteFd(STDOUT_FILENO, text); }
void WriteStderr(const std::string& text) { WriteFd(STDERR_FILENO, text); }

void RouteTerminationSignals(std::function<void(int nExitStatus)> onSignal) {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : {SIGHUP, SIGINT, SIGTERM}) {
    // A blocked signal is kept for sigwait even when ignored: one the process was started
    // ignoring is left out, or nohup would not protect it.
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&set, sig);
  }
  sigaddset(&set, SIGUSR1);  // only to wake the routing thread when it is stopped
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  g_stopping = false;
  g_nKeptStatus = -1;
  g_signalThread = std::thread([set, onSignal = std::move(onSignal)] {
    bool bSignalled = false;
    for (;;) {
      int sig = 0;
      if (sigwait(&set, &sig) != 0) continue;
      if (g_stopping) return;
      const int nStatus = ExitStatusOf(sig);
      if (nStatus == 0) continue;
      if (bSignalled) {
        // Asked twice: the process ends here, without waiting for a main thread that may be
        // blocked.
        const int nKept = g_nKeptStatus;
        _exit(nKept >= 0 ? nKept : nStatus);
      }
      bSignalled = true;
      onSignal(nStatus);
    }
  });
}

void KeepExitStatusOnSignals(int nExitStatus) { g_nKeptStatus = nExitStatus; }

void StopRoutingTerminationSignals() {
  if (!g_signalThread.joinable()) return;
  g_stopping = true;
  pthread_kill(g_signalThread.native_handle(), SIGUSR1);
  g_signalThread.join();
}

}  // namespace platform
