// The private profile: an INI file named after the executable (quorin.INI) in the user's
// configuration folder, with the semantics of Windows' profile calls: section and key names
// compare case-insensitively, a write changes one line (or adds it) and leaves every other line
// exactly as it was, the file and its folder are made on the first write, and values are
// stored exactly as given. The folder is $XDG_CONFIG_HOME, else ~/.config, on POSIX systems;
// %APPDATA%, else the user's roaming application data folder, on Windows. The text handling is
// shared (profile_text.h); the file and its place are each system's.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace platform {

// The name the file is called after ("quorin" unless set): the real program and its tests
// share one name, although the test programs' executables are named otherwise.
void SetProfileProgramName(const std::string& name);
std::string GetProfileProgramName();

// Full path of the settings file.
std::string GetProfileFilePath();

// The value of key in section, or the default when the file, section or key is missing.
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue);

// Writes one value. FALSE when the value holds a line break (refused) or the file cannot be
// written; the file is then unchanged. The file is replaced as a whole (written beside it,
// then renamed over it), so a crash leaves the old file or the new one, never half of one; a
// file that is a link is written through the link. Instances of the program write the one file
// in turn: each write holds a lock (on "<file>.lock" beside it, which stays) from reading the
// file to replacing it, so none puts back a copy without another's key. Reads take no lock:
// the file is always whole.
// Names holding a line break, a section name holding ']' and a key holding '=' are refused
// too: they could not be read back.
BOOL WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace platform
