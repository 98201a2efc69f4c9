// The simulator's end of the serial line: the master of a new pseudo-terminal, or a real
// device. On a pseudo-terminal the simulator also keeps the slave open, which lets it see the
// speed the PC sets and keeps the PC's close and reopen from hanging up the line.
//
// A pseudo-terminal passes bytes at once. At line rate the simulator makes it a line: what it
// writes reaches the PC only after its time on the wire, and what the PC wrote is taken only
// after its own, both at the speed the PC's side is set to (ten bits a byte: start, eight data,
// stop), across speed changes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
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
  // Pseudo-terminal only: bytes take their time on the wire.
  void SetLineRate(bool bLineRate) { m_bLineRate = bLineRate; }
  // Every write waits this long first, as a USB adapter holds a short reply for its latency
  // timer.
  void SetReplyLatency(int ms) { m_replyLatency = std::chrono::milliseconds(ms); }
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
  using Clock = std::chrono::steady_clock;
  Clock::duration ByteTime() const;

  CPseudoTerminal m_pty;
  bool m_bLineRate = false;
  Clock::duration m_replyLatency{};
  Clock::time_point m_txFree{};  // when our last byte has left the wire
  Clock::time_point m_rxFree{};  // when the PC's last byte taken so far has arrived
  // The PC's bytes already read from the pseudo-terminal, each with its arrival on the wire.
  std::deque<std::pair<std::uint8_t, Clock::time_point>> m_rxQueue;
  CSerialDevice m_device;
  bool m_bPty = false;
  std::uint32_t m_nDeviceBaud = 0;
  // A device has no wait with a time limit; this thread wakes the wait now and then.
  std::thread m_waker;
  std::atomic<bool> m_bStopWaker{false};
};
