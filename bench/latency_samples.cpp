#include "bench/latency_samples.h"

#include <algorithm>
#include <cmath>

double CLatencySamples::PercentileMicroseconds(double dFraction) const {
  if (m_samples.empty()) return 0.0;
  dFraction = std::clamp(dFraction, 0.0, 1.0);
  std::vector<std::uint64_t> sorted(m_samples);
  // Nearest rank: the smallest sample with at least that share of the samples at or below it.
  const double dRank = std::ceil(dFraction * static_cast<double>(sorted.size()));
  std::size_t nIndex = dRank < 1.0 ? 0 : static_cast<std::size_t>(dRank) - 1;
  nIndex = std::min(nIndex, sorted.size() - 1);
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(nIndex), sorted.end());
  return static_cast<double>(sorted[nIndex]) / 1000.0;
}
