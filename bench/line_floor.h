// The floor: what one exchange of a data block and its reply costs on a pseudo-terminal
// between two processes that do nothing else. A peer process on the terminal's slave side
// writes a block frame (520 bytes) and waits for an 8-byte reply, over and over; this side, on
// the master, answers each block and times each round trip from the start of its reply's
// write to the next block read in full, as the responder times the real program.
//
// The rounds can be run in portions, so that they share the machine's conditions with another
// measurement taken between them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/latency_samples.h"
#include "platform/os/process_stats.h"
#include "platform/os/pty.h"
#include "platform/win_types.h"

constexpr int FLOOR_BLOCK_BYTES = 520;
constexpr int FLOOR_REPLY_BYTES = 8;

class CLineFloor {
 public:
  // Starts sExe as the peer (sExe --floor-peer <slave> <rounds>) for nRounds round trips, on
  // the processors peerCpus (empty: any), and takes its first block. FALSE, with the reason in
  // Error(), when that fails.
  BOOL Start(const std::string& sExe, int nRounds, const std::vector<int>& peerCpus);
  // Up to n more round trips (never beyond the number started with), each timed into samples.
  BOOL RunRounds(int n, CLatencySamples& samples);
  int RoundsDone() const { return m_nDone; }
  int RoundsLeft() const { return m_nRounds - m_nDone; }
  // After the last round: takes the peer's CPU time, lets it end and checks that it ended
  // cleanly.
  BOOL Finish();
  // The peer's CPU time over its rounds (start-up left out), valid after Finish.
  std::uint64_t PeerCpuMicroseconds() const { return m_nPeerCpuUs; }
  const std::string& Error() const { return m_sError; }

  // The peer's side, in the child process: returns its exit status.
  static int RunPeer(const std::string& slavePath, int nRounds);

 private:
  BOOL Fail(const std::string& sWhat);

  CPseudoTerminal m_pty;
  CChildProcess m_peer;
  int m_nRounds = 0;
  int m_nDone = 0;
  std::uint64_t m_nPeerCpuAtStartUs = 0;
  std::uint64_t m_nPeerCpuUs = 0;
  std::string m_sError;
};
