#include "platform/os/posix/fd_io.h"

#include <unistd.h>

#include <cerrno>

namespace platform {

bool WriteFully(int fd, const void* data, std::size_t n) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t wrote = write(fd, bytes + done, n - done);
    if (wrote > 0) {
      done += static_cast<std::size_t>(wrote);
    } else if (wrote < 0 && errno == EINTR) {
      continue;
    } else {
      if (wrote == 0) errno = EIO;
      return false;
    }
  }
  return true;
}

long long ReadUpTo(int fd, void* buffer, std::size_t n) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = read(fd, bytes + done, n - done);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      return -1;
    }
  }
  return static_cast<long long>(done);
}

bool ReadFully(int fd, void* buffer, std::size_t n) {
  // A line that hangs up ends the read like the end of a file.
  const long long got = ReadUpTo(fd, buffer, n);
  return got >= 0 && static_cast<std::size_t>(got) == n;
}

}  // namespace platform
