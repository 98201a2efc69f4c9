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
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR1);  // only to wake the routing thread when it is stopped
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  g_stopping = false;
  g_signalThread = std::thread([set, onSignal = std::move(onSignal)] {
    for (;;) {
      int sig = 0;
      if (sigwait(&set, &sig) != 0) continue;
      if (g_stopping) return;
      if (sig == SIGINT) onSignal(130);
      if (sig == SIGTERM) onSignal(143);
    }
  });
}

void StopRoutingTerminationSignals() {
  if (!g_signalThread.joinable()) return;
  g_stopping = true;
  pthread_kill(g_signalThread.native_handle(), SIGUSR1);
  g_signalThread.join();
}

}  // namespace platform
