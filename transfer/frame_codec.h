// The byte arithmetic of the receiver's frames: the 32-bit byte sum that every header carries
// for its payload, and big-endian numbers. Shared by the program and the receiver simulator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorin {

// Sum of the bytes as unsigned values, wrapping at 32 bits.
constexpr std::uint32_t ByteSum(const std::uint8_t* p, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += p[i];
  return sum;
}

constexpr void PutBigEndian(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

constexpr std::uint32_t GetBigEndian(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

}  // namespace quorin
