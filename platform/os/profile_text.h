// The text of a private profile, for the settings units of platform/os only: finding a value
// and editing one line of an INI file's bytes as Windows' profile calls did. Section and key
// names compare case-insensitively (ASCII), blanks around names and values are no part of
// them, a line starting with ';' is a comment, and a byte-order mark in front of the first
// line is no content. Reading and replacing the file, and where it lives, are each system's.
#pragma once

#include <string>

namespace platform {

// The value of key in the first section of that name; false when the section or key is
// missing.
bool FindProfileValue(const std::string& bytes, const std::string& section,
                      const std::string& key, std::string& value);

// Whether the entry could be read back once written: no line break or NUL byte in any part,
// no ']' in the section name, no '=' in the key, and a key that is neither blank nor starts
// like a comment or a section header.
bool IsStorableProfileEntry(const std::string& section, const std::string& key,
                            const std::string& value);

// The file's bytes with the value set: the key's own line rewritten (the key keeps its
// spelling), or a new line after the last key of the section's first occurrence, or a new
// section at the end. Every other byte stays as it was; new lines take the file's line ends.
std::string WithProfileValue(const std::string& bytes, const std::string& section,
                             const std::string& key, const std::string& value);

}  // namespace platform
