#include "platform/os/serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>

#include "platform/os/ascii.h"
#include "platform/os/serial_ports.h"
#include "platform/os/settings.h"

namespace platform {

namespace {

constexpr const char* DEVICE_SECTION = "Devices";

bool IsUnsupportedIoctl(int error) { return error == ENOTTY || error == EINVAL; }

// Asks the driver to hand received bytes on at once (a USB adapter otherwise holds a short
// reply for its latency timer, often 16 ms). TRUE when the setting was changed, so that Close
// puts the old one back; a device without the setting (a pty, a plain UART whose driver
// refuses it, a user not allowed to change it) is left as it was, silently.
bool RequestLowLatency(int fd) {
  struct serial_struct serial {};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return false;
  if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return false;  // already so: nothing to undo
  serial.flags |= ASYNC_LOW_LATENCY;
  return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

void RestoreLatency(int fd) {
  struct serial_struct serial {};
  if (ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  serial.flags &= ~ASYNC_LOW_LATENCY;
  (void)ioctl(fd, TIOCSSERIAL, &serial);
}

SerialOpenError OpenErrorFor(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
      return SerialOpenError::NoDevice;
    case EACCES:
    case EPERM:
      return SerialOpenError::PermissionDenied;
    case EBUSY:
      return SerialOpenError::Busy;
    case ENOTTY:
    case EINVAL:
    case EISDIR:
      return SerialOpenError::NotSerial;
    default:
      return SerialOpenError::Other;
  }
}

void DrainEventFd(int fd) {
  std::uint64_t count = 0;
  while (read(fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

}  // namespace

CSerialDevice::CSerialDevice() = default;

CSerialDevice::~CSerialDevice() { Close(); }

namespace {

// The settings key of a Windows-style name: "COM3" for "COM3", "com3" or "\\.\COM3", "TELNET";
// empty for a name that is neither. number receives n of COMn.
std::string DeviceKeyFor(const std::string& deviceName, unsigned* number = nullptr) {
  std::string name = deviceName;
  if (name.compare(0, 4, "\\\\.\\") == 0) name.erase(0, 4);
  if (name.size() == 6 && StartsWithNoCase(name, "TELNET")) return "TELNET";
  if (!StartsWithNoCase(name, "COM") || name.size() < 4 || name.size() > 6) return std::string();
  unsigned n = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return std::string();
    n = n * 10 + static_cast<unsigned>(name[i] - '0');
  }
  if (number != nullptr) *number = n;
  return "COM" + std::to_string(n);
}

std::mutex g_runDevicesMutex;
std::map<std::string, std::string> g_runDevices;

std::string RunDeviceFor(const std::string& key) {
  std::lock_guard<std::mutex> lock(g_runDevicesMutex);
  auto it = g_runDevices.find(key);
  return it == g_runDevices.end() ? std::string() : it->second;
}

}  // namespace

std::string CSerialDevice::DevicePathFor(const std::string& deviceName) {
  const std::string key = DeviceKeyFor(deviceName);
  if (key.empty()) return std::string();
  const std::string runDevice = RunDeviceFor(key);
  if (!runDevice.empty()) return runDevice;
  return GetProfileString(DEVICE_SECTION, key, DefaultPathFor(deviceName));
}

std::string CSerialDevice::DefaultPathFor(const std::string& deviceName) {
  unsigned number = 0;
  const std::string key = DeviceKeyFor(deviceName, &number);
  if (key.empty() || key == "TELNET" || number < 1) return std::string();
  return SerialPortFinder().DevRoot() + "/ttyS" + std::to_string(number - 1);
}

void CSerialDevice::SetRunDevice(const std::string& deviceName, const std::string& path) {
  const std::string key = DeviceKeyFor(deviceName);
  if (key.empty()) return;
  std::lock_guard<std::mutex> lock(g_runDevicesMutex);
  if (path.empty()) {
    g_runDevices.erase(key);
  } else {
    g_runDevices[key] = path;
  }
}

BOOL CSerialDevice::AssignDevice(const std::string& deviceName, const std::string& path) {
  const std::string key = DeviceKeyFor(deviceName);
  if (key.empty() || path.empty()) return FALSE;
  return WriteProfileString(DEVICE_SECTION, key, path);
}

void CSerialDevice::ClearRunDevices() {
  std::lock_guard<std::mutex> lock(g_runDevicesMutex);
  g_runDevices.clear();
}

bool CSerialDevice::HasOwnDevice(const std::string& deviceName) {
  const std::string key = DeviceKeyFor(deviceName);
  if (key.empty()) return false;
  if (!RunDeviceFor(key).empty()) return true;
  // A key that is there but empty maps the name to nothing; that is an entry too.
  const std::string absent = "\x01";
  return GetProfileString(DEVICE_SECTION, key, absent) != absent;
}

BOOL CSerialDevice::Open(const std::string& deviceName) {
  const std::string path = DevicePathFor(deviceName);
  if (path.empty()) {
    Close();
    SetError(ENOENT);
    m_openError = SerialOpenError::NoDevice;
    return FALSE;
  }
  return OpenPath(path);
}

BOOL CSerialDevice::OpenPath(const std::string& path) {
  Close();
  m_openError = SerialOpenError::None;
  auto fail = [this](int error, SerialOpenError kind) {
    SetError(error);
    m_openError = kind;
    return FALSE;
  };

  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return fail(error, OpenErrorFor(error));
  }
  struct termios tio {};
  if (tcgetattr(fd, &tio) != 0) {
    const int error = errno;
    close(fd);
    return fail(error, SerialOpenError::NotSerial);
  }
  // The kernel lets the superuser open an exclusive line a second time; we do not share it.
  int exclusive = 0;
  if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
    close(fd);
    return fail(EBUSY, SerialOpenError::Busy);
  }
  if (ioctl(fd, TIOCEXCL) != 0) {
    const int error = errno;
    close(fd);
    return fail(error, OpenErrorFor(error));
  }
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    const int error = errno;
    (void)ioctl(fd, TIOCNXCL);
    close(fd);
    return fail(error, SerialOpenError::Other);
  }

  const bool lowLatencySet = RequestLowLatency(fd);

  std::lock_guard<std::mutex> lock(m_useMutex);
  m_bLowLatencySet = lowLatencySet;
  m_fd = fd;
  m_wakeFd = wakeFd;
  m_path = path;
  m_bClosing = false;
  return TRUE;
}

BOOL CSerialDevice::IsOpen() const { return m_fd >= 0 ? TRUE : FALSE; }

BOOL CSerialDevice::LowLatencySet() const {
  std::lock_guard<std::mutex> lock(m_useMutex);
  return m_bLowLatencySet ? TRUE : FALSE;
}

const std::string& CSerialDevice::Path() const { return m_path; }

BOOL CSerialDevice::Configure(std::uint32_t baud, BYTE dataBits, BYTE stopBitsCode,
                              BYTE parityCode) {
  if (m_fd < 0) {
    SetError(EBADF);
    return FALSE;
  }
  // The combinations a UART cannot produce are refused, as the Windows driver refused them.
  const bool valid = baud != 0 && dataBits >= 5 && dataBits <= 8 && stopBitsCode <= TWOSTOPBITS &&
                     parityCode <= SPACEPARITY && !(stopBitsCode == ONE5STOPBITS && dataBits != 5) &&
                     !(stopBitsCode == TWOSTOPBITS && dataBits == 5);
  if (!valid) {
    SetError(EINVAL);
    return FALSE;
  }

  struct termios tio {};
  if (tcgetattr(m_fd, &tio) != 0) {
    SetError(errno);
    return FALSE;
  }
  cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | IMAXBEL);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
  static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  tio.c_cflag |= sizes[dataBits - 5] | CLOCAL | CREAD;
  if (stopBitsCode != ONESTOPBIT) tio.c_cflag |= CSTOPB;  // with five data bits the UART makes it 1.5
  switch (parityCode) {
    case ODDPARITY: tio.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: tio.c_cflag |= PARENB; break;
    case MARKPARITY: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  tio.c_cc[VSTART] = 0x11;
  tio.c_cc[VSTOP] = 0x13;
  if (tcsetattr(m_fd, TCSANOW, &tio) != 0) {
    SetError(errno);
    return FALSE;
  }
  // Last: a later tcsetattr would put back the speed glibc's structure holds.
  if (SetArbitrarySpeed(m_fd, baud) != 0) {
    SetError(errno);
    return FALSE;
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (ioctl(m_fd, TIOCMBIS, &lines) != 0 && !IsUnsupportedIoctl(errno)) {
    SetError(errno);
    return FALSE;
  }
  return TRUE;
}

BOOL CSerialDevice::Enter() const {
  std::lock_guard<std::mutex> lock(m_useMutex);
  if (m_bClosing || m_fd < 0) return FALSE;
  ++m_nUsers;
  return TRUE;
}

void CSerialDevice::Leave() const {
  std::lock_guard<std::mutex> lock(m_useMutex);
  if (--m_nUsers == 0) m_useDone.notify_all();
}

SerialWait CSerialDevice::WaitEvent() {
  // A wait on a device that is closing or closed ends as if woken: Close is the waker.
  if (!Enter()) return SerialWait::Woken;
  SerialWait result = SerialWait::Error;
  struct pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
  for (;;) {
    const int ready = poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      SetError(errno);
      break;
    }
    if (fds[1].revents & POLLIN) {
      DrainEventFd(m_wakeFd);
      result = SerialWait::Woken;
    } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      // A hung-up terminal also reports itself readable, and reads then end at once. Bytes
      // that are really still queued go first; otherwise the hang-up is the news.
      int queued = 0;
      const bool hasBytes = (fds[0].revents & POLLIN) && ioctl(m_fd, FIONREAD, &queued) == 0 &&
                            queued > 0;
      result = hasBytes ? SerialWait::Input : SerialWait::HangUp;
    } else if (fds[0].revents & POLLIN) {
      result = SerialWait::Input;
    }
    break;
  }
  Leave();
  return result;
}

void CSerialDevice::Wake() {
  std::lock_guard<std::mutex> lock(m_useMutex);
  if (m_wakeFd < 0) return;
  const std::uint64_t one = 1;
  while (write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

int CSerialDevice::BytesQueued() const {
  if (!Enter()) return -1;
  int queued = 0;
  const int rc = ioctl(m_fd, FIONREAD, &queued);
  const int error = errno;
  Leave();
  if (rc != 0) {
    const_cast<CSerialDevice*>(this)->SetError(error);
    return -1;
  }
  return queued;
}

int CSerialDevice::Read(void* buffer, std::size_t n) {
  if (n == 0) return 0;
  if (!Enter()) return -1;
  if (n > INT_MAX) n = INT_MAX;
  int result = -1;
  for (;;) {
    const ssize_t got = read(m_fd, buffer, n);
    if (got > 0) {
      result = static_cast<int>(got);
    } else if (got == 0) {
      SetError(EIO);  // end of file: the other side is gone
    } else if (errno == EINTR) {
      continue;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      result = 0;
    } else {
      SetError(errno);
    }
    break;
  }
  Leave();
  return result;
}

BOOL CSerialDevice::WriteAll(const void* data, std::size_t n) {
  if (!Enter()) {
    SetError(EBADF);
    return FALSE;
  }
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t done = 0;
  bool ok = true;
  bool wakePending = false;  // a Wake meant for WaitEvent: not ours to consume
  while (ok && done < n) {
    const ssize_t wrote = write(m_fd, bytes + done, n - done);
    if (wrote > 0) {
      done += static_cast<std::size_t>(wrote);
      continue;
    }
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      SetError(errno);
      ok = false;
      break;
    }
    // The driver's queue is full: wait for room, or for Close.
    struct pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
    const int ready = wakePending ? poll(fds, 1, 50) : poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      SetError(errno);
      ok = false;
      break;
    }
    {
      std::lock_guard<std::mutex> lock(m_useMutex);
      if (m_bClosing) {
        SetError(ECANCELED);
        ok = false;
        break;
      }
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      SetError(EIO);
      ok = false;
      break;
    }
    if (!wakePending && (fds[1].revents & POLLIN)) wakePending = true;
  }
  Leave();
  return ok ? TRUE : FALSE;
}

BOOL CSerialDevice::Drain() {
  if (!Enter()) {
    SetError(EBADF);
    return FALSE;
  }
  BOOL ok = TRUE;
  while (tcdrain(m_fd) != 0) {
    if (errno == EINTR) continue;
    if (!IsUnsupportedIoctl(errno)) {
      SetError(errno);
      ok = FALSE;
    }
    break;
  }
  Leave();
  return ok;
}

void CSerialDevice::Purge() {
  if (!Enter()) return;
  (void)tcflush(m_fd, TCIOFLUSH);
  Leave();
}

void CSerialDevice::DropDtr() {
  if (!Enter()) return;
  int lines = TIOCM_DTR;
  (void)ioctl(m_fd, TIOCMBIC, &lines);  // a line without modem lines has no DTR to drop
  Leave();
}

void CSerialDevice::Close() {
  int fd = -1;
  int wakeFd = -1;
  bool lowLatencySet = false;
  {
    std::unique_lock<std::mutex> lock(m_useMutex);
    if (m_fd < 0 && m_wakeFd < 0) return;
    m_bClosing = true;
    if (m_wakeFd >= 0) {
      const std::uint64_t one = 1;
      (void)write(m_wakeFd, &one, sizeof one);
    }
    m_useDone.wait(lock, [this] { return m_nUsers == 0; });
    fd = m_fd;
    wakeFd = m_wakeFd;
    m_fd = -1;
    m_wakeFd = -1;
    m_path.clear();
    lowLatencySet = m_bLowLatencySet;
    m_bLowLatencySet = false;
  }
  if (fd >= 0) {
    if (lowLatencySet) RestoreLatency(fd);
    // On a pty the exclusive flag outlives the close; the next open would then be refused.
    (void)ioctl(fd, TIOCNXCL);
    close(fd);
  }
  if (wakeFd >= 0) close(wakeFd);
}

std::string CSerialDevice::LastErrorText() const {
  char buffer[256];
  return strerror_r(m_nLastErrno, buffer, sizeof buffer);
}

}  // namespace platform
