// Blocking whole-buffer reads and writes on a descriptor, for platform/ units only.
#pragma once

#include <cstddef>

namespace platform {

// Writes all n bytes, going on after interruptions; false (errno set, or EIO for a write that
// took nothing) when the descriptor fails first.
bool WriteFully(int fd, const void* data, std::size_t n);
// Reads n bytes unless the end of the file comes first; returns the count, or -1 (errno set)
// on an error.
long long ReadUpTo(int fd, void* buffer, std::size_t n);
// Reads exactly n bytes; false at end of file or on an error.
bool ReadFully(int fd, void* buffer, std::size_t n);

}  // namespace platform
