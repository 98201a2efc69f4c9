// The figures at a real line's pace and of whole programs: the share of the line a job uses
// at 115200 and 230400 baud, the window thread's worst lateness with the UART timing preload,
// the window's CPU per block against the terminal mode's, the memory a 64 MiB job adds in the
// terminal mode, and eight benches at once against one. The PC side is the program itself
// (build/quorin) or this benchmark's probe, the receiver the simulator, both beside this
// program.
#pragma once

#include <string>
#include <vector>

#include "bench/bench_report.h"

struct LineBenchSetup {
  std::string sBenchExe;      // this program, for its --pc-probe side
  std::string sFolder;        // an existing folder for images, settings and logs
  std::vector<int> allCpus;   // the processors every process here may use (empty: any)
};

// Runs every part, setting its keys in report. FALSE with the reason in sError when a job
// did not end as it should; a part whose tool is missing (Xvfb) is left out with a note on
// standard error.
BOOL RunLineBench(const LineBenchSetup& setup, CBenchReport& report, std::string& sError);
