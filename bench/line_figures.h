// Arithmetic of the figures measured at a line's pace: what the simulator reports of a data
// phase, the share of the line a job used, and the middle of a set of job times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A block and its reply on the wire: a 520-byte frame (8-byte header, 512 bytes of data) and
// an 8-byte reply, at 10 bits a byte (8 data bits, no parity, one stop bit).
constexpr double WIRE_BYTES_PER_BLOCK = 528.0;
constexpr double PAYLOAD_BYTES_PER_BLOCK = 512.0;
constexpr double BITS_PER_BYTE = 10.0;

// The simulator's "timing: BLOCKS SECONDS BAUD" line.
struct DataPhaseTiming {
  long nBlocks = 0;
  double dSeconds = 0;
  std::uint32_t nBaud = 0;
};

// Finds the timing line in the simulator's output; false when there is none or it is not whole
// (no blocks, no time, no speed).
bool ParseDataPhaseTiming(const std::string& sOutput, DataPhaseTiming& timing);

// The payload rate achieved over the ideal one (512 payload bytes per 528 on the wire, the
// line never idle): 1.0 when the line never waited for the PC; 0 when nothing was timed. Every
// block counts whole (the images measured are whole blocks).
double WireEfficiency(const DataPhaseTiming& timing);

// The median (for an even count the mean of the two middle values); 0 for none.
double Median(std::vector<double> values);

// One argument for /bin/sh, quoted so that the shell passes it on as it is.
std::string ShellQuote(const std::string& s);
