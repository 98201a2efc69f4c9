// The receiver simulator's command line: which job to expect, how to misbehave on purpose, and
// where to put what it received.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

enum class SimJob { Auto, Software, Database, Boot, Read };

class CSimOptions {
 public:
  // FALSE with a reason in error when the line is not understood; --help sets m_bHelp.
  bool Parse(int argc, const char* const* argv, std::string& error);
  static const char* Usage();
  static const char* JobName(SimJob job);

  bool m_bHelp = false;
  SimJob m_job = SimJob::Auto;
  std::string m_device;         // empty: a new pseudo-terminal
  std::string m_outPath;        // image received by a send job
  std::string m_dbPath;         // database served to a read job; empty: a generated pattern
  int m_nExpectSpeed = -1;      // speed index the PC must propose; -1 any
  int m_nStartSpeed = 0;        // speed index the reboot text must arrive at
  std::set<long> m_resendAt;    // blocks answered with a resend request (once each)
  std::map<long, std::uint8_t> m_errorAt;  // block (send) or piece (read) -> error reply
  std::uint8_t m_nRefuseCode = 0;          // reply to the start command instead of accepting
  int m_nProgress = 3;          // progress replies after the last block
  bool m_bNoise = false;        // power-on chatter in front of the hello
  int m_nHelloDelayMs = 0;
  bool m_bJoinProgressDone = false;
  bool m_bJoinRaw = false;
  int m_nTimeoutS = 60;
  int m_nQuietMs = 300;         // how long "silence" has to last
  int m_nSwitchDelayMs = 300;   // on a real device: pause after changing speed
  bool m_bVerbose = false;
  bool m_bLineRate = false;     // pseudo-terminal: bytes take their time on the wire
  int m_nFlashMs = 0;           // pause per 64 KiB received, as flash is written
  int m_nReplyLatencyMs = 0;    // every reply held this long first (an adapter's latency timer)
  bool m_bTiming = false;       // a send job's data phase: its time on a line after the verdict
};
