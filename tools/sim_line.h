// The simulator's end of the serial line: the master of a new pseudo-terminal, or a real
// device. On a pseudo-terminal the simulator also keeps the slave open, which lets it see the
// speed the PC sets and keeps the PC's close and reopen from hanging up the line.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/os/pty.h"
#include "platform/os/serial_device.h"

class CSimLine {
 public:
  CSimLine() = default;
  ~CSimLine();
  CSimLine(const CSimLine&) = delete;
  CSimLine& operator=(const CSimLine&) = delete;

  bool OpenPty();
  bool OpenDevice(const std::string& path, std::uint32_t baud, std::string& error);
  void Close();
  bool IsPty() const { return m_bPty; }
  // The path the PC opens (pty) or the device's path.
  std::string Path() const;

  // Waits at most timeoutMs for the first byte, then returns what is there (up to n);
  // 0 on time-out, -1 when the line failed.
  int Read(std::uint8_t* buffer, std::size_t n, int timeoutMs);
  bool Write(const std::uint8_t* data, std::size_t n);
  // Waits until the PC side has taken everything written to it.
  bool WaitTaken(int timeoutMs);

  // Pty: the speed the PC's side is set to. Device: the speed this side runs at.
  std::uint32_t Speed() const;
  // Pty: parks a speed on the PC's side (to notice when the PC configures it again).
  // Device: changes this side's own speed.
  bool SetSpeed(std::uint32_t baud);

 private:
  CPseudoTerminal m_pty;
  CSerialDevice m_device;
  bool m_bPty = false;
  std::uint32_t m_nDeviceBaud = 0;
  // A device has no wait with a time limit; this thread wakes the wait now and then.
  std::thread m_waker;
  std::atomic<bool> m_bStopWaker{false};
};
