// The serial ports this machine has, for a technician looking for the one a cable is on.
//
// On Linux (posix/serial_ports.cpp) the finder reads the device folder and sysfs and never
// opens a device itself except through its UART probe:
// - /dev/ttyUSB* and /dev/ttyACM* are USB adapters. Their /dev/serial/by-id links are found by
//   resolving each link; vendor, product and serial number come from the USB device's
//   attributes, found by following /sys/class/tty/<name>/device up the device tree to the
//   first folder that has an idVendor.
// - /dev/ttyS* is listed only where a real UART answers: the kernel makes a ttyS node for every
//   slot it might have, and most of them have no hardware behind them. The probe asks the
//   driver for the port's type (TIOCGSERIAL); where the device may not be opened, the type the
//   driver shows in sysfs answers instead.
// Both roots and the probe can be replaced, so a test runs the finder on a tree of its own.
//
// On Windows (win32/serial_ports.cpp) the ports are the COM names of the registry's
// HARDWARE\DEVICEMAP\SERIALCOMM, described by the friendly names the device manager shows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class UartAnswer {
  Real,        // a UART answers: the driver knows its type
  NotReal,     // the node has no hardware behind it (type unknown, or it cannot be opened)
  CannotTell,  // the device may not be looked at (permission) or is held by another program
};
using UartProbe = std::function<UartAnswer(const std::string& devicePath)>;

struct SerialPortInfo {
  std::string path;                // /dev/ttyUSB0; on Windows the COM name
  bool usb = false;                // a USB adapter (ttyUSB, ttyACM)
  std::vector<std::string> byId;   // /dev/serial/by-id links naming it, sorted
  std::string vendorId;            // "1a2b"
  std::string productId;           // "3c4d"
  std::string manufacturer;        // "Zeta"
  std::string product;             // "USB Serial"
  std::string serial;              // "A12345"
  std::string description;         // Windows: the friendly name; Linux: empty

  // The name that keeps meaning this device: its first by-id link, else its path.
  std::string StableName() const { return byId.empty() ? path : byId.front(); }
  // "Zeta USB Serial, USB 1a2b:3c4d, serial A12345"; empty when nothing is known.
  std::string Describe() const {
    std::string text = manufacturer;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
    if (!product.empty()) text += (text.empty() ? "" : " ") + product;
    if (!vendorId.empty() || !productId.empty()) add("USB " + vendorId + ":" + productId);
    if (!serial.empty()) add("serial " + serial);
    return text.empty() ? description : text;
  }
};

class CSerialPortFinder {
 public:
  // This machine's device folder and sysfs (on Windows: the registry), its own UART probe.
  CSerialPortFinder();
  // Another tree: devRoot stands for /dev, sysRoot for /sys.
  CSerialPortFinder(std::string devRoot, std::string sysRoot, UartProbe probe);

  // The serial devices found: USB adapters first, then UARTs, each in natural order
  // (ttyUSB2 before ttyUSB10).
  std::vector<SerialPortInfo> Find() const;
  // The USB adapters among them.
  std::vector<SerialPortInfo> FindUsbAdapters() const;
  // Whether something is at the path (a link must lead somewhere); nothing is opened.
  bool Exists(const std::string& path) const;
  UartAnswer ProbeUart(const std::string& devicePath) const;
  // Whether two paths lead to one device (links followed; on Windows the names compared).
  static bool SameDevice(const std::string& a, const std::string& b);
  // The folder that stands for /dev ("/dev" on a real machine).
  const std::string& DevRoot() const { return m_devRoot; }
  // Whether the program maps COM names to devices itself (Linux), so a found device can be
  // assigned to a COM entry; on Windows the names are the devices.
  static bool CanAssignDevices();

  // The kernel's answer: TIOCGSERIAL on the device opened without waiting for a carrier; when
  // it may not be opened, the type in sysRoot's class/tty/<name>/type.
  static UartAnswer ProbeKernelUart(const std::string& devicePath, const std::string& sysRoot);
  // The type the driver shows in sysRoot's class/tty/<name>/type: 0 is no UART.
  static UartAnswer UartFromSysfs(const std::string& devicePath, const std::string& sysRoot);

 private:
  std::string m_devRoot;
  std::string m_sysRoot;
  UartProbe m_probe;
};

// The finder the program uses: the machine's own, unless a test put another in its place (or
// QUORIN_TEST_DEVICE_ROOT names a folder with dev/ and sys/ in it, for a test of the whole
// program; its ttyS nodes are then probed by the kernel's answer too, which a plain file does
// not give).
const CSerialPortFinder& SerialPortFinder();
// nullptr puts the machine's own back.
void SetSerialPortFinder(std::unique_ptr<CSerialPortFinder> finder);

}  // namespace platform
