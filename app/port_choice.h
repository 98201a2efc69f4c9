// What the command line's "-c" and "-s" select, and the port listing of "--ports" and the
// Ports dialog.
//
// "-c" takes a list entry ("COM3", "COM 3", up to COM9) or a device path ("/dev/ttyUSB0"): a
// path is opened for this run in place of the entry it is mapped to (COM1 when none is), and
// is never stored. A value that is neither selects COM1, and "-s" with a value that is not one
// of the seven speeds selects 115200, as always; the choice then carries a warning for the
// terminal, naming the value and what is used instead.
#pragma once

#include <string>

#include "app/command_line.h"

struct PortChoice {
  int nPortIndex = 0;
  std::string runDevice;  // the device "-c" named, for this run only; empty when none
  std::string warning;    // empty when the value was understood
};

struct SpeedChoice {
  int nSpeedIndex = 0;
  std::string warning;
};

// settingsName: the port the settings remember ("COM 3"), used when there is no "-c".
PortChoice ChoosePort(const CCommandLine& commandLine, const std::string& settingsName);
SpeedChoice ChooseSpeed(const CCommandLine& commandLine);

// An entry of the list as the command line names it: "COM1" to "COM9", "COM 1" to "COM 9";
// -1 for anything else.
int PortIndexFromCommandLine(const std::string& value);
// A device path as a user types it: absolute ("/dev/ttyUSB0"; on Windows "\\.\COM12").
bool IsDevicePathArgument(const std::string& value);
// The list entry whose device is this path: an entry of section "Devices" first, then an
// entry whose default it is; -1 when none.
int PortIndexForDevice(const std::string& path);

// The listing: the list's entries with their devices and whether each exists, then the serial
// devices found on this machine, then (bHowTo) how to use one. Nothing is written.
std::string PortsReport(bool bHowTo = true);
