// The terminal mode as a technician starts it, a separate process on a pseudo-terminal:
//   - how soon the reboot text is on the line after the program was started, against a minimal
//     program that only opens the line and writes the same 9 bytes (quorin-startup-baseline),
//     runs of the two taken in turn and compared by their medians;
//   - the peak resident size of a whole software job against the receiver simulator.
// The program runs without a display, so it never loads the window module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "platform/win_types.h"

struct TerminalBenchSetup {
  std::string sProgram;    // build/quorin
  std::string sBaseline;   // build/quorin-startup-baseline
  std::string sSimulator;  // build/quorin-receiver-sim
  std::string sFolder;     // an empty work folder of the benchmark's
  std::vector<int> cpus;   // where the programs run (empty: where this process may)
  int nStartupRuns = 31;   // of each program
  std::uint32_t nImageBytes = 1048576;
};

// Sets terminal_startup_ms, terminal_startup_baseline_ms, terminal_startup_ratio and
// terminal_rss_kib. FALSE with sError set when a run went wrong (the figures are then not set).
BOOL RunTerminalFigures(const TerminalBenchSetup& setup, CBenchReport& report, std::string& sError);
// Those figures as rows of the benchmark's table.
std::string TerminalTable(const CBenchReport& report);
