// Manual-reset events, sleeping and the reader thread's priority: what the serial link
// needs of the threading services Windows gave it. The event is portable C++ (sync.cpp); the
// rest is each system's (posix/sync.cpp, win32/sync.cpp).
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/win_types.h"

namespace platform {

constexpr DWORD INFINITE = 0xFFFFFFFF;

// A manual-reset event: stays signalled until reset; Wait returns at once while signalled.
// Create/Close mirror CreateEvent/CloseHandle so an owner can tell whether it holds one.
class CManualEvent {
 public:
  CManualEvent() = default;
  CManualEvent(const CManualEvent&) = delete;
  CManualEvent& operator=(const CManualEvent&) = delete;

  BOOL Create(BOOL bInitiallySignalled);
  void Close();
  BOOL IsCreated() const;
  void Set();
  void Reset();
  // TRUE when signalled within the time (INFINITE waits for ever); FALSE on time-out or when
  // the event was never created.
  BOOL Wait(DWORD dwMilliseconds = INFINITE);

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_cond;
  bool m_bCreated = false;
  bool m_bSignalled = false;
};

void Sleep(DWORD dwMilliseconds);

// Raises the calling thread's scheduling priority a step where the system allows it (a nice
// step on Linux, THREAD_PRIORITY_ABOVE_NORMAL on Windows); an ordinary user may not be
// allowed, which is no failure.
void RaiseCurrentThreadPriority();

}  // namespace platform
