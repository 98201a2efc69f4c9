#include "app/progress_line.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "transfer/job_summary.h"

CProgressLine::CProgressLine(Clock clock) : m_clock(std::move(clock)) {}

std::uint64_t CProgressLine::SteadyClockMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

std::string CProgressLine::Duration(std::uint64_t nSeconds) {
  char text[32];
  if (nSeconds >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                  static_cast<unsigned long long>(nSeconds / 3600),
                  static_cast<unsigned long long>(nSeconds / 60 % 60),
                  static_cast<unsigned long long>(nSeconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(nSeconds / 60),
                  static_cast<unsigned long long>(nSeconds % 60));
  }
  return text;
}

std::string CProgressLine::Update(const JobProgress& progress) {
  const std::uint64_t now = m_clock();
  // The receiver may start a job over from its first block: the rate starts over with it.
  if (!m_bStarted || progress.nDone < m_last.nDone || progress.nTotal != m_last.nTotal) {
    m_bStarted = true;
    m_bAllSent = false;
    m_nStartMs = now;
    m_nStartDone = progress.nDone;
    m_nLastDrawMs = 0;
    m_bHaveReport = false;
  }
  m_last = progress;
  m_nNowMs = now;
  m_bPending = true;
  if (m_bHaveReport && now - m_nLastDrawMs < REDRAW_INTERVAL_MS) return std::string();
  return Draw();
}

std::string CProgressLine::AllDataSent() {
  m_bAllSent = true;
  if (!m_bStarted) return std::string();
  m_nNowMs = m_clock();
  return Draw();
}

std::string CProgressLine::Flush() { return m_bPending ? Draw() : std::string(); }

std::string CProgressLine::Draw() {
  m_bHaveReport = true;
  m_bPending = false;
  m_bOpen = true;
  m_nLastDrawMs = m_nNowMs;
  std::string text = Text();
  const std::size_t length = text.size();
  // Blanks over what a longer line before left on the screen.
  if (length < m_nDrawnLength) text.append(m_nDrawnLength - length, ' ');
  m_nDrawnLength = length;
  return "\r" + text;
}

std::string CProgressLine::Text() const {
  char head[16];
  std::snprintf(head, sizeof head, "%3d %%", m_last.nPos);
  // Once the blocks are out the count says nothing new; the line stays short enough for a
  // terminal of 80 columns, where a wrapped line would no longer be redrawn in place.
  if (m_bAllSent) return std::string(head) + "  all data sent; the receiver is writing its flash";
  std::string text = std::string(head) + "  " + GroupThousands(m_last.nDone) + " of " +
                     GroupThousands(m_last.nTotal) + " bytes";
  const std::uint64_t elapsed = m_nNowMs - m_nStartMs;
  const std::uint64_t through = m_last.nDone - m_nStartDone;
  if (elapsed < RATE_AFTER_MS || through == 0) return text;
  const std::uint64_t rate = through * 1000 / elapsed;
  text += "  " + GroupThousands(rate) + " bytes/s";
  if (rate > 0 && m_last.nTotal >= m_last.nDone) {
    const std::uint64_t left = (m_last.nTotal - m_last.nDone + rate - 1) / rate;
    text += "  " + Duration(left) + " left";
  }
  return text;
}
