// Kept apart from serial_device.cpp: the kernel's termios2 declarations clash with glibc's
// <termios.h>, so the two may not meet in one unit.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "platform/os/serial_device.h"

namespace platform {

int SetArbitrarySpeed(int fd, std::uint32_t baud) {
  if (baud == 0) {
    errno = EINVAL;  // speed 0 means "hang up" to a terminal
    return -1;
  }
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return -1;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ospeed = baud;
  tio.c_ispeed = baud;
  return ioctl(fd, TCSETS2, &tio) == 0 ? 0 : -1;
}

std::uint32_t GetArbitrarySpeed(int fd) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
  return tio.c_ospeed;
}

}  // namespace platform
