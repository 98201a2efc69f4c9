// The manual-reset event is plain C++ and the same on every system; sleeping and thread
// priorities are each system's (posix/sync.cpp, win32/sync.cpp).
#include "platform/os/sync.h"

#include <chrono>

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

}  // namespace platform
