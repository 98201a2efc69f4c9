#include "bench/line_figures.h"

#include <algorithm>
#include <sstream>

bool ParseDataPhaseTiming(const std::string& sOutput, DataPhaseTiming& timing) {
  std::istringstream lines(sOutput);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("timing: ", 0) != 0) continue;
    std::istringstream fields(line.substr(8));
    DataPhaseTiming t;
    std::string rest;
    if (!(fields >> t.nBlocks >> t.dSeconds >> t.nBaud) || (fields >> rest)) return false;
    if (t.nBlocks <= 0 || !(t.dSeconds > 0) || t.nBaud == 0) return false;
    timing = t;
    return true;
  }
  return false;
}

double WireEfficiency(const DataPhaseTiming& timing) {
  if (timing.nBlocks <= 0 || !(timing.dSeconds > 0) || timing.nBaud == 0) return 0;
  const double dIdeal = timing.nBlocks * WIRE_BYTES_PER_BLOCK * BITS_PER_BYTE / timing.nBaud;
  return dIdeal / timing.dSeconds;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string ShellQuote(const std::string& s) {
  std::string quoted = "'";
  for (char c : s) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}
