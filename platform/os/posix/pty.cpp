#include "platform/os/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

#include "platform/os/serial_device.h"

namespace platform {

namespace {

constexpr int WRITE_STALL_MS = 10000;

bool MakeRaw(int fd) {
  struct termios tio {};
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  return tcsetattr(fd, TCSANOW, &tio) == 0;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

CPseudoTerminal::~CPseudoTerminal() { Close(); }

bool CPseudoTerminal::Open() {
  Close();
  m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_master < 0) return false;
  char name[128];
  if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
      ptsname_r(m_master, name, sizeof name) != 0) {
    Close();
    return false;
  }
  m_slavePath = name;
  m_slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const int flags = m_slave >= 0 ? fcntl(m_master, F_GETFL) : -1;
  // A fresh slave echoes and translates; nothing may do that before the program opens it.
  if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0 || !MakeRaw(m_master) ||
      !MakeRaw(m_slave)) {
    Close();
    return false;
  }
  return true;
}

void CPseudoTerminal::Close() {
  if (m_slave >= 0) close(m_slave);
  if (m_master >= 0) close(m_master);
  m_slave = -1;
  m_master = -1;
  m_slavePath.clear();
}

bool CPseudoTerminal::SetSlaveSpeed(std::uint32_t baud) {
  if (m_slave < 0) return false;
  // A speed the classic interface names is set through it, so that a program that only knows
  // those (Wine's serial driver) can still read the line's settings; others need termios2.
  static const struct {
    std::uint32_t baud;
    speed_t code;
  } named[] = {{50, B50}, {75, B75}, {110, B110}, {300, B300}, {1200, B1200}, {2400, B2400},
               {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
               {57600, B57600}, {115200, B115200}, {230400, B230400}};
  for (const auto& n : named) {
    if (n.baud != baud) continue;
    struct termios tio {};
    return tcgetattr(m_slave, &tio) == 0 && cfsetispeed(&tio, n.code) == 0 &&
           cfsetospeed(&tio, n.code) == 0 && tcsetattr(m_slave, TCSANOW, &tio) == 0;
  }
  return SetArbitrarySpeed(m_slave, baud) == 0;
}

std::uint32_t CPseudoTerminal::SlaveSpeed() const {
  return m_slave >= 0 ? GetArbitrarySpeed(m_slave) : 0;
}

bool CPseudoTerminal::SetSlaveCooked() {
  if (m_slave < 0) return false;
  struct termios tio {};
  if (tcgetattr(m_slave, &tio) != 0) return false;
  tio.c_iflag = ICRNL | IXON | IXANY | IMAXBEL | ISTRIP;
  tio.c_oflag = OPOST | ONLCR;
  tio.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
  tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE | PARENB)) | CS7 | CREAD;
  tio.c_cc[VSTART] = 0x11;
  tio.c_cc[VSTOP] = 0x13;
  return tcsetattr(m_slave, TCSANOW, &tio) == 0;
}

int CPseudoTerminal::Read(void* buffer, std::size_t n, int timeoutMs) {
  if (m_master < 0) return -1;
  if (n == 0) return 0;
  if (n > INT_MAX) n = INT_MAX;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const ssize_t got = read(m_master, buffer, n);
    if (got > 0) return static_cast<int>(got);
    if (got == 0) return -1;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    struct pollfd pfd = {m_master, POLLIN, 0};
    const int wait = timeoutMs < 0 ? -1 : MillisecondsLeft(deadline);
    if (timeoutMs >= 0 && wait == 0) return 0;
    const int ready = poll(&pfd, 1, wait);
    if (ready < 0 && errno != EINTR) return -1;
    if (ready == 0) return 0;
  }
}

std::size_t CPseudoTerminal::ReadExact(void* buffer, std::size_t n, int timeoutMs) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const int got = Read(bytes + done, n - done, timeoutMs);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

bool CPseudoTerminal::Write(const void* data, std::size_t n) {
  if (m_master < 0) return false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  while (done < n) {
    const ssize_t wrote = write(m_master, bytes + done, n - done);
    if (wrote > 0) {
      done += static_cast<std::size_t>(wrote);
      continue;
    }
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    struct pollfd pfd = {m_master, POLLOUT, 0};
    const int ready = poll(&pfd, 1, WRITE_STALL_MS);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (pfd.revents & (POLLERR | POLLNVAL))) return false;
  }
  return true;
}

int CPseudoTerminal::PendingToSlave() const {
  if (m_slave < 0) return -1;
  // Polling the slave hands over what the kernel still holds between the two ends, so the
  // count below does not miss bytes that are on their way.
  struct pollfd pfd = {m_slave, POLLIN, 0};
  (void)poll(&pfd, 1, 0);
  int queued = 0;
  if (ioctl(m_slave, FIONREAD, &queued) != 0) return -1;
  return queued;
}

bool CPseudoTerminal::WaitDrained(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const int pending = PendingToSlave();
    if (pending == 0) return true;
    if (pending < 0 || MillisecondsLeft(deadline) == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void CPseudoTerminal::DiscardInput() {
  if (m_master < 0) return;
  (void)tcflush(m_master, TCIFLUSH);
  unsigned char buffer[4096];
  for (;;) {
    struct pollfd pfd = {m_master, POLLIN, 0};
    if (poll(&pfd, 1, 0) <= 0 || !(pfd.revents & POLLIN)) break;
    if (read(m_master, buffer, sizeof buffer) <= 0) break;
  }
}

}  // namespace platform
