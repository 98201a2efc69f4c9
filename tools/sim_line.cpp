#include "tools/sim_line.h"

#include <chrono>

#include "platform/os/sync.h"

namespace {

constexpr DWORD WAKER_PERIOD_MS = 20;

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

CSimLine::~CSimLine() { Close(); }

bool CSimLine::OpenPty() {
  Close();
  m_bPty = m_pty.Open();
  return m_bPty;
}

bool CSimLine::OpenDevice(const std::string& path, std::uint32_t baud, std::string& error) {
  Close();
  if (!m_device.OpenPath(path)) {
    error = path + ": " + m_device.LastErrorText();
    return false;
  }
  if (!m_device.Configure(baud, 8, 0, 0)) {
    error = path + ": the line settings are refused (" + m_device.LastErrorText() + ")";
    m_device.Close();
    return false;
  }
  m_nDeviceBaud = baud;
  m_bStopWaker = false;
  m_waker = std::thread([this] {
    while (!m_bStopWaker.load()) {
      Sleep(WAKER_PERIOD_MS);
      m_device.Wake();
    }
  });
  return true;
}

void CSimLine::Close() {
  if (m_waker.joinable()) {
    m_bStopWaker = true;
    m_waker.join();
  }
  m_device.Close();
  m_pty.Close();
  m_bPty = false;
}

std::string CSimLine::Path() const { return m_bPty ? m_pty.SlavePath() : m_device.Path(); }

int CSimLine::Read(std::uint8_t* buffer, std::size_t n, int timeoutMs) {
  if (m_bPty) return m_pty.Read(buffer, n, timeoutMs);
  if (!m_device.IsOpen()) return -1;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const int got = m_device.Read(buffer, n);
    if (got != 0) return got;
    if (MsLeft(deadline) == 0) return 0;
    const SerialWait what = m_device.WaitEvent();
    if (what == SerialWait::HangUp || what == SerialWait::Error) return -1;
  }
}

bool CSimLine::Write(const std::uint8_t* data, std::size_t n) {
  if (m_bPty) return m_pty.Write(data, n);
  return m_device.WriteAll(data, n) != FALSE;
}

bool CSimLine::WaitTaken(int timeoutMs) {
  // A device's write returns only once everything is sent.
  return m_bPty ? m_pty.WaitDrained(timeoutMs) : m_device.IsOpen() != FALSE;
}

std::uint32_t CSimLine::Speed() const { return m_bPty ? m_pty.SlaveSpeed() : m_nDeviceBaud; }

bool CSimLine::SetSpeed(std::uint32_t baud) {
  if (m_bPty) return m_pty.SetSlaveSpeed(baud);
  if (!m_device.Configure(baud, 8, 0, 0)) return false;
  m_nDeviceBaud = baud;
  return true;
}
