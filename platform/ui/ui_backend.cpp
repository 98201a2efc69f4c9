#include "platform/ui/ui_backend.h"

#include <atomic>

#include "platform/ui/headless/headless_backend.h"

namespace platform {

namespace {
// Read from any thread (PostMessage wakes the backend); set once at start-up.
std::atomic<IUiBackend*> g_pBackend{nullptr};
}  // namespace

IUiBackend& GetUiBackend() {
  IUiBackend* backend = g_pBackend.load(std::memory_order_acquire);
  return backend != nullptr ? *backend : GetHeadlessBackend();
}

void SetUiBackend(IUiBackend* backend) { g_pBackend.store(backend, std::memory_order_release); }

}  // namespace platform
