#include "bench/bench_responder.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/os/process_stats.h"
#include "transfer/frame_codec.h"
#include "transfer/protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int READ_TIMEOUT_MS = 10000;
constexpr int SPEED_TIMEOUT_MS = 5000;
// The program finishes its start-up after it wrote the reboot text; its resident size is
// taken once it sits idle.
constexpr int SETTLE_MS = 300;
constexpr int FRAME_BYTES = quorin::FRAME_HEADER_SIZE;
constexpr int BLOCK_BYTES = quorin::DATA_BLOCK_SIZE;

std::uint64_t Nanoseconds(Clock::duration d) {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
}

}  // namespace

CBenchResponder::CBenchResponder(CPseudoTerminal& pty, const std::vector<BYTE>& image,
                                 int nSpeedIndex, int nPcPid, int nJob)
    : m_pty(pty), m_image(image), m_nSpeedIndex(nSpeedIndex), m_nPcPid(nPcPid), m_nJob(nJob) {}

BOOL CBenchResponder::Fail(const std::string& sWhat) {
  if (m_sError.empty()) m_sError = sWhat;
  return FALSE;
}

BOOL CBenchResponder::Expect(BYTE* pOut, std::size_t n, const char* pWhat) {
  const std::size_t got = m_pty.ReadExact(pOut, n, READ_TIMEOUT_MS);
  if (got != n) {
    return Fail(std::string("waited in vain for ") + pWhat + " (" + std::to_string(got) + " of " +
                std::to_string(n) + " bytes)");
  }
  return TRUE;
}

BOOL CBenchResponder::ExpectCommand(BYTE code, const char* pWhat, BYTE* pHeader) {
  BYTE header[FRAME_BYTES];
  if (!Expect(header, sizeof header, pWhat)) return FALSE;
  if (header[0] != quorin::FRAME_MARKER || header[quorin::FRAME_OFS_CODE] != code) {
    return Fail(std::string("not ") + pWhat + ": code " + std::to_string(header[quorin::FRAME_OFS_CODE]));
  }
  if (pHeader != nullptr) std::memcpy(pHeader, header, sizeof header);
  return TRUE;
}

BOOL CBenchResponder::Reply(BYTE code, BYTE paramA) {
  const BYTE frame[FRAME_BYTES] = {quorin::FRAME_MARKER, paramA, code, 0, 0, 0, 0, 0};
  if (!m_pty.Write(frame, sizeof frame)) return Fail("a reply could not be written");
  return TRUE;
}

BOOL CBenchResponder::WaitForSpeed(std::uint32_t nBaud) {
  // The program reopens its port at the new speed; what is sent before it has would be lost.
  const auto deadline = Clock::now() + std::chrono::milliseconds(SPEED_TIMEOUT_MS);
  while (m_pty.SlaveSpeed() != nBaud) {
    if (Clock::now() >= deadline) return Fail("the program did not reopen its port at the new speed");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return TRUE;
}

BOOL CBenchResponder::Run() {
  BYTE reboot[REBOOT_TEXT_SIZE];
  if (!Expect(reboot, sizeof reboot, "the reboot text")) return FALSE;
  if (std::memcmp(reboot, REBOOT_TEXT, REBOOT_TEXT_SIZE) != 0) return Fail("a garbled reboot text");

  std::this_thread::sleep_for(std::chrono::milliseconds(SETTLE_MS));
  ProcessUsage idle;
  if (m_nPcPid > 0) {
    if (!GetProcessUsage(m_nPcPid, idle)) return Fail("the program's usage cannot be read");
    m_figures.nPcIdleRssKiB = idle.nRssKiB;
  }

  BYTE header[FRAME_BYTES];
  if (!Reply(RSP_CONNECT) || !ExpectCommand(CMD_SET_BAUD, "the speed proposal", header)) return FALSE;
  if (header[quorin::FRAME_OFS_PARAM_B] != m_nSpeedIndex) {
    return Fail("the program proposes speed index " + std::to_string(header[quorin::FRAME_OFS_PARAM_B]));
  }
  if (!Reply(RSP_BAUD_OK) || !ExpectCommand(CMD_SWITCH_BAUD, "the speed switch")) return FALSE;
  if (!WaitForSpeed(SPEED_TABLE[m_nSpeedIndex])) return FALSE;
  if (!Reply(RSP_READY) || !ExpectCommand(CMD_START_SEND, "the start command")) return FALSE;
  BYTE job[quorin::JOB_BLOCK_SIZE];
  if (!Expect(job, sizeof job, "the job block")) return FALSE;
  if (quorin::GetBigEndian(job + JOBBLK_OFS_SIZE) != m_image.size() || job[JOBBLK_OFS_JOB_CODE] != m_nJob) {
    return Fail("the job block announces another job");
  }
  if (!RunDataPhase()) return FALSE;

  // Progress to the end, then completion: the program returns to its base speed and says so.
  if (!Reply(RSP_PROGRESS, static_cast<BYTE>(m_image.size() / 65536 + 1)) || !Reply(RSP_DONE)) {
    return FALSE;
  }
  return WaitForSpeed(SPEED_TABLE[SPEED_INDEX_BASE]);
}

BOOL CBenchResponder::RunDataPhase() {
  const std::uint32_t nTotal = static_cast<std::uint32_t>(m_image.size());
  const std::uint32_t nBlocks = (nTotal + BLOCK_BYTES - 1) / BLOCK_BYTES;
  m_turnaround.Clear();
  m_turnaround.Reserve(nBlocks);
  BYTE frame[FRAME_BYTES + BLOCK_BYTES];

  ProcessUsage before;
  if (m_nPcPid > 0 && !GetProcessUsage(m_nPcPid, before)) return Fail("the program's usage cannot be read");
  const Clock::time_point start = Clock::now();
  Clock::duration paused{0};
  for (std::uint32_t k = 0, nSent = 0; k < nBlocks; ++k) {
    const std::uint32_t n = std::min<std::uint32_t>(BLOCK_BYTES, nTotal - nSent);
    // Timed from the start of the write: on a busy machine this process may lose the processor
    // as the reply leaves, and the whole exchange could pass before a later reading.
    const Clock::time_point asked = Clock::now();
    if (!Reply(k == 0 ? RSP_FIRST_BLOCK : RSP_NEXT_BLOCK)) return FALSE;
    if (m_pty.ReadExact(frame, FRAME_BYTES + n, READ_TIMEOUT_MS) != FRAME_BYTES + n) {
      return Fail("block " + std::to_string(k) + " did not come in full");
    }
    m_turnaround.Add(Nanoseconds(Clock::now() - asked));
    if (!CheckBlock(frame, k, nSent, n)) return FALSE;
    nSent += n;
    if (m_pause && k + 1 < nBlocks) {
      const Clock::time_point pauseStart = Clock::now();
      if (!m_pause(k + 1, nBlocks)) return Fail("stopped between blocks");
      paused += Clock::now() - pauseStart;
    }
  }
  const Clock::time_point end = Clock::now();

  ProcessUsage after;
  if (m_nPcPid > 0) {
    if (!GetProcessUsage(m_nPcPid, after)) return Fail("the program's usage cannot be read");
    m_figures.nPcCpuMicroseconds = after.nCpuMicroseconds - before.nCpuMicroseconds;
    m_figures.nPcPeakRssKiB = after.nPeakRssKiB;
  }
  m_figures.nBlocks = nBlocks;
  m_figures.dDataPhaseSeconds = std::chrono::duration<double>(end - start - paused).count();
  return TRUE;
}

BOOL CBenchResponder::CheckBlock(const BYTE* pFrame, std::uint32_t nIndex, std::uint32_t nOffset,
                                 std::uint32_t n) {
  const BYTE nNumber = static_cast<BYTE>((nIndex & 0xFF) % 255);
  const BYTE* pData = pFrame + FRAME_BYTES;
  const std::uint32_t nSum = quorin::ByteSum(pData, n);
  const std::string where = "block " + std::to_string(nIndex);
  if (pFrame[0] != quorin::FRAME_MARKER || pFrame[quorin::FRAME_OFS_CODE] != CMD_DATA) {
    return Fail(where + " is no data frame");
  }
  if (pFrame[quorin::FRAME_OFS_PARAM_A] != nNumber) return Fail(where + " carries a wrong number");
  if (quorin::GetBigEndian(pFrame + quorin::FRAME_OFS_CHECKSUM) != nSum) return Fail(where + " fails its checksum");
  if (std::memcmp(pData, m_image.data() + nOffset, n) != 0) return Fail(where + " differs from the image");
  return TRUE;
}
