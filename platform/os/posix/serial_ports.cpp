#include "platform/os/serial_ports.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace fs = std::filesystem;

namespace platform {

namespace {

// "ttyUSB10" sorts after "ttyUSB2": the name's digits compare as a number.
bool NaturalLess(const std::string& a, const std::string& b) {
  const std::size_t aDigits = a.find_last_not_of("0123456789") + 1;
  const std::size_t bDigits = b.find_last_not_of("0123456789") + 1;
  const std::string aHead = a.substr(0, aDigits), bHead = b.substr(0, bDigits);
  if (aHead != bHead) return aHead < bHead;
  const std::string aNum = a.substr(aDigits), bNum = b.substr(bDigits);
  if (aNum.size() != bNum.size()) return aNum.size() < bNum.size();
  return aNum < bNum;
}

bool HasPrefixAndNumber(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  return name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

// The first line of a sysfs attribute, without its line end; empty when there is none.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return std::string();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  return line;
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::canonical(p, ec);
  return ec ? fs::path() : c;
}

// The USB device above a tty: the tty's device link leads to the USB interface (ttyACM) or to
// the usb-serial port below it (ttyUSB); the first folder upwards with an idVendor is the device.
void ReadUsbAttributes(const std::string& sysRoot, const std::string& name, SerialPortInfo& info) {
  const fs::path root = Canonical(sysRoot);
  fs::path dir = Canonical(fs::path(sysRoot) / "class" / "tty" / name / "device");
  if (root.empty() || dir.empty()) return;
  for (int depth = 0; depth < 8 && !dir.empty() && dir != root && dir != dir.root_path();
       ++depth, dir = dir.parent_path()) {
    std::error_code ec;
    if (!fs::exists(dir / "idVendor", ec)) continue;
    info.vendorId = ReadAttribute(dir / "idVendor");
    info.productId = ReadAttribute(dir / "idProduct");
    info.manufacturer = ReadAttribute(dir / "manufacturer");
    info.product = ReadAttribute(dir / "product");
    info.serial = ReadAttribute(dir / "serial");
    return;
  }
}

// by-id links, resolved, for every device they lead to.
std::vector<std::pair<fs::path, std::string>> ReadByIdLinks(const std::string& devRoot) {
  std::vector<std::pair<fs::path, std::string>> links;
  std::error_code ec;
  const fs::path folder = fs::path(devRoot) / "serial" / "by-id";
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path target = Canonical(it->path());
    if (!target.empty()) links.emplace_back(target, it->path().string());
  }
  return links;
}

}  // namespace

CSerialPortFinder::CSerialPortFinder() : CSerialPortFinder("/dev", "/sys", nullptr) {}

CSerialPortFinder::CSerialPortFinder(std::string devRoot, std::string sysRoot, UartProbe probe)
    : m_devRoot(std::move(devRoot)), m_sysRoot(std::move(sysRoot)), m_probe(std::move(probe)) {
  if (!m_probe) {
    const std::string sys = m_sysRoot;
    m_probe = [sys](const std::string& path) { return ProbeKernelUart(path, sys); };
  }
}

bool CSerialPortFinder::CanAssignDevices() { return true; }

UartAnswer CSerialPortFinder::ProbeUart(const std::string& devicePath) const {
  return m_probe(devicePath);
}

bool CSerialPortFinder::SameDevice(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (a == b) return true;
  const fs::path ca = Canonical(a);
  return !ca.empty() && ca == Canonical(b);
}

bool CSerialPortFinder::Exists(const std::string& path) const {
  std::error_code ec;
  return !path.empty() && fs::exists(path, ec);
}

UartAnswer CSerialPortFinder::ProbeKernelUart(const std::string& devicePath,
                                              const std::string& sysRoot) {
  // Non-blocking: a port without carrier would hold an open otherwise. The driver's type is
  // what setserial shows; a slot without hardware reports PORT_UNKNOWN.
  const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    struct serial_struct serial {};
    const int result = ioctl(fd, TIOCGSERIAL, &serial);
    close(fd);
    if (result != 0) return UartAnswer::NotReal;
    return serial.type == PORT_UNKNOWN ? UartAnswer::NotReal : UartAnswer::Real;
  }
  const int error = errno;
  if (error == EACCES || error == EPERM || error == EBUSY) return UartFromSysfs(devicePath, sysRoot);
  // EIO and friends: the kernel has the node but nothing answers behind it.
  return UartAnswer::NotReal;
}

UartAnswer CSerialPortFinder::UartFromSysfs(const std::string& devicePath,
                                            const std::string& sysRoot) {
  const std::string type =
      ReadAttribute(fs::path(sysRoot) / "class" / "tty" / fs::path(devicePath).filename() / "type");
  if (type.empty()) return UartAnswer::CannotTell;
  return std::strtol(type.c_str(), nullptr, 10) == PORT_UNKNOWN ? UartAnswer::NotReal
                                                                : UartAnswer::Real;
}

std::vector<SerialPortInfo> CSerialPortFinder::Find() const {
  std::vector<std::string> usbNames, uartNames;
  std::error_code ec;
  for (fs::directory_iterator it(m_devRoot, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (HasPrefixAndNumber(name, "ttyUSB") || HasPrefixAndNumber(name, "ttyACM")) {
      usbNames.push_back(name);
    } else if (HasPrefixAndNumber(name, "ttyS")) {
      uartNames.push_back(name);
    }
  }
  std::sort(usbNames.begin(), usbNames.end(), NaturalLess);
  std::sort(uartNames.begin(), uartNames.end(), NaturalLess);

  const auto links = ReadByIdLinks(m_devRoot);
  std::vector<SerialPortInfo> found;
  auto add = [&](const std::string& name, bool usb) {
    SerialPortInfo info;
    info.path = (fs::path(m_devRoot) / name).string();
    info.usb = usb;
    const fs::path target = Canonical(info.path);
    for (const auto& [linkTarget, link] : links) {
      if (!target.empty() && linkTarget == target) info.byId.push_back(link);
    }
    std::sort(info.byId.begin(), info.byId.end());
    if (usb) ReadUsbAttributes(m_sysRoot, name, info);
    found.push_back(std::move(info));
  };
  for (const std::string& name : usbNames) add(name, true);
  for (const std::string& name : uartNames) {
    if (ProbeUart((fs::path(m_devRoot) / name).string()) == UartAnswer::Real) add(name, false);
  }
  return found;
}

namespace {

std::mutex g_finderMutex;
std::unique_ptr<CSerialPortFinder> g_finder;

std::unique_ptr<CSerialPortFinder> MachineFinder() {
  const char* root = std::getenv("QUORIN_TEST_DEVICE_ROOT");
  if (root != nullptr && *root != '\0') {
    return std::make_unique<CSerialPortFinder>(std::string(root) + "/dev",
                                               std::string(root) + "/sys", nullptr);
  }
  return std::make_unique<CSerialPortFinder>();
}

}  // namespace

const CSerialPortFinder& SerialPortFinder() {
  std::lock_guard<std::mutex> lock(g_finderMutex);
  if (!g_finder) g_finder = MachineFinder();
  return *g_finder;
}

void SetSerialPortFinder(std::unique_ptr<CSerialPortFinder> finder) {
  std::lock_guard<std::mutex> lock(g_finderMutex);
  g_finder = std::move(finder);
}

}  // namespace platform
