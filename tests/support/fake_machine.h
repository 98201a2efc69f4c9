// A Linux machine's /dev and /sys, laid out in a folder of the test's own for the port
// finder: a Zeta adapter (ttyUSB0) and a CDC-ACM board (ttyACM0) with their by-id links and
// USB attributes, reached through the tty's device link as on a real machine, and the kernel's
// ttyS slots 0, 1, 2, 3 and 10, of which the test's probe lets 1, 2 and 10 answer.
#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "platform/os/serial_ports.h"
#include "platform/win_types.h"
#include "tests/support/test_files.h"


inline void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  WriteWholeFile(file.string(), ByteVec(text.begin(), text.end()));
}

inline void Link(const std::filesystem::path& link, const std::string& target) {
  std::filesystem::create_directories(link.parent_path());
  std::filesystem::create_symlink(target, link);
}

// The tree of a machine with a Zeta adapter (ttyUSB0), a CDC-ACM board (ttyACM0) and the
// kernel's ttyS slots 0, 1, 2, 3 and 10.
class FakeMachine {
 public:
  // usbLine: what dev/ttyUSB0 leads to (a pseudo-terminal of the test); a plain file if empty.
  explicit FakeMachine(const std::string& root, const std::string& usbLine = "") : m_root(root) {
    const std::filesystem::path dev = Dev(), sys = Sys();
    if (usbLine.empty()) {
      WriteText(dev / "ttyUSB0", "");
    } else {
      Link(dev / "ttyUSB0", usbLine);
    }
    for (const char* name : {"ttyACM0", "ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS10",
                             "tty", "ttyUSBx", "console"}) {
      WriteText(dev / name, "");
    }
    Link(dev / "serial/by-id/usb-Zeta_USB_Serial_A12345-if00-port0", "../../ttyUSB0");
    Link(dev / "serial/by-id/usb-Acme_Board_0042-if00", "../../ttyACM0");
    Link(dev / "serial/by-id/usb-Gone_Adapter-if00-port0", "../../ttyUSB7");  // left dangling

    // ttyUSB: class/tty/ttyUSB0 -> .../1-2:1.0/ttyUSB0/tty/ttyUSB0, whose device link leads to
    // the usb-serial port; the interface above it has no idVendor, the USB device above that has.
    const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1";
    const std::filesystem::path adapter = sys / usb / "1-2";
    WriteText(adapter / "idVendor", "1a2b\n");
    WriteText(adapter / "idProduct", "3c4d\n");
    WriteText(adapter / "manufacturer", "Zeta\n");
    WriteText(adapter / "product", "USB Serial\n");
    WriteText(adapter / "serial", "A12345\n");
    WriteText(adapter / "1-2:1.0/bInterfaceClass", "ff\n");
    std::filesystem::create_directories(adapter / "1-2:1.0/ttyUSB0/tty/ttyUSB0");
    Link(adapter / "1-2:1.0/ttyUSB0/tty/ttyUSB0/device", "../../../ttyUSB0");
    Link(sys / "class/tty/ttyUSB0", "../../" + usb + "/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0");

    // ttyACM: the device link leads to the interface itself; no serial attribute.
    const std::filesystem::path acm = sys / usb / "1-3";
    WriteText(acm / "idVendor", "2b3c\n");
    WriteText(acm / "idProduct", "0043\n");
    WriteText(acm / "manufacturer", "Acme\n");
    WriteText(acm / "product", "Board\n");
    std::filesystem::create_directories(acm / "1-3:1.0/tty/ttyACM0");
    Link(acm / "1-3:1.0/tty/ttyACM0/device", "../../../1-3:1.0");
    Link(sys / "class/tty/ttyACM0", "../../" + usb + "/1-3/1-3:1.0/tty/ttyACM0");

    // A UART's sysfs entry leads to no USB device at all.
    std::filesystem::create_directories(sys / "devices/platform/serial8250/tty/ttyS1");
    Link(sys / "class/tty/ttyS1", "../../devices/platform/serial8250/tty/ttyS1");
  }

  std::filesystem::path Dev() const { return std::filesystem::path(m_root) / "dev"; }
  std::filesystem::path Sys() const { return std::filesystem::path(m_root) / "sys"; }

  // ttyS1, ttyS2 and ttyS10 answer; ttyS0 has nothing behind it; ttyS3 may not be looked at.
  UartProbe Probe() {
    return [this](const std::string& path) {
      m_probed.insert(std::filesystem::path(path).filename().string());
      const std::string name = std::filesystem::path(path).filename().string();
      if (name == "ttyS1" || name == "ttyS2" || name == "ttyS10") return UartAnswer::Real;
      if (name == "ttyS3") return UartAnswer::CannotTell;
      return UartAnswer::NotReal;
    };
  }
  const std::set<std::string>& Probed() const { return m_probed; }

 private:
  std::string m_root;
  std::set<std::string> m_probed;
};

