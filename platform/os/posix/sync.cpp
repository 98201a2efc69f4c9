#include "platform/os/sync.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace platform {

BOOL CManualEvent::Create(BOOL bInitiallySignalled) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bCreated = true;
  m_bSignalled = bInitiallySignalled != FALSE;
  m_cond.notify_all();
  return TRUE;
}

void CManualEvent::Close() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bCreated = false;
    m_bSignalled = false;
  }
  // A thread still waiting must not sleep on an event that no longer exists.
  m_cond.notify_all();
}

BOOL CManualEvent::IsCreated() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_bCreated ? TRUE : FALSE;
}

void CManualEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_bCreated) return;
    m_bSignalled = true;
  }
  m_cond.notify_all();
}

void CManualEvent::Reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bSignalled = false;
}

BOOL CManualEvent::Wait(DWORD dwMilliseconds) {
  std::unique_lock<std::mutex> lock(m_mutex);
  auto ready = [this] { return !m_bCreated || m_bSignalled; };
  if (dwMilliseconds == INFINITE) {
    m_cond.wait(lock, ready);
  } else {
    m_cond.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), ready);
  }
  return (m_bCreated && m_bSignalled) ? TRUE : FALSE;
}

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
