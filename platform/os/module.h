// Loading a shared module while the program runs, for a part that only some runs need (the
// window, where a display exists). A module once loaded stays for the life of the process:
// objects it made may be reached from any thread until the end.
#pragma once

#include <string>

namespace platform {

// Loads the module at path (every symbol it needs resolved now, none of its own made visible to
// other modules) and returns the address of its function symbol. nullptr when it cannot be
// loaded or has no such symbol; reason says why.
void* LoadModuleFunction(const std::string& path, const char* symbol, std::string& reason);

}  // namespace platform
