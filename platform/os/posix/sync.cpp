#include "platform/os/sync.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace platform {

void Sleep(DWORD dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

void RaiseCurrentThreadPriority() {
  // On Linux the nice value of an ordinary thread is per thread when addressed by its id.
  const id_t tid = static_cast<id_t>(gettid());
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, tid);
  if (nice == -1 && errno != 0) return;
  // Refused without CAP_SYS_NICE or a matching RLIMIT_NICE; the thread then keeps its priority.
  (void)setpriority(PRIO_PROCESS, tid, nice - 1);
}

}  // namespace platform
