// The command line that CreateProcessW gets for a program and its arguments, for
// win32/process.cpp and its test only: CommandLineToArgvW, and every C runtime's start-up code,
// give back exactly the program and the arguments, whatever blanks, quotes and backslashes
// they hold.
#pragma once

#include <string>
#include <vector>

namespace platform {

// UTF-8 in, UTF-8 out. The program's path comes first, quoted as the system reads argument 0
// (up to the next quote, backslashes as they are; a path holds no quote).
std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& args);

}  // namespace platform
