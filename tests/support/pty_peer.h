// CPtyPeer: a test plays the receiver at the master end of a pseudo-terminal while the program
// opens the slave as one of its COM ports.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/os/pty.h"
#include "tests/support/test_files.h"

class CPtyPeer : public CPseudoTerminal {
 public:
  using CPseudoTerminal::Write;
  bool Write(const ByteVec& bytes) { return Write(bytes.data(), bytes.size()); }
  bool SendReply(std::uint8_t code, std::uint8_t paramA = 0);
  // Writes "<key>=<slave path>" into section [Devices] of the settings.
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
