// A pseudo-terminal pair for the receiver simulator and the tests: the master end plays the
// receiver, the slave path is what the program opens as its COM port. The object keeps a
// descriptor of the slave open itself, so the program's close and reopen never hang up the
// master, and so the speed and mode the program set can be read back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include "platform/win_types.h"

namespace platform {

class CPseudoTerminal {
 public:
  CPseudoTerminal() = default;
  ~CPseudoTerminal();
  CPseudoTerminal(const CPseudoTerminal&) = delete;
  CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

  bool Open();  // creates the pair; both ends start raw, the master non-blocking
  void Close();
  bool IsOpen() const { return m_master >= 0; }
  const std::string& SlavePath() const { return m_slavePath; }

  // The speed the slave side is set to now, in bits per second (0 when unknown).
  std::uint32_t SlaveSpeed() const;
  // Puts the slave side into a cooked seven-bit mode (echo, line editing, CR/LF mapping,
  // XON/XOFF, stripped eighth bit), so a test can see that the program's settings make it raw.
  bool SetSlaveCooked();
  // Sets the slave side's speed, as the program would (pty_extra.cpp). The simulator parks an
  // unusual speed there to see the moment the program configures its port again.
  bool SetSlaveSpeed(std::uint32_t baud);

  // Master side I/O. Read waits at most timeoutMs for the first byte (-1: for ever), then
  // returns what is there; 0 on time-out, -1 on error.
  int Read(void* buffer, std::size_t n, int timeoutMs);
  // Reads exactly n bytes or fails after timeoutMs of silence; returns the count read.
  std::size_t ReadExact(void* buffer, std::size_t n, int timeoutMs);
  // Writes every byte; false on error or when the slave side takes nothing for 10 s.
  bool Write(const void* data, std::size_t n);
  // Waits until the slave side has read everything written to it (up to timeoutMs).
  bool WaitDrained(int timeoutMs);
  // Bytes written by the master and not yet read on the slave side.
  int PendingToSlave() const;
  // Discards what the slave side wrote and the master has not read.
  void DiscardInput();

  int MasterFd() const { return m_master; }

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_slavePath;
};

}  // namespace platform
