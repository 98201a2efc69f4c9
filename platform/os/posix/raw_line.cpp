#include "platform/os/raw_line.h"

#include "platform/os/posix/fd_io.h"
#include "platform/os/serial_device.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

CRawLine::~CRawLine() { Close(); }

BOOL CRawLine::Open(const std::string& path) {
  Close();
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return FALSE;
  struct termios tio {};
  if (tcgetattr(fd, &tio) != 0) {
    close(fd);
    return FALSE;
  }
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    close(fd);
    return FALSE;
  }
  m_fd = fd;
  return TRUE;
}

BOOL CRawLine::SetSpeed(unsigned baud) {
  return m_fd >= 0 && SetArbitrarySpeed(m_fd, baud) == 0 ? TRUE : FALSE;
}

void CRawLine::Close() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

BOOL CRawLine::ReadExact(void* buffer, std::size_t n) {
  return m_fd >= 0 && ReadFully(m_fd, buffer, n) ? TRUE : FALSE;
}

BOOL CRawLine::WriteAll(const void* data, std::size_t n) {
  return m_fd >= 0 && WriteFully(m_fd, data, n) ? TRUE : FALSE;
}

}  // namespace platform
