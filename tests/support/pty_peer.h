// CPtyPeer: a test plays the receiver on the master side of a pseudo-terminal, while the
// program under test opens the slave as one of its COM ports.
//
//   CPtyPeer peer;
//   ASSERT_TRUE(peer.Open());
//   ASSERT_TRUE(peer.MapToPort(1));            // COM1 -> the slave, in a private settings folder
//   link.Open(0, 0, hWnd);
//   peer.SendReply(RSP_CONNECT);
//   auto bytes = peer.ReadBytes(8, 2000);      // what the program answered
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/pty.h"

class CPtyPeer {
 public:
  CPtyPeer() = default;
  ~CPtyPeer();
  CPtyPeer(const CPtyPeer&) = delete;
  CPtyPeer& operator=(const CPtyPeer&) = delete;

  // Points XDG_CONFIG_HOME at a new private folder (once per process) so that nothing a test
  // writes reaches the user's settings. Returns the folder.
  static std::string IsolateSettings();

  bool Open();
  void Close();  // closes both ends: the program's side sees a hang-up
  const std::string& SlavePath() const { return m_pty.SlavePath(); }
  // Writes "COMn=<slave path>" (or "TELNET=..." for n >= 11) into section [Devices].
  bool MapToPort(int nPort);

  // Exactly n bytes, or fewer when timeoutMs pass without a byte.
  std::vector<std::uint8_t> ReadBytes(std::size_t n, int timeoutMs);
  // Whatever arrives within timeoutMs after the first byte, until quietMs of silence.
  std::vector<std::uint8_t> ReadUntilQuiet(int timeoutMs, int quietMs = 50);
  bool Write(const std::vector<std::uint8_t>& bytes);
  // An 8-byte reply frame: 01 A code 00 00 00 00 00.
  static std::vector<std::uint8_t> Frame(std::uint8_t code, std::uint8_t paramA = 0);
  bool SendReply(std::uint8_t code, std::uint8_t paramA = 0);
  // Waits until the program's side has read everything written to it.
  bool WaitDrained(int timeoutMs = 5000);

  std::uint32_t SlaveSpeed() const { return m_pty.SlaveSpeed(); }
  // Waits until the program has set the speed; false on time-out.
  bool WaitForSpeed(std::uint32_t baud, int timeoutMs);
  CPseudoTerminal& Pty() { return m_pty; }

 private:
  CPseudoTerminal m_pty;
};

// Builds a std::vector from a list of bytes: Bytes({0x01, 0x00, 0x20}).
std::vector<std::uint8_t> Bytes(std::initializer_list<int> values);
