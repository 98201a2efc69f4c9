// The receiver's side of one software (or boot) job, as fast as a receiver could be: it answers every
// frame of the program at once, checks every data block (number, checksum, bytes against the
// image) and times each block from the write of the reply that asked for it to the block read
// in full.
// While the data flow it reads the program's CPU time and, after the last block, its peak
// resident size, by the program's process id.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/latency_samples.h"
#include "platform/os/pty.h"
#include "platform/win_types.h"
#include "transfer/protocol.h"

struct ResponderFigures {
  std::uint32_t nBlocks = 0;
  double dDataPhaseSeconds = 0;  // first block asked for to last block read, pauses left out
  std::uint64_t nPcCpuMicroseconds = 0;  // the program's CPU time over the data phase
  std::uint64_t nPcIdleRssKiB = 0;       // resident while the armed job waited
  std::uint64_t nPcPeakRssKiB = 0;       // peak resident after the last block
};

class CBenchResponder {
 public:
  // nSpeedIndex: the speed the program is expected to propose. nPcPid: the program's process
  // (0: no usage figures are taken). nJob: the job the start command must announce.
  CBenchResponder(CPseudoTerminal& pty, const std::vector<BYTE>& image, int nSpeedIndex, int nPcPid,
                  int nJob = JOB_SOFTWARE);

  // Called after each block (blocks done so far, all blocks) while the program waits for the
  // next reply; its time is not the job's. FALSE from it ends the run.
  using BetweenBlocks = std::function<BOOL(std::uint32_t, std::uint32_t)>;
  void SetBetweenBlocks(BetweenBlocks pause) { m_pause = std::move(pause); }

  BOOL Run();
  const std::string& Error() const { return m_sError; }
  const CLatencySamples& Turnaround() const { return m_turnaround; }
  const ResponderFigures& Figures() const { return m_figures; }

 private:
  BOOL Fail(const std::string& sWhat);
  BOOL Expect(BYTE* pOut, std::size_t n, const char* pWhat);
  BOOL ExpectCommand(BYTE code, const char* pWhat, BYTE* pHeader = nullptr);
  BOOL Reply(BYTE code, BYTE paramA = 0);
  BOOL WaitForSpeed(std::uint32_t nBaud);
  BOOL CheckBlock(const BYTE* pFrame, std::uint32_t nIndex, std::uint32_t nOffset, std::uint32_t n);
  BOOL RunDataPhase();

  CPseudoTerminal& m_pty;
  const std::vector<BYTE>& m_image;
  int m_nSpeedIndex;
  int m_nPcPid;
  int m_nJob;
  CLatencySamples m_turnaround;
  ResponderFigures m_figures;
  BetweenBlocks m_pause;
  std::string m_sError;
};
