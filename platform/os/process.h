// Process services: the program's own path and name, the companion program, ending at once.
#pragma once

#include <string>
#include <vector>
#include "platform/os/file.h"

namespace platform {

// The program's arguments in UTF-8, argument 0 first: on POSIX systems argv itself, on
// Windows the wide command line split by the system's rules.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Full path of the running executable (from /proc/self/exe), or empty.
std::string GetModuleFileName();
// The executable's base name without folder ("quorin"); message boxes carry it as caption.
std::string GetModuleBaseName();

// Starts program with the argument vector (argv[0] is set to the program's path), without a
// shell, in a new session so that it outlives this process. True when it was started.
bool StartDetachedProcess(const std::string& program, const std::vector<std::string>& args);

// Ends the process at once with the status, without running any more of the program.
[[noreturn]] void ExitProcessNow(int status);

}  // namespace platform
