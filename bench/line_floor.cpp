#include "bench/line_floor.h"

#include <chrono>
#include <vector>

#include "platform/os/raw_line.h"

namespace {

constexpr int READ_TIMEOUT_MS = 10000;
constexpr DWORD PEER_END_TIMEOUT_MS = 10000;

}  // namespace

BOOL CLineFloor::Fail(const std::string& sWhat) {
  if (m_sError.empty()) m_sError = sWhat;
  return FALSE;
}

BOOL CLineFloor::Start(const std::string& sExe, int nRounds, const std::vector<int>& peerCpus) {
  if (nRounds < 1 || !m_pty.Open()) return Fail("no pseudo-terminal for the floor");
  if (!m_peer.Start(sExe, {"--floor-peer", m_pty.SlavePath(), std::to_string(nRounds)}, peerCpus)) {
    return Fail("the floor's peer could not be started");
  }
  m_nRounds = nRounds;
  m_nDone = 0;
  BYTE block[FLOOR_BLOCK_BYTES];
  if (m_pty.ReadExact(block, sizeof block, READ_TIMEOUT_MS) != sizeof block) {
    return Fail("the floor's peer sent no first block");
  }
  ProcessUsage usage;
  if (!GetProcessUsage(m_peer.Pid(), usage)) return Fail("the floor's peer's usage cannot be read");
  m_nPeerCpuAtStartUs = usage.nCpuMicroseconds;
  return TRUE;
}

BOOL CLineFloor::RunRounds(int n, CLatencySamples& samples) {
  static const BYTE reply[FLOOR_REPLY_BYTES] = {0x01, 0x00, 0x23, 0x00, 0x00, 0x00, 0x00, 0x00};
  BYTE block[FLOOR_BLOCK_BYTES];
  for (; n > 0 && m_nDone < m_nRounds; --n) {
    // Timed from the start of the write, as the responder times the program.
    const auto t0 = std::chrono::steady_clock::now();
    if (!m_pty.Write(reply, sizeof reply)) return Fail("the floor's reply could not be written");
    if (m_pty.ReadExact(block, sizeof block, READ_TIMEOUT_MS) != sizeof block) {
      return Fail("the floor's peer stopped after " + std::to_string(m_nDone) + " rounds");
    }
    const auto t1 = std::chrono::steady_clock::now();
    samples.Add(static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count()));
    ++m_nDone;
  }
  return TRUE;
}

BOOL CLineFloor::Finish() {
  if (m_nDone < m_nRounds) return Fail("the floor ended before its last round");
  // The peer waits for one more reply after its last block, so that it is still there to be
  // measured.
  ProcessUsage usage;
  if (!GetProcessUsage(m_peer.Pid(), usage)) return Fail("the floor's peer's usage cannot be read");
  m_nPeerCpuUs = usage.nCpuMicroseconds - m_nPeerCpuAtStartUs;
  static const BYTE last[FLOOR_REPLY_BYTES] = {0x01, 0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00};
  if (!m_pty.Write(last, sizeof last)) return Fail("the floor's last reply could not be written");
  int nStatus = -1;
  if (!m_peer.Wait(PEER_END_TIMEOUT_MS, nStatus) || nStatus != 0) {
    return Fail("the floor's peer did not end cleanly");
  }
  m_pty.Close();
  return TRUE;
}

int CLineFloor::RunPeer(const std::string& slavePath, int nRounds) {
  CRawLine line;
  if (!line.Open(slavePath)) return 2;
  std::vector<BYTE> block(FLOOR_BLOCK_BYTES, 0x5A);
  block[0] = 0x01;
  block[2] = 0x13;
  BYTE reply[FLOOR_REPLY_BYTES];
  for (int i = 0; i <= nRounds; ++i) {
    if (!line.WriteAll(block.data(), block.size())) return 3;
    if (!line.ReadExact(reply, sizeof reply)) return 4;
  }
  return 0;
}
