#include "tools/sim_line.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/os/sync.h"

namespace {

constexpr DWORD WAKER_PERIOD_MS = 20;
constexpr int BITS_PER_BYTE = 10;
// A write at line rate goes out in slices, so the PC sees bytes arrive as they would.
constexpr std::size_t WIRE_SLICE = 16;

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

CSimLine::Clock::duration CSimLine::ByteTime() const {
  const std::uint32_t baud = std::max<std::uint32_t>(Speed(), 50);
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
      static_cast<std::int64_t>(BITS_PER_BYTE) * 1000000000 / baud));
}

std::string CSimLine::Path() const { return m_bPty ? m_pty.SlavePath() : m_device.Path(); }

int CSimLine::Read(std::uint8_t* buffer, std::size_t n, int timeoutMs) {
  if (m_bPty && m_bLineRate) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      // What the PC wrote is in the pseudo-terminal at once; on a line it arrives byte by byte.
      std::uint8_t chunk[4096];
      const int got = m_pty.Read(chunk, sizeof chunk, m_rxQueue.empty() ? MsLeft(deadline) : 0);
      if (got < 0) return -1;
      for (int i = 0; i < got; ++i) {
        m_rxFree = std::max(m_rxFree, Clock::now()) + ByteTime();
        m_rxQueue.emplace_back(chunk[i], m_rxFree);
      }
      if (m_rxQueue.empty()) return 0;
      const Clock::time_point first = m_rxQueue.front().second;
      if (first > deadline) {
        std::this_thread::sleep_until(deadline);
        return 0;
      }
      std::this_thread::sleep_until(first);
      std::size_t taken = 0;
      const Clock::time_point now = Clock::now();
      while (taken < n && !m_rxQueue.empty() && m_rxQueue.front().second <= now) {
        buffer[taken++] = m_rxQueue.front().first;
        m_rxQueue.pop_front();
      }
      return static_cast<int>(taken);
    }
  }
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
  if (m_bPty && m_bLineRate) {
    m_txFree = std::max(m_txFree, Clock::now() + m_replyLatency);
    for (std::size_t done = 0; done < n;) {
      const std::size_t slice = std::min(WIRE_SLICE, n - done);
      m_txFree += ByteTime() * static_cast<int>(slice);
      std::this_thread::sleep_until(m_txFree);
      if (!m_pty.Write(data + done, slice)) return false;
      done += slice;
    }
    return true;
  }
  if (m_replyLatency > Clock::duration::zero()) std::this_thread::sleep_for(m_replyLatency);
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
