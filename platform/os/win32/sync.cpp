#include "platform/os/sync.h"

#include "platform/os/win32/win32_sdk.h"

namespace platform {

void Sleep(DWORD dwMilliseconds) { ::Sleep(dwMilliseconds); }

void RaiseCurrentThreadPriority() {
  // Above normal needs no privilege; should it be refused, the thread keeps its priority.
  (void)::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
}

}  // namespace platform
