// Process services: the program's own path and name, the companion program, ending at once.
#pragma once

#include <string>
#include <vector>
#include "platform/os/file.h"

namespace platform {

// The program's arguments in UTF-8, argument 0 first: on POSIX systems argv itself, on
// Windows the wide command line split by the system's rules.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Full path of the running executable (from /proc/self/exe; on Windows GetModuleFileNameW),
// or empty.
std::string GetModuleFileName();
// The executable's base name without folder, and on Windows without ".exe" ("quorin");
// message boxes carry it as caption.
std::string GetModuleBaseName();

// Starts program with the argument vector (argv[0] is set to the program's path), without a
// shell, so that it outlives this process: in a new session on POSIX systems; on Windows
// detached from the console, in a process group of its own, inheriting no handle, its command
// line quoted so that the program's own parsing gives back exactly these arguments. True when
// it was started.
bool StartDetachedProcess(const std::string& program, const std::vector<std::string>& args);

// Ends the process at once with the status, without running any more of the program: output
// is flushed, but no exit handler or destructor runs.
[[noreturn]] void ExitProcessNow(int status);

}  // namespace platform
