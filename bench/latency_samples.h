// A set of measured intervals and their order statistics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CLatencySamples {
 public:
  void Reserve(std::size_t n) { m_samples.reserve(n); }
  void Add(std::uint64_t nNanoseconds) { m_samples.push_back(nNanoseconds); }
  void Clear() { m_samples.clear(); }
  std::size_t Count() const { return m_samples.size(); }
  // The sample at or below which the fraction dFraction (0 to 1) of all samples lie (nearest
  // rank), in microseconds; 0 when there are none.
  double PercentileMicroseconds(double dFraction) const;
  double MedianMicroseconds() const { return PercentileMicroseconds(0.5); }

 private:
  std::vector<std::uint64_t> m_samples;
};
