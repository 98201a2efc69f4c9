#include "platform/os/module.h"

#include <dlfcn.h>

namespace platform {

void* LoadModuleFunction(const std::string& path, const char* symbol, std::string& reason) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    const char* error = dlerror();
    reason = error != nullptr ? error : path + ": cannot be loaded";
    return nullptr;
  }
  dlerror();
  void* address = dlsym(handle, symbol);
  if (address == nullptr) {
    reason = path + " has no " + symbol + ": it is not a module of this program";
    dlclose(handle);
    return nullptr;
  }
  return address;
}

}  // namespace platform
