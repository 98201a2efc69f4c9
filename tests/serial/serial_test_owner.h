// An owner window for a serial port in tests: records every delivery (with the zero byte that
// must follow it), acknowledges it or not, and counts link-lost messages.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ui/window.h"
#include "serial/serial_comm.h"

class CSerialTestOwner : public CWnd {
 public:
  explicit CSerialTestOwner(CSerialComm& comm) : m_comm(comm) { CreateMessageWindow(this); }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_SERIAL_LINK_LOST) {
      ++m_nLost;
      return 0;
    }
    if (message != WM_SERIAL_DATA) return CWnd::WindowProc(message, wParam, lParam);
    const DWORD n = static_cast<DWORD>(wParam);
    const BYTE* bytes = m_comm.DeliveryBytes();
    m_chunks.emplace_back(bytes, bytes + n);
    m_pendingSeen.push_back(m_comm.DeliveryCount());
    m_zeroAfter.push_back(bytes[n] == 0);
    if (m_onData) m_onData(n);
    if (m_bAutoAck) Acknowledge();
    return 0;
  }

  void Acknowledge() { m_comm.AcknowledgeDelivery(); }

  std::vector<std::uint8_t> AllBytes() const {
    std::vector<std::uint8_t> all;
    for (const auto& chunk : m_chunks) all.insert(all.end(), chunk.begin(), chunk.end());
    return all;
  }

  CSerialComm& m_comm;
  bool m_bAutoAck = true;
  std::function<void(DWORD)> m_onData;
  std::vector<std::vector<std::uint8_t>> m_chunks;
  std::vector<DWORD> m_pendingSeen;
  std::vector<bool> m_zeroAfter;
  int m_nLost = 0;
};

// Dispatches posted messages until the condition holds or the time is up (pass a condition
// that never holds to pump for the whole time).
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    PumpPostedMessages();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    WaitForPostedMessage(10);
  }
}
