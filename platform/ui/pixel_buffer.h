// An off-screen picture of our own: rows of COLORREF pixels (0x00BBGGRR). Owner-painted
// controls draw into one; a backend shows it, a test reads it pixel by pixel.
#pragma once

#include <vector>

#include "platform/win_types.h"

namespace platform {

class CPixelBuffer {
 public:
  CPixelBuffer() = default;
  CPixelBuffer(int width, int height, COLORREF fill = 0) { Resize(width, height, fill); }

  void Resize(int width, int height, COLORREF fill = 0) {
    m_width = width > 0 ? width : 0;
    m_height = height > 0 ? height : 0;
    m_pixels.assign(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), fill);
  }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }
  COLORREF Get(int x, int y) const { return Contains(x, y) ? m_pixels[Index(x, y)] : 0; }
  void Set(int x, int y, COLORREF c) {
    if (Contains(x, y)) m_pixels[Index(x, y)] = c;
  }
  const COLORREF* Data() const { return m_pixels.data(); }

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x);
  }
  int m_width = 0;
  int m_height = 0;
  std::vector<COLORREF> m_pixels;
};

}  // namespace platform
