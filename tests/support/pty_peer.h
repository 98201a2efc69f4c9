// CPtyPeer: a test plays the receiver at the master end of a pseudo-terminal while the program
// opens the slave as one of its COM ports. Under Wine the pseudo-terminal is one the line
// broker lends (tests/support/win32/remote_line.h), reached the same way.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "tests/support/test_files.h"
#ifdef _WIN32
#include "tests/support/win32/remote_line.h"
using CPtyLine = CRemoteLine;
#else
#include "platform/os/pty.h"
using CPtyLine = CPseudoTerminal;
#endif

// Makes the COM port (name "COM3") open the device at the path: on Linux through section
// [Devices] of the settings, under Wine through the link its registry entry names.
bool MapComPort(const std::string& name, const std::string& devicePath);

class CPtyPeer : public CPtyLine {
 public:
  using CPtyLine::Write;
  bool Write(const ByteVec& bytes) { return Write(bytes.data(), bytes.size()); }
  bool SendReply(std::uint8_t code, std::uint8_t paramA = 0);
  // The COM port (key "COM3") opens this line from now on.
  bool MapTo(const std::string& key = "COM1") const;
  // Exactly n bytes, or fewer when timeoutMs pass without a byte.
  ByteVec ReadBytes(std::size_t n, int timeoutMs);
  // Whatever arrives within timeoutMs after the first byte, until quietMs of silence.
  ByteVec ReadUntilQuiet(int timeoutMs, int quietMs = 50);
  bool WaitForSpeed(std::uint32_t baud, int timeoutMs);
};

// A reply frame: 01 A code 00 00 00 00 00.
ByteVec Frame(std::uint8_t code, std::uint8_t paramA = 0);
ByteVec Bytes(std::initializer_list<int> values);
