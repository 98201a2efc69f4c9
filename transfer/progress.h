// Where the progress bar (range 0 to 100) stands in each phase of a job.
#pragma once

#include <algorithm>
#include <cstdint>

#include "transfer/protocol.h"

// Software and database jobs fill the bar to 90 with their blocks and leave the rest to the
// receiver's progress replies; a boot job's blocks fill all of it.
constexpr std::uint32_t PROGRESS_SEND_SHARE = 90;
constexpr std::uint32_t PROGRESS_BOOT_SHARE = 100;
constexpr int PROGRESS_FULL = 100;

// The share of a send job already sent before its next block goes out.
constexpr int BlockProgress(std::uint32_t nTotal, std::uint32_t nRemaining, std::uint32_t nShare) {
  if (nTotal == 0) return 0;
  const std::uint64_t total = nTotal;
  const std::uint64_t remaining = std::min(nRemaining, nTotal);
  return static_cast<int>((total * nShare - remaining * nShare) / total);
}

// After the last block: 90 plus the receiver's own count (reply 0x80) in tenths of the job's
// size in 64 KiB units.
constexpr int CompletionProgress(std::uint8_t nCount, std::uint32_t nTotal) {
  return static_cast<int>(nCount * 10u / (nTotal / 65536u + 1u) + 90u);
}

// A read job, by the database bytes received.
constexpr int ReadProgress(std::uint32_t nReceived) {
  return static_cast<int>(static_cast<std::uint64_t>(nReceived) * 100u / DATABASE_SIZE);
}

// A raw channel list, before its piece k (of 128 bytes) goes out.
constexpr int ChannelListProgress(std::uint64_t nPiece, std::uint64_t nTotal) {
  return nTotal == 0 ? 0 : static_cast<int>(nPiece * 12800u / nTotal);
}
