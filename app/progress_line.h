// CProgressLine: the terminal's one updating progress line. It turns the engine's progress
// reports into the text to draw after a carriage return, no more often than every 100 ms (a
// job reports every block, hundreds a second), with the bytes through, the rate since the first
// block and the time left. The last report it held back is drawn by Flush before anything else
// is printed, so the line never stays behind what happened.
//
// The clock is given, in milliseconds, so a test can drive it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "transfer/job_observer.h"

class CProgressLine {
 public:
  using Clock = std::function<std::uint64_t()>;
  static constexpr std::uint64_t REDRAW_INTERVAL_MS = 100;
  // The rate is shown once the job has run this long; before, it says little.
  static constexpr std::uint64_t RATE_AFTER_MS = 200;

  explicit CProgressLine(Clock clock = SteadyClockMs);
  virtual ~CProgressLine() = default;

  // A report; the text to write (beginning with '\r') or empty when it is not time to redraw.
  std::string Update(const JobProgress& progress);
  // The last blocks went out; drawn at once.
  std::string AllDataSent();
  // What was held back, or empty.
  std::string Flush();
  // A line has been drawn and not yet ended with a line feed.
  bool IsOpen() const { return m_bOpen; }
  // The line was ended (a line feed was written after it).
  void Close() { m_bOpen = false; m_nDrawnLength = 0; }

  static std::uint64_t SteadyClockMs();
  // "0:47", "1:05:09".
  static std::string Duration(std::uint64_t nSeconds);

 private:
  std::string Text() const;
  std::string Draw();

  Clock m_clock;
  JobProgress m_last;
  bool m_bHaveReport = false;
  bool m_bPending = false;
  bool m_bOpen = false;
  bool m_bAllSent = false;
  bool m_bStarted = false;
  std::uint64_t m_nLastDrawMs = 0;
  std::uint64_t m_nStartMs = 0;
  std::uint64_t m_nStartDone = 0;
  std::uint64_t m_nNowMs = 0;
  std::size_t m_nDrawnLength = 0;
};
