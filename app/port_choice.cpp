#include "app/port_choice.h"

#include <vector>

#include "platform/os/serial_device.h"
#include "platform/os/serial_ports.h"
#include "platform/os/settings.h"
#include "transfer/line_choices.h"

namespace {

std::string PortWithDevice(int nPortIndex) {
  const std::string name = PortListEntry(nPortIndex);
  const std::string path = CSerialDevice::DevicePathFor(name);
  // On Windows the name is the device; elsewhere the device it stands for is worth knowing.
  return path.empty() || !CSerialPortFinder::CanAssignDevices() ? name : name + " (" + path + ")";
}

std::string SpeedNames() {
  std::string names;
  for (int i = 0; i < SPEED_COUNT; ++i) names += (i > 0 ? ", " : "") + SpeedListEntry(i);
  return names;
}

}  // namespace

int PortIndexFromCommandLine(const std::string& value) {
  for (int i = 0; i < PORT_COUNT; ++i) {
    if (value == PortListEntry(i) || value == PortSettingText(i)) return i;
  }
  return -1;
}

bool IsDevicePathArgument(const std::string& value) {
#ifdef _WIN32
  return value.size() > 4 && value.compare(0, 4, "\\\\.\\") == 0;
#else
  return value.size() > 1 && value[0] == '/';
#endif
}

int PortIndexForDevice(const std::string& path) {
  for (int i = 0; i < PORT_COUNT; ++i) {
    const std::string name = PortListEntry(i);
    if (CSerialDevice::HasOwnDevice(name) &&
        CSerialPortFinder::SameDevice(CSerialDevice::DevicePathFor(name), path)) {
      return i;
    }
  }
  for (int i = 0; i < PORT_COUNT; ++i) {
    if (CSerialPortFinder::SameDevice(CSerialDevice::DefaultPathFor(PortListEntry(i)), path)) {
      return i;
    }
  }
  return -1;
}

PortChoice ChoosePort(const CCommandLine& commandLine, const std::string& settingsName) {
  PortChoice choice;
  if (!commandLine.HasOption("-c")) {
    choice.nPortIndex = PortIndexFromName(settingsName);
    return choice;
  }
  const std::string value = commandLine.GetValue("-c", 0);
  const int nIndex = PortIndexFromCommandLine(value);
  if (nIndex >= 0) {
    choice.nPortIndex = nIndex;
    return choice;
  }
  if (IsDevicePathArgument(value)) {
    const int nMapped = PortIndexForDevice(value);
    choice.nPortIndex = nMapped >= 0 ? nMapped : PORT_INDEX_DEFAULT;
    choice.runDevice = value;
    return choice;
  }
  choice.nPortIndex = PORT_INDEX_DEFAULT;
  const std::string what =
      value.empty() ? std::string("-c has no value")
                    : "-c \"" + value + "\" is neither a port (COM1 to COM9) nor a device path";
  choice.warning = "Warning: " + what + "; using " + PortWithDevice(choice.nPortIndex) + ".";
  return choice;
}

SpeedChoice ChooseSpeed(const CCommandLine& commandLine) {
  SpeedChoice choice;
  choice.nSpeedIndex = SPEED_INDEX_DEFAULT;
  if (!commandLine.HasOption("-s")) return choice;
  const std::string value = commandLine.GetValue("-s", 0);
  choice.nSpeedIndex = SpeedIndexFromName(value);
  if (SpeedListEntry(choice.nSpeedIndex) != value) {
    const std::string what = value.empty() ? std::string("-s has no value")
                                           : "-s \"" + value + "\" is not one of the speeds " +
                                                 SpeedNames();
    choice.warning = "Warning: " + what + "; using " + SpeedListEntry(choice.nSpeedIndex) + ".";
  }
  return choice;
}

std::string PortsReport(bool bHowTo) {
  const CSerialPortFinder& finder = SerialPortFinder();
  const bool bMapped = CSerialPortFinder::CanAssignDevices();
  const std::vector<SerialPortInfo> found = finder.Find();
  std::string text;
  if (bMapped) {
    text += "COM ports (section [Devices] of " + GetProfileFilePath() + "):\n";
  } else {
    text += "COM ports:\n";
  }
  for (int i = 0; i < PORT_COUNT; ++i) {
    const std::string name = PortListEntry(i);
    const std::string path = CSerialDevice::DevicePathFor(name);
    std::string line = "  " + name;
    if (bMapped) {
      line += " = " + (path.empty() ? std::string("(nothing)") : path);
      line += CSerialDevice::HasOwnDevice(name) ? " [Devices]" : " (default)";
    }
    line += std::string(bMapped ? ", " : ": ") + (finder.Exists(path) ? "present" : "missing");
    // The kernel keeps ttyS nodes for slots without hardware: such a node is there, but useless.
    if (bMapped && finder.Exists(path) && path.rfind(finder.DevRoot() + "/ttyS", 0) == 0 &&
        finder.ProbeUart(path) == UartAnswer::NotReal) {
      line += ", but no UART answers there";
    }
    text += line + "\n";
  }

  text += bMapped ? "\nSerial devices found:\n" : "\nSerial ports of this system:\n";
  if (found.empty()) {
    text += bMapped ? "  none: no USB serial adapter is plugged in, and no UART answers.\n"
                    : "  none.\n";
  }
  const SerialPortInfo* firstUsb = nullptr;
  for (const SerialPortInfo& port : found) {
    if (port.usb && firstUsb == nullptr) firstUsb = &port;
    std::string description = port.Describe();
    if (description.empty()) {
      description = port.usb ? "USB serial adapter" : bMapped ? "serial port (UART)" : "serial port";
    }
    text += "  " + port.path + "  " + description + "\n";
    for (const std::string& link : port.byId) text += "      " + link + "\n";
  }
  if (bHowTo && bMapped && !found.empty()) {
    const SerialPortInfo& example = firstUsb != nullptr ? *firstUsb : found.front();
    text += "\nTo use one for a run: quorin -c " + example.path +
            " ...; to keep it as a COM port, map it in section [Devices], for example:\n"
            "  COM1=" + example.StableName() + "\n";
  }
  return text;
}
