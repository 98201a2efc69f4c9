// What every system's port finder shares.
#include "platform/os/serial_ports.h"

#include <algorithm>

namespace platform {

std::vector<SerialPortInfo> CSerialPortFinder::FindUsbAdapters() const {
  std::vector<SerialPortInfo> all = Find();
  all.erase(std::remove_if(all.begin(), all.end(), [](const SerialPortInfo& p) { return !p.usb; }),
            all.end());
  return all;
}

}  // namespace platform
